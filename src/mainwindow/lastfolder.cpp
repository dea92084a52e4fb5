#include "mainwindow/lastfolder.h"

#include "support/modcommon.h"
#include "support/statefolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace tobra {

namespace {

QString stateFile()
{
    return stateFolder() + QStringLiteral("/last-folder");
}

}  // namespace

QString lastSentFolder()
{
    QFile f(stateFile());
    if (!f.open(QIODevice::ReadOnly))
        return QString();
    const QString folder = QString::fromUtf8(f.read(8192)).trimmed();
    return !folder.isEmpty() && QFileInfo(folder).isDir() ? folder : QString();
}

void rememberSentFolder(const QString &folder)
{
    const QString f = toFileSystemPath(folder.trimmed());
    if (f.isEmpty() || !QFileInfo(f).isDir())
        return;
    // Losing it only means starting in the home folder next time.
    if (makeStateFolder())
        writePrivateFile(stateFile(), QDir(f).absolutePath().toUtf8() + '\n');
}

QString defaultStartFolder(const QString &iniFolder)
{
#ifdef Q_OS_WIN
    return iniFolder;
#else
    Q_UNUSED(iniFolder);
    QString folder = lastSentFolder();
    if (folder.isEmpty())
        folder = QDir::homePath();
    return CkRSlash(folder);
#endif
}

}  // namespace tobra
