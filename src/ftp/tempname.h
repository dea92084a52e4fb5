#pragma once

#include <QString>

namespace tobra {

// The name an upload is written under until the server holds it whole:
// "NAME.EXT.<16 hex digits>.tobra-part". The random part comes from the
// system's CSPRNG, so no other run or installation sharing the login and
// the folder can pick the same name; a long name is shortened to stay
// within the 255 bytes servers accept.
QString newTemporaryRemoteName(const QString &remoteName);

// True for a name newTemporaryRemoteName can produce.
bool isTemporaryRemoteName(const QString &name);

}  // namespace tobra
