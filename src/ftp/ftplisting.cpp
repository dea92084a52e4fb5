#include "ftp/ftplisting.h"

#include "ftp/remotepath.h"

#include <QDate>
#include <QStringDecoder>
#include <QTime>
#include <QVarLengthArray>

#include <algorithm>
#include <limits>
#include <optional>

namespace tobra {

namespace {

// A blank-separated field of a line, as a view into it: a listing of ten
// thousand lines is parsed without a copy per field.
struct Token {
    qsizetype begin = 0;
    qsizetype end = 0;   // one past the last byte
    QByteArrayView text;
};
using Tokens = QVarLengthArray<Token, 16>;

bool isBlank(char c) { return c == ' ' || c == '\t'; }

Tokens tokenize(QByteArrayView line)
{
    Tokens tokens;
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
        tokens.append({begin, i, line.sliced(begin, i - begin)});
    }
    return tokens;
}

bool isDigits(QByteArrayView s)
{
    if (s.isEmpty())
        return false;
    for (char c : s)
        if (c < '0' || c > '9')
            return false;
    return true;
}

// Plain decimal digits that fit qint64; no sign, no blanks.
std::optional<qint64> parseSize(QByteArrayView s)
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

// The value of a short run of digits (callers check isDigits first).
int smallNumber(QByteArrayView s)
{
    int v = 0;
    for (char c : s)
        v = v * 10 + (c - '0');
    return v;
}

// Names from the server are only ever shown: decode leniently and drop
// anything that could move the cursor or fake a line.
QString decodeName(QByteArrayView raw)
{
    // Most names are printable ASCII, which needs neither decoding nor
    // cleaning.
    if (std::all_of(raw.begin(), raw.end(), [](char c) { return c >= 0x20 && c < 0x7f; }))
        return QString::fromLatin1(raw);
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString name = utf8(raw);
    if (utf8.hasError())
        name = QString::fromLatin1(raw);
    return safeServerText(name);
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
            fn(QByteArrayView(text).sliced(pos, end - pos));
        pos = nl + 1;
    }
}

QString mlsdTime(QByteArrayView v)
{
    // YYYYMMDDHHMMSS, optionally with fractions of a second.
    const qsizetype dot = v.indexOf('.');
    const QByteArrayView whole = dot < 0 ? v : v.first(dot);
    if (whole.size() != 14 || !isDigits(whole))
        return QString();
    if (!QDate::isValid(smallNumber(whole.sliced(0, 4)), smallNumber(whole.sliced(4, 2)), smallNumber(whole.sliced(6, 2)))
        || !QTime::isValid(smallNumber(whole.sliced(8, 2)), smallNumber(whole.sliced(10, 2)), smallNumber(whole.sliced(12, 2))))
        return QString();
    // "yyyy-MM-dd HH:mm:ss", put together from the digits themselves: a
    // date format per entry was most of a large listing's parse.
    const char text[19] = {whole[0], whole[1], whole[2], whole[3], '-', whole[4], whole[5], '-', whole[6], whole[7],
                           ' ', whole[8], whole[9], ':', whole[10], whole[11], ':', whole[12], whole[13]};
    return QString::fromLatin1(text, sizeof text);
}

bool equalsNoCase(QByteArrayView a, const char *b)
{
    return a.compare(QByteArrayView(b), Qt::CaseInsensitive) == 0;
}

