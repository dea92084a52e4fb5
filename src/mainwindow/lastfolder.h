#pragma once

#include <QString>

namespace tobra {

// The folder the last file was sent from, kept between runs in the state
// folder ($XDG_STATE_HOME/tobra, beside the support log), never in the INI
// files. Empty when none was kept or it is gone.
QString lastSentFolder();
void rememberSentFolder(const QString &folder);

// The folder the file box starts in when the command line names no file:
// on Linux the last folder a file was sent from, else the home folder; on
// Windows the INI folder, as before.
QString defaultStartFolder(const QString &iniFolder);

}  // namespace tobra
