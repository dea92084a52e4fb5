#pragma once

#include <QByteArray>
#include <QString>

namespace tobra {

// The folder of what the program keeps between runs that is not a setting
// (the support log, the folder last sent from, the servers known to speak
// TLS): $XDG_STATE_HOME/tobra (by default ~/.local/state/tobra); on Windows
// Tobra in the local application data folder, which is private already.
QString stateFolder();
// Makes the state folder when it is missing and keeps it private to the
// user (0700); false when it cannot be made.
bool makeStateFolder();

// Makes path as an empty file only the user may read (0600), unless it
// exists: a file opened afterwards never starts out readable by others,
// whatever the umask. An existing file keeps its permissions.
void createPrivateFile(const QString &path);
// Replaces path atomically with bytes, private to the user (0600); false
// when it cannot be written.
bool writePrivateFile(const QString &path, const QByteArray &bytes);

}  // namespace tobra
