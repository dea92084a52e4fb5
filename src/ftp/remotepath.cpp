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

bool isUnsafeTextChar(char32_t c)
{
    switch (QChar::category(c)) {
    case QChar::Other_Control:
    case QChar::Other_Format:
    case QChar::Other_Surrogate:
    case QChar::Separator_Line:
    case QChar::Separator_Paragraph:
        return true;
    default:
        break;
    }
    // Default-ignorable characters outside Cf: shown as nothing at all.
    return c == 0x034F || c == 0x115F || c == 0x1160 || c == 0x17B4 || c == 0x17B5 || (c >= 0x180B && c <= 0x180F)
        || c == 0x3164 || (c >= 0xFE00 && c <= 0xFE0F) || c == 0xFFA0 || (c >= 0xE0000 && c <= 0xE0FFF);
}

namespace {

// Calls fn for each code point with the length of its UTF-16 form; an
// unpaired surrogate comes as itself.
template <typename Fn>
void forEachCodePoint(QStringView text, Fn fn)
{
    for (qsizetype i = 0; i < text.size();) {
        const QChar c = text.at(i);
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            if (!fn(QChar::surrogateToUcs4(c, text.at(i + 1)), i, 2))
                return;
            i += 2;
        } else {
            if (!fn(char32_t(c.unicode()), i, 1))
                return;
            ++i;
        }
    }
}

}  // namespace

bool hasUnsafeTextChars(QStringView text)
{
    bool found = false;
    forEachCodePoint(text, [&](char32_t c, qsizetype, int) { return !(found = isUnsafeTextChar(c)); });
    return found;
}

QString safeServerText(const QString &text)
{
    if (!hasUnsafeTextChars(text))
        return text;
    QString out;
    out.reserve(text.size());
    forEachCodePoint(text, [&](char32_t c, qsizetype at, int length) {
        if (!isUnsafeTextChar(c))
            out += QStringView(text).mid(at, length);
        return true;
    });
    return out;
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
