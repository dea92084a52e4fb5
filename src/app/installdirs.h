#pragma once

#include <QString>
#include <QStringList>

namespace tobra {

// Where the program looks for its parts, given the folder of its executable.
// relativeDir is a folder relative to that one, as the install layout has it
// (for example "../lib/x86_64-linux-gnu/tobra"); an absolute one is used as
// it is. Candidates come in search order, cleaned, without repeats.

// The windows module: beside the executable (the build tree), then in the
// installed module folder.
QStringList windowsModuleCandidates(const QString &exeDir, const QString &relativeDir);
QStringList windowsModuleCandidates(const QString &exeDir);

// Folders that may hold the copy clip: the program's own, then the installed
// data folder.
QStringList copyClipFolders(const QString &exeDir, const QString &relativeDir);
QStringList copyClipFolders(const QString &exeDir);

}  // namespace tobra
