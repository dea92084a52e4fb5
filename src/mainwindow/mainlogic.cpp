#include "mainwindow/mainlogic.h"

#include "ftp/ftplisting.h"
#include "ftp/remotepath.h"
#include "mainwindow/fileversion.h"
#include "support/messages.h"
#include "support/modcommon.h"

#include <QDir>
#include <QFileInfo>

namespace tobra {

bool putButtonRule(const QString &techText, bool techSelected, bool fileIsRegular)
{
    return !techText.trimmed().isEmpty() && techSelected && fileIsRegular;
}

QString restingStatusText(bool fileIsRegular)
{
    return fileIsRegular ? QStringLiteral("Ready") : QStringLiteral("Choose a file to send");
}

QString notSentLine(const QString &name, PutStop stop, const QString &reason)
{
    const struct {
        PutStop stop;
        const char *why;
    } whys[] = {
        {PutStop::Cancelled, "the upload was cancelled."},
        {PutStop::Declined, "the connection to the server was lost."},
        {PutStop::Failed, "the upload failed."},
    };
    QString why;
    for (const auto &w : whys)
        if (w.stop == stop)
            why = QString::fromLatin1(w.why);
    if (stop == PutStop::Failed && !reason.trimmed().isEmpty())
        why = reason.trimmed();
    return name + QStringLiteral(" was not sent: ") + why;
}

QString storedAsLine(const QString &folder, const QString &remoteName)
{
    QString f = folder;
    if (!f.endsWith(QLatin1Char('/')))
        f += QLatin1Char('/');
    return QStringLiteral("Stored as ") + f + remoteName;
}

QString versionCaption(const QString &title, int major, int minor, int revision)
{
    return title + QStringLiteral(" - Version: ") + QString::number(major) + QLatin1Char('.')
        + QString::number(minor) + QLatin1Char('.') + QString::number(revision);
}

QString directoryCaption(const QString &path)
{
    return programTitle() + QStringLiteral(" - ") + path;
}

QString sizeText(qint64 bytes)
{
    return QString::number(bytes) + QStringLiteral(" bytes");
}

QString remoteTechFolder(const QString &code)
{
    return QStringLiteral("/uploads/") + code;
}

bool techFolderUsable(const QString &code)
{
    return code.isEmpty() || isSafeTechFolder(code);
}

QString unusableCodeText(const QString &code)
{
    return QStringLiteral("The code ") + code
        + QStringLiteral(" cannot name a folder on the server. Use a code such as T3.");
}

QList<RemoteRow> remoteGridRows(const QList<FtpListEntry> &entries, const QDateTime &now)
{
    QList<RemoteRow> rows;
    rows.reserve(entries.size());
    for (const FtpListEntry &e : entries)
        if (e.IsFile != 0)
            rows.append({e.Name, sizeText(e.Size), remoteDateText(e.DateTime, now)});
    return rows;
}

QString gridDateText(const QDateTime &when)
{
    return when.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QString remoteDateText(const QString &listed, const QDateTime &now)
{
    return listingTimeText(listed, now);
}

QString noVersionText()
{
    return QStringLiteral("     n/a");
}

QString localDateText(const QDateTime &when)
{
    return gridDateText(when);
}

QList<LocalRow> localFolderRows(const QString &folder, bool *ok)
{
    QList<LocalRow> rows;
    const QString fsPath = toFileSystemPath(folder);
    const QFileInfo info(fsPath);
    if (fsPath.trimmed().isEmpty() || !info.isDir() || !info.isReadable()) {
        if (ok)
            *ok = false;
        return rows;
    }
    if (ok)
        *ok = true;
    const QDir dir(fsPath);
    const QFileInfoList files =
        dir.entryInfoList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase);
    rows.reserve(files.size());
    for (const QFileInfo &fi : files) {
        QString version = fileVersionString(fi.filePath()).trimmed();
        if (version.isEmpty())
            version = noVersionText();
        rows.append({fi.fileName(), sizeText(fi.size()), localDateText(fi.lastModified()), version});
    }
    return rows;
}

QStringList technicianCodes(const QString *customerCode)
{
    QStringList codes;
    for (int i = 1; i <= 9; ++i)
        codes << QLatin1Char('T') + QString::number(i);
    if (customerCode)
        codes << *customerCode;
    return codes;
}

QString quillonIniPath(const QString &systemDir, const std::function<bool(const QString &)> &exists)
{
    QString dir = systemDir;
    if (!dir.trimmed().isEmpty()) {
        CkRSlash(dir);
        const QString p = dir + QStringLiteral("quillon.ini");
        if (exists(p))
            return p;
    }
    const QString fixed = QStringLiteral("C:\\APPRAISE\\quillon.ini");
    return exists(fixed) ? fixed : QString();
}

QString warningText()
{
    return QStringLiteral("Do NOT use this product unless directed to by authorized tech support personnel.")
        + QString(159, QLatin1Char(' '))
        + QStringLiteral("If you are using this program without support assistance - please exit this program "
                         "at this time.");
}

QString startFileBox(const QString &fileWord, const QString &iniFolder)
{
    if (!GetFileDrive(fileWord).isEmpty() || !GetFilePath(fileWord).isEmpty())
        return fileWord;
    QString folder = iniFolder;
    CkRSlash(folder);
    return folder + fileWord;
}

QString startFolderFor(const QString &fileBox, const QString &programFolder)
{
    const QString folder = localFolderOf(fileBox);
    if (FolderExists(folder))
        return folder;
    return programFolder;
}

QString localFileNameOf(const QString &path)
{
    const QString t = path.trimmed();
    return t.mid(localFolderOf(t).size());
}

QString joinLocal(const QString &folder, const QString &name)
{
    QString f = folder;
    if (CkRSlash(f).isEmpty())
        return name;
    return f + name;
}

int findNameIndex(const QStringList &entries, const QString &name)
{
    const int exact = int(entries.indexOf(name));
    if (exact >= 0)
        return exact;
    for (int i = 0; i < entries.size(); ++i)
        if (entries.at(i).compare(name, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

QString storedLocalName(const QString &folder, const QString &name)
{
    if (name.isEmpty())
        return name;
    const QDir dir(toFileSystemPath(folder));
    if (QFileInfo(dir.filePath(name)).exists())
        return name;
    const QStringList entries = dir.entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
    const int i = findNameIndex(entries, name);
    return i >= 0 ? entries.at(i) : name;
}

bool isPlainServerName(const QString &name)
{
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        return false;
    return !name.contains(QLatin1Char('/')) && !name.contains(QLatin1Char('\\')) && !hasUnsafeTextChars(name);
}

}  // namespace tobra
