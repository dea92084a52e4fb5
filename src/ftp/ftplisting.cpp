#include "ftp/ftplisting.h"

#include "ftp/remotepath.h"

#include <QDate>
#include <QStringDecoder>
#include <QTime>

#include <limits>
#include <optional>

namespace tobra {

namespace {

struct Token {
    qsizetype begin = 0;
    qsizetype end = 0;   // one past the last byte
    QByteArray text;
};

bool isBlank(char c) { return c == ' ' || c == '\t'; }

QList<Token> tokenize(const QByteArray &line)
{
    QList<Token> tokens;
    qsizetype i = 0;
    const qsizetype n = line.size();
    while (i < n) {
        while (i < n && isBlank(line.at(i)))
            ++i;
        if (i >= n)
            break;
        const qsizetype begin = i;
        while (i < n && !isBlank(line.at(i)))
            ++i;
        tokens.append({begin, i, line.mid(begin, i - begin)});
    }
    return tokens;
}

bool isDigits(const QByteArray &s)
{
    if (s.isEmpty())
        return false;
    for (char c : s)
        if (c < '0' || c > '9')
            return false;
    return true;
}

// Plain decimal digits that fit qint64; no sign, no blanks.
std::optional<qint64> parseSize(const QByteArray &s)
{
    if (!isDigits(s))
        return std::nullopt;
    qint64 v = 0;
    constexpr qint64 max = std::numeric_limits<qint64>::max();
    for (char c : s) {
        const int d = c - '0';
        if (v > (max - d) / 10)
            return std::nullopt;
        v = v * 10 + d;
    }
    return v;
}

// Names from the server are only ever shown: decode leniently and drop
// anything that could move the cursor or fake a line.
QString decodeName(const QByteArray &raw)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString name = utf8(raw);
    if (utf8.hasError())
        name = QString::fromLatin1(raw);
    name.removeIf(isUnsafeTextChar);
    return name;
}

bool isSelfOrParent(const QString &name)
{
    return name == QLatin1String(".") || name == QLatin1String("..");
}

// Calls fn for each non-empty line of a sane length, without its line end.
template <typename Fn>
void forEachLine(const QByteArray &text, Fn fn)
{
    if (text.size() > kMaxListingBytes)
        throw FtpError(kErrListing, QStringLiteral("The folder listing is larger than %1 MiB.")
                                        .arg(kMaxListingBytes / (1024 * 1024)));
    qsizetype pos = 0;
    while (pos < text.size()) {
        qsizetype nl = text.indexOf('\n', pos);
        if (nl < 0)
            nl = text.size();
        qsizetype end = nl;
        while (end > pos && text.at(end - 1) == '\r')
            --end;
        if (end > pos && end - pos <= kMaxListingLineBytes)
            fn(text.mid(pos, end - pos));
        pos = nl + 1;
    }
}

QString mlsdTime(const QByteArray &v)
{
    // YYYYMMDDHHMMSS, optionally with fractions of a second.
    const QByteArray whole = v.left(v.indexOf('.') < 0 ? v.size() : v.indexOf('.'));
    if (whole.size() != 14 || !isDigits(whole))
        return QString();
    const QDate date(whole.mid(0, 4).toInt(), whole.mid(4, 2).toInt(), whole.mid(6, 2).toInt());
    const QTime time(whole.mid(8, 2).toInt(), whole.mid(10, 2).toInt(), whole.mid(12, 2).toInt());
    if (!date.isValid() || !time.isValid())
        return QString();
    return date.toString(QStringLiteral("yyyy-MM-dd")) + QLatin1Char(' ')
           + time.toString(QStringLiteral("HH:mm:ss"));
}

std::optional<FtpListEntry> parseMlsdLine(const QByteArray &line)
{
    // Fact values never hold blanks, so the first blank starts the name.
    const qsizetype sp = line.indexOf(' ');
    if (sp < 0)
        return std::nullopt;
    const QByteArray facts = line.left(sp);
    if (!facts.isEmpty() && !facts.endsWith(';'))
        return std::nullopt;

    FtpListEntry e;
    std::optional<qint64> size, sizd;
    bool badNumber = false;
    for (const QByteArray &fact : facts.split(';')) {
        if (fact.isEmpty())
            continue;
        const qsizetype eq = fact.indexOf('=');
        if (eq <= 0)
            return std::nullopt;
        const QByteArray key = fact.left(eq).toLower();
        const QByteArray value = fact.mid(eq + 1);
        if (key == "type") {
            const QByteArray t = value.toLower();
            if (t == "cdir" || t == "pdir")
                return std::nullopt;
            e.IsFile = (t == "dir") ? 0 : -1;
        } else if (key == "size") {
            size = parseSize(value);
            badNumber = badNumber || !size;
        } else if (key == "sizd") {
            sizd = parseSize(value);
        } else if (key == "modify") {
            e.DateTime = mlsdTime(value);
        }
    }
    if (badNumber)
        return std::nullopt;
    e.Name = decodeName(line.mid(sp + 1));
    if (e.Name.isEmpty() || isSelfOrParent(e.Name))
        return std::nullopt;
    if (e.IsFile == 0)
        e.Size = size.value_or(sizd.value_or(0));
    else
        e.Size = size.value_or(0);
    return e;
}

const char *const kMonths[] = {"jan", "feb", "mar", "apr", "may", "jun",
                               "jul", "aug", "sep", "oct", "nov", "dec"};

bool isMonth(const QByteArray &s)
{
    if (s.size() != 3)
        return false;
    const QByteArray lower = s.toLower();
    for (const char *m : kMonths)
        if (lower == m)
            return true;
    return false;
}

bool isDay(const QByteArray &s)
{
    if (s.size() > 2 || !isDigits(s))
        return false;
    const int d = s.toInt();
    return d >= 1 && d <= 31;
}

// "H:MM" or "HH:MM", optionally ":SS".
bool isClock(const QByteArray &s)
{
    const QList<QByteArray> parts = s.split(':');
    if (parts.size() < 2 || parts.size() > 3)
        return false;
    if (parts[0].size() > 2 || !isDigits(parts[0]) || parts[0].toInt() > 23)
        return false;
    for (qsizetype i = 1; i < parts.size(); ++i)
        if (parts[i].size() != 2 || !isDigits(parts[i]) || parts[i].toInt() > 59)
            return false;
    return true;
}

bool isYear(const QByteArray &s) { return s.size() == 4 && isDigits(s); }

bool isIsoDate(const QByteArray &s)
{
    return s.size() == 10 && s.at(4) == '-' && s.at(7) == '-' && isDigits(s.left(4))
           && isDigits(s.mid(5, 2)) && isDigits(s.mid(8, 2));
}

bool isUnixMode(const QByteArray &s)
{
    // "drwxr-xr-x", possibly followed by an ACL or attribute marker.
    if (s.size() < 10 || !QByteArray("-dlbcps").contains(s.at(0)))
        return false;
    for (int i = 1; i < 10; ++i)
        if (!QByteArray("rwxsStTlL-").contains(s.at(i)))
            return false;
    return s.size() == 10 || (s.size() == 11 && QByteArray("+.@").contains(s.at(10)));
}

std::optional<FtpListEntry> parseUnixLine(const QByteArray &line)
{
    const QList<Token> t = tokenize(line);
    if (t.size() < 6 || !isUnixMode(t[0].text))
        return std::nullopt;

    // Owner and group columns vary between servers; the date is the first
    // "Mon DD time-or-year" (or ISO "yyyy-mm-dd HH:MM") after a size.
    qsizetype nameFrom = -1;
    qint64 size = 0;
    QString when;
    for (qsizetype m = 2; m < t.size() - 1 && nameFrom < 0; ++m) {
        const std::optional<qint64> sz = parseSize(t[m - 1].text);
        if (!sz)
            continue;
        if (m + 2 < t.size() && isMonth(t[m].text) && isDay(t[m + 1].text)
            && (isClock(t[m + 2].text) || isYear(t[m + 2].text))) {
            QByteArray month = t[m].text.toLower();
            month[0] = char(month[0] - 'a' + 'A');
            when = QString::fromLatin1(month) + QLatin1Char(' ')
                   + QString::fromLatin1(t[m + 1].text).rightJustified(2, QLatin1Char('0'))
                   + QLatin1Char(' ') + QString::fromLatin1(t[m + 2].text);
            nameFrom = t[m + 2].end + 1;
            size = *sz;
        } else if (isIsoDate(t[m].text) && isClock(t[m + 1].text)) {
            when = QString::fromLatin1(t[m].text) + QLatin1Char(' ') + QString::fromLatin1(t[m + 1].text);
            nameFrom = t[m + 1].end + 1;
            size = *sz;
        }
    }
    // ls puts exactly one blank before the name; more belong to the name.
    if (nameFrom < 0 || nameFrom >= line.size())
        return std::nullopt;
    QByteArray raw = line.mid(nameFrom);
    const char type = t[0].text.at(0);
    if (type == 'l') {
        const qsizetype arrow = raw.indexOf(" -> ");
        if (arrow >= 0)
            raw.truncate(arrow);
    }
    FtpListEntry e;
    e.Name = decodeName(raw);
    if (e.Name.isEmpty() || isSelfOrParent(e.Name))
        return std::nullopt;
    e.IsFile = (type == 'd') ? 0 : -1;
    e.Size = size;
    e.DateTime = when;
    return e;
}

bool isDosDate(const QByteArray &s)
{
    // MM-DD-YY or MM-DD-YYYY
    if (s.size() != 8 && s.size() != 10)
        return false;
    return (s.at(2) == '-' || s.at(2) == '/') && s.at(5) == s.at(2) && isDigits(s.left(2))
           && isDigits(s.mid(3, 2)) && isDigits(s.mid(6));
}

bool isDosTime(const QByteArray &s)
{
    QByteArray clock = s.toUpper();
    if (clock.endsWith("AM") || clock.endsWith("PM"))
        clock.chop(2);
    return isClock(clock);
}

std::optional<FtpListEntry> parseDosLine(const QByteArray &line)
{
    const QList<Token> t = tokenize(line);
    if (t.size() < 4 || !isDosDate(t[0].text) || !isDosTime(t[1].text))
        return std::nullopt;
    FtpListEntry e;
    if (t[2].text.toUpper() == "<DIR>") {
        e.IsFile = 0;
    } else {
        QByteArray digits = t[2].text;
        digits.replace(',', QByteArray());
        const std::optional<qint64> sz = parseSize(digits);
        if (!sz)
            return std::nullopt;
        e.IsFile = -1;
        e.Size = *sz;
    }
    // The size column is padded to a fixed width, so the name starts at the
    // next non-blank.
    e.Name = decodeName(line.mid(t[3].begin));
    if (e.Name.isEmpty() || isSelfOrParent(e.Name))
        return std::nullopt;
    e.DateTime = QString::fromLatin1(t[0].text) + QLatin1Char(' ') + QString::fromLatin1(t[1].text);
    return e;
}

}  // namespace

QList<FtpListEntry> parseMlsd(const QByteArray &text)
{
    QList<FtpListEntry> entries;
    forEachLine(text, [&](const QByteArray &line) {
        if (auto e = parseMlsdLine(line))
            entries.append(*e);
    });
    return entries;
}

QList<FtpListEntry> parseList(const QByteArray &text)
{
    QList<FtpListEntry> entries;
    forEachLine(text, [&](const QByteArray &line) {
        std::optional<FtpListEntry> e = parseUnixLine(line);
        if (!e)
            e = parseDosLine(line);
        if (e)
            entries.append(*e);
    });
    return entries;
}

}  // namespace tobra
