#pragma once

#include <QString>

namespace tobra {

// The file version a Windows program or library carries in its version
// resource ("1.2.3.4"); empty for any other file, or one that is damaged.
QString fileVersionString(const QString &path);

}  // namespace tobra
