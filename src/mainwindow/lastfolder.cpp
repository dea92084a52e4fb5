#include "mainwindow/lastfolder.h"

#include "support/modcommon.h"
#include "support/runlog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace tobra {

namespace {

QString stateFile()
{
    return QFileInfo(RunLog::defaultPath()).absolutePath() + QStringLiteral("/last-folder");
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
    QDir().mkpath(QFileInfo(stateFile()).absolutePath());
    QSaveFile out(stateFile());
    // Losing it only means starting in the home folder next time.
    if (out.open(QIODevice::WriteOnly)) {
        out.write(QDir(f).absolutePath().toUtf8() + '\n');
        out.commit();
    }
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