std::optional<FtpListEntry> parseMlsdLine(QByteArrayView line)
{
    // Fact values never hold blanks, so the first blank starts the name.
    const qsizetype sp = line.indexOf(' ');
    if (sp < 0)
        return std::nullopt;
    const QByteArrayView facts = line.first(sp);
    if (!facts.isEmpty() && !facts.endsWith(';'))
        return std::nullopt;

    FtpListEntry e;
    std::optional<qint64> size, sizd;
    bool badNumber = false;
    for (qsizetype from = 0; from < facts.size();) {
        qsizetype semi = facts.indexOf(';', from);
        if (semi < 0)
            semi = facts.size();
        const QByteArrayView fact = facts.sliced(from, semi - from);
        from = semi + 1;
        if (fact.isEmpty())
            continue;
        const qsizetype eq = fact.indexOf('=');
        if (eq <= 0)
            return std::nullopt;
        const QByteArrayView key = fact.first(eq);
        const QByteArrayView value = fact.sliced(eq + 1);
        if (equalsNoCase(key, "type")) {
            if (equalsNoCase(value, "cdir") || equalsNoCase(value, "pdir"))
                return std::nullopt;
            e.IsFile = equalsNoCase(value, "dir") ? 0 : -1;
        } else if (equalsNoCase(key, "size")) {
            size = parseSize(value);
            badNumber = badNumber || !size;
        } else if (equalsNoCase(key, "sizd")) {
            sizd = parseSize(value);
        } else if (equalsNoCase(key, "modify")) {
            e.DateTime = mlsdTime(value);
        }
    }
    if (badNumber)
        return std::nullopt;
    e.Name = decodeName(line.sliced(sp + 1));
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

// 0 when s is no month name, else its number.
int monthNumber(QByteArrayView s)
{
    if (s.size() != 3)
        return 0;
    for (int m = 0; m < 12; ++m)
        if (s.compare(QByteArrayView(kMonths[m], 3), Qt::CaseInsensitive) == 0)
            return m + 1;
    return 0;
}

bool isDay(QByteArrayView s)
{
    if (s.size() > 2 || !isDigits(s))
        return false;
    const int d = smallNumber(s);
    return d >= 1 && d <= 31;
}

// "H:MM" or "HH:MM", optionally ":SS".
bool isClock(QByteArrayView s)
{
    qsizetype colon = s.indexOf(':');
    if (colon < 0)
        return false;
    const QByteArrayView hours = s.first(colon);
    if (hours.size() > 2 || !isDigits(hours) || smallNumber(hours) > 23)
        return false;
    int parts = 1;
    while (colon >= 0) {
        if (++parts > 3)
            return false;
        const qsizetype next = s.indexOf(':', colon + 1);
        const QByteArrayView part = s.sliced(colon + 1, (next < 0 ? s.size() : next) - colon - 1);
        if (part.size() != 2 || !isDigits(part) || smallNumber(part) > 59)
            return false;
        colon = next;
    }
    return true;
}

bool isYear(QByteArrayView s) { return s.size() == 4 && isDigits(s); }

bool isIsoDate(QByteArrayView s)
{
    return s.size() == 10 && s.at(4) == '-' && s.at(7) == '-' && isDigits(s.first(4))
           && isDigits(s.sliced(5, 2)) && isDigits(s.sliced(8, 2));
}

bool isUnixMode(QByteArrayView s)
{
    // "drwxr-xr-x", possibly followed by an ACL or attribute marker.
    if (s.size() < 10 || !QByteArrayView("-dlbcps").contains(s.at(0)))
        return false;
    for (int i = 1; i < 10; ++i)
        if (!QByteArrayView("rwxsStTlL-").contains(s.at(i)))
            return false;
    return s.size() == 10 || (s.size() == 11 && QByteArrayView("+.@").contains(s.at(10)));
}

std::optional<FtpListEntry> parseUnixLine(QByteArrayView line)
{
    const Tokens t = tokenize(line);
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
        const int month = m + 2 < t.size() ? monthNumber(t[m].text) : 0;
        if (month > 0 && isDay(t[m + 1].text) && (isClock(t[m + 2].text) || isYear(t[m + 2].text))) {
            // "Mon DD time-or-year", the day padded to two digits.
            const QByteArrayView day = t[m + 1].text, last = t[m + 2].text;
            QVarLengthArray<char, 32> text;
            text.append(char(kMonths[month - 1][0] - 'a' + 'A'));
            text.append(kMonths[month - 1] + 1, 2);
            text.append(' ');
            if (day.size() < 2)
                text.append('0');
            text.append(day.data(), day.size());
            text.append(' ');
            text.append(last.data(), last.size());
            when = QString::fromLatin1(text.data(), text.size());
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
    QByteArrayView raw = line.sliced(nameFrom);
    const char type = t[0].text.at(0);
    if (type == 'l') {
        const qsizetype arrow = raw.indexOf(QByteArrayView(" -> "));
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

bool isDosDate(QByteArrayView s)
{
    // MM-DD-YY or MM-DD-YYYY
    if (s.size() != 8 && s.size() != 10)
        return false;
    return (s.at(2) == '-' || s.at(2) == '/') && s.at(5) == s.at(2) && isDigits(s.first(2))
           && isDigits(s.sliced(3, 2)) && isDigits(s.sliced(6));
}

bool isDosTime(QByteArrayView s)
{
    if (s.size() >= 2) {
        const QByteArrayView suffix = s.last(2);
        if (suffix.compare("AM", Qt::CaseInsensitive) == 0 || suffix.compare("PM", Qt::CaseInsensitive) == 0)
            s.chop(2);
    }
    return isClock(s);
}

std::optional<FtpListEntry> parseDosLine(QByteArrayView line)
{
    const Tokens t = tokenize(line);
    if (t.size() < 4 || !isDosDate(t[0].text) || !isDosTime(t[1].text))
        return std::nullopt;
    FtpListEntry e;
    if (t[2].text.compare("<DIR>", Qt::CaseInsensitive) == 0) {
        e.IsFile = 0;
    } else {
        QByteArray digits = t[2].text.toByteArray();
        digits.replace(',', QByteArray());
        const std::optional<qint64> sz = parseSize(digits);
        if (!sz)
            return std::nullopt;
        e.IsFile = -1;
        e.Size = *sz;
    }
    // The size column is padded to a fixed width, so the name starts at the
    // next non-blank.
    e.Name = decodeName(line.sliced(t[3].begin));
    if (e.Name.isEmpty() || isSelfOrParent(e.Name))
        return std::nullopt;
    e.DateTime = QString::fromLatin1(t[0].text) + QLatin1Char(' ') + QString::fromLatin1(t[1].text);
    return e;
}

}  // namespace

QList<FtpListEntry> parseMlsd(const QByteArray &text)
{
    QList<FtpListEntry> entries;
    forEachLine(text, [&](QByteArrayView line) {
        if (auto e = parseMlsdLine(line))
            entries.append(*e);
    });
    return entries;
}

QList<FtpListEntry> parseList(const QByteArray &text)
{
    QList<FtpListEntry> entries;
    forEachLine(text, [&](QByteArrayView line) {
        std::optional<FtpListEntry> e = parseUnixLine(line);
        if (!e)
            e = parseDosLine(line);
        if (e)
            entries.append(*e);
    });
    return entries;
}

QDateTime listingTime(const QString &dateTime, const QDateTime &nowUtc)
{
    const QByteArray text = dateTime.toLatin1();
    const Tokens t = tokenize(text);
    if (t.size() < 2 || t.size() > 3)
        return {};
    auto number = [](QByteArrayView v) { return isDigits(v) && v.size() <= 4 ? smallNumber(v) : -1; };
    // "HH:MM[:SS]", with the AM or PM of DOS listings.
    auto clock = [&](QByteArrayView v) -> QTime {
        int pm = -1;
        if (v.size() > 2 && (v.back() | 0x20) == 'm' && ((v.at(v.size() - 2) | 0x20) == 'a' || (v.at(v.size() - 2) | 0x20) == 'p')) {
            pm = (v.at(v.size() - 2) | 0x20) == 'p' ? 1 : 0;
            v.chop(2);
        }
        const qsizetype colon = v.indexOf(':');
        if (colon < 1)
            return {};
        int h = number(v.first(colon));
        QByteArrayView rest = v.sliced(colon + 1);
        int sec = 0;
        if (rest.size() == 5 && rest.at(2) == ':') {
            sec = number(rest.sliced(3));
            rest = rest.first(2);
        }
        if (rest.size() != 2)
            return {};
        if (pm >= 0) {
            if (h < 1 || h > 12)
                return {};
            h = h % 12 + (pm ? 12 : 0);
        }
        return QTime::isValid(h, number(rest), sec) ? QTime(h, number(rest), sec) : QTime();
    };
    auto utc = [](QDate d, QTime c) { return d.isValid() && c.isValid() ? QDateTime(d, c, Qt::UTC) : QDateTime(); };
    const QByteArrayView first = t[0].text, second = t[1].text;
    if (t.size() == 2 && isIsoDate(first))
        return utc(QDate(number(first.first(4)), number(first.sliced(5, 2)), number(first.sliced(8, 2))), clock(second));
    if (t.size() == 2 && isDosDate(first)) {
        int year = number(first.sliced(6));
        if (first.size() == 8)
            year += year < 70 ? 2000 : 1900;
        return utc(QDate(year, number(first.first(2)), number(first.sliced(3, 2))), clock(second));
    }
    const int month = t.size() == 3 ? monthNumber(first) : 0;
    if (month == 0 || !isDay(second))
        return {};
    const QByteArrayView last = t[2].text;
    if (isYear(last)) {
        const QDate d(number(last), month, number(second));
        return d.isValid() ? QDateTime(d, QTime(0, 0), Qt::LocalTime) : QDateTime();
    }
    // Without a year ls shows the last six months: the latest such date
    // that is not in the future (a day's grace for clocks and zones).
    const QDateTime now = nowUtc.toUTC();
    for (int year = now.date().year() + 1; year >= now.date().year() - 1; --year) {
        const QDateTime when = utc(QDate(year, month, number(second)), clock(last));
        if (when.isValid() && when <= now.addDays(1))
            return when;
    }
    return {};
}

QString listingTimeText(const QString &dateTime, const QDateTime &nowUtc)
{
    const QDateTime when = listingTime(dateTime, nowUtc);
    return when.isValid() ? when.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) : dateTime;
}

}  // namespace tobra
