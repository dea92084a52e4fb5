#include "ftp/remotepath.h"

#include "ftp/ftpclient.h"

#include <QUrl>

namespace tobra {

bool hasControlChars(const QString &s)
{
    for (QChar c : s)
        if (c.category() == QChar::Other_Control)
            return true;
    return false;
}

bool isUnsafeTextChar(QChar c)
{
    const char16_t u = c.unicode();
    return c.category() == QChar::Other_Control || u == 0x2028 || u == 0x2029 || (u >= 0x202A && u <= 0x202E)
        || (u >= 0x2066 && u <= 0x2069);
}

QString safeServerText(QString text)
{
    text.removeIf(isUnsafeTextChar);
    return text;
}

QStringList splitRemote(const QString &path)
{
    QString p = path;
    p.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return p.split(QLatin1Char('/'), Qt::SkipEmptyParts);
}

QStringList resolveRemote(const QString &base, const QString &path)
{
    const bool absolute = path.startsWith(QLatin1Char('/')) || path.startsWith(QLatin1Char('\\'));
    QStringList segs = absolute ? QStringList() : splitRemote(base);
    for (const QString &s : splitRemote(path)) {
        if (s == QLatin1String("."))
            continue;
        if (s == QLatin1String("..")) {
            if (!segs.isEmpty())
                segs.removeLast();
            continue;
        }
        segs.append(s);
    }
    return segs;
}

QString joinRemote(const QStringList &segs)
{
    return QLatin1Char('/') + segs.join(QLatin1Char('/'));
}

void checkRemoteSegments(const QStringList &segs)
{
    for (const QString &s : segs)
        if (hasControlChars(s))
            throw FtpError(kErrBadName, QStringLiteral("The remote name \"%1\" contains control characters.")
                                            .arg(QString(s).removeIf([](QChar c) {
                                                return c.category() == QChar::Other_Control;
                                            })));
}

QByteArray absoluteUrlPath(const QStringList &segs)
{
    QByteArray path = "%2F";
    for (qsizetype i = 0; i < segs.size(); ++i) {
        if (i > 0)
            path += '/';
        path += QUrl::toPercentEncoding(segs.at(i));
    }
    return path;
}

bool isSafeTechFolder(const QString &tech)
{
    if (tech.isEmpty() || tech == QLatin1String(".") || tech.contains(QLatin1Char('/')) || tech.contains(QLatin1Char('\\'))
        || tech.contains(QLatin1String("..")))
        return false;
    for (const QChar c : tech)
        if (c.category() == QChar::Other_Control || c.category() == QChar::Other_Format)
            return false;
    return true;
}

}  // namespace tobra
