#include "support/modcommon.h"

#include <QDir>
#include <QFileInfo>

namespace tobra {

QString ReturnPart(const QString &inputstr, const QString &LeftOrRight, const QString &SeparationChar)
{
    if (SeparationChar.isEmpty())
        return QString();
    const qsizetype at = inputstr.indexOf(SeparationChar);
    if (at < 0)
        return QString();
    if (LeftOrRight.startsWith(QLatin1Char('L'), Qt::CaseInsensitive))
        return inputstr.left(at);
    if (LeftOrRight.startsWith(QLatin1Char('R'), Qt::CaseInsensitive))
        return inputstr.mid(at + SeparationChar.size());
    return QString();
}

QString StripChar(const QString &text, QChar ch)
{
    QString out = text;
    out.remove(ch);
    return out;
}

int CountChar(const QString &text, QChar ch)
{
    return int(text.count(ch));
}

bool IsAlphaChar(QString &TheString)
{
    if (TheString.trimmed().isEmpty())
        return false;
    TheString = TheString.left(1);
    const QChar c = TheString.at(0);
    return (c >= QLatin1Char('A') && c <= QLatin1Char('Z')) || (c >= QLatin1Char('a') && c <= QLatin1Char('z'));
}

bool IsDigitOrDash(QChar ch)
{
    return (ch >= QLatin1Char('0') && ch <= QLatin1Char('9')) || ch == QLatin1Char('-');
}

bool isPathSeparator(QChar ch)
{
    return ch == QLatin1Char('\\') || ch == QLatin1Char('/');
}

static QChar separatorFor(const QString &path)
{
    for (qsizetype i = path.size() - 1; i >= 0; --i)
        if (isPathSeparator(path.at(i)))
            return path.at(i);
    return QDir::separator();
}

QString CkRSlash(QString &path)
{
    const QString trimmed = path.trimmed();
    if (trimmed.isEmpty())
        return QString();
    path = trimmed;
    if (!isPathSeparator(path.back()))
        path += separatorFor(path);
    return path.trimmed();
}

QString StripRChar(QString &path)
{
    path = path.trimmed();
    if (!path.isEmpty() && isPathSeparator(path.back()))
        path.chop(1);
    return path.trimmed();
}

FileNameParts ParseFileName(const QString &FilName)
{
    FileNameParts p;
    QString rest = FilName.trimmed();
    if (rest.isEmpty())
        return p;
    if (rest.indexOf(QLatin1Char(':')) == 1) {
        p.drive = rest.left(2);
        rest = rest.mid(2);
    }
    const qsizetype bracket = rest.indexOf(QLatin1Char(']'));
    if (bracket >= 0)
        rest = rest.mid(bracket + 1);

    // Only the last component carries the extension: folders such as
    // /srv/my.data/ are common here and must stay folders.
    qsizetype lastSep = -1;
    for (qsizetype i = rest.size() - 1; i >= 0; --i)
        if (isPathSeparator(rest.at(i))) {
            lastSep = i;
            break;
        }
    p.folder = rest.left(lastSep + 1);
    QString file = rest.mid(lastSep + 1);
    const qsizetype dot = file.indexOf(QLatin1Char('.'));
    if (dot >= 0) {
        p.ext = file.mid(dot + 1);
        file = file.left(dot);
    }
    p.name = file;
    return p;
}

QString GetFileDrive(const QString &FilName) { return ParseFileName(FilName).drive; }
QString GetFilePath(const QString &FilName) { return ParseFileName(FilName).folder; }
QString GetFileBaseName(const QString &FilName) { return ParseFileName(FilName).name; }
QString GetFileExt(const QString &FilName) { return ParseFileName(FilName).ext; }

QString localFolderOf(const QString &path)
{
    const QString t = path.trimmed();
    for (qsizetype i = t.size() - 1; i >= 0; --i)
        if (isPathSeparator(t.at(i)))
            return t.left(i + 1);
    if (t.size() >= 2 && t.at(1) == QLatin1Char(':'))
        return t.left(2);
    return QString();
}

QString toFileSystemPath(const QString &path)
{
#ifdef Q_OS_WIN
    return QDir::toNativeSeparators(path);
#else
    QString p = path;
    p.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return p;
#endif
}

bool FileExists(const QString &FileName)
{
    if (FileName.trimmed().isEmpty())
        return false;
    const QFileInfo fi(toFileSystemPath(FileName));
    return fi.isFile() && !fi.isHidden() && fi.size() > 0;
}

bool PathExists(const QString &path)
{
    if (path.trimmed().isEmpty())
        return false;
    return QFileInfo::exists(toFileSystemPath(path.trimmed()));
}

bool FolderExists(const QString &path)
{
    if (path.trimmed().isEmpty())
        return false;
    return QFileInfo(toFileSystemPath(path.trimmed())).isDir();
}

}  // namespace tobra
