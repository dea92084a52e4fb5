#include "support/inifile.h"

#include "support/errorhandler.h"
#include "support/modcommon.h"
#include "support/modopsys.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QSaveFile>
#include <QStringDecoder>
#include <QStringTokenizer>

#include <cerrno>
#include <cstring>

namespace tobra {

namespace {

// Windows-1252 characters 0x80-0x9F; the undefined ones map to U+FFFD.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD, 0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};

struct RawLine {
    QByteArray text;  // without the line end
    QByteArray end;   // "\r\n", "\n" or "" (last line)
};

QList<RawLine> splitLines(const QByteArray &bytes)
{
    QList<RawLine> lines;
    qsizetype start = 0;
    while (start < bytes.size()) {
        const qsizetype nl = bytes.indexOf('\n', start);
        RawLine line;
        if (nl < 0) {
            line.text = bytes.mid(start);
            start = bytes.size();
        } else {
            line.text = bytes.mid(start, nl - start);
            line.end = "\n";
            if (line.text.endsWith('\r')) {
                line.text.chop(1);
                line.end = "\r\n";
            }
            start = nl + 1;
        }
        lines.append(line);
    }
    return lines;
}

bool sameName(const QString &a, const QString &b)
{
    return a.trimmed().compare(b.trimmed(), Qt::CaseInsensitive) == 0;
}

// Section name of a header line, or a null string when the line is none.
QString sectionOf(const QString &line)
{
    const QString t = line.trimmed();
    if (!t.startsWith(QLatin1Char('[')))
        return QString();
    const qsizetype close = t.indexOf(QLatin1Char(']'));
    QString name = close < 0 ? t.mid(1) : t.mid(1, close - 1);
    if (name.isNull())
        name = QLatin1String("");
    return name;
}

bool isComment(const QString &line)
{
    const QString t = line.trimmed();
    return t.startsWith(QLatin1Char(';')) || t.startsWith(QLatin1Char('#'));
}

// Key text of a "key=value" line, or a null string.
QString keyOf(const QString &line, QString *value = nullptr)
{
    if (isComment(line))
        return QString();
    const qsizetype eq = line.indexOf(QLatin1Char('='));
    if (eq < 0)
        return QString();
    if (value)
        *value = line.mid(eq + 1);
    QString k = line.left(eq);
    if (k.isNull())
        k = QLatin1String("");
    return k;
}

QString unquote(QString v)
{
    v = v.trimmed();
    if (v.size() >= 2 && ((v.front() == QLatin1Char('"') && v.back() == QLatin1Char('"'))
                          || (v.front() == QLatin1Char('\'') && v.back() == QLatin1Char('\''))))
        v = v.mid(1, v.size() - 2);
    return v;
}

QByteArray readFileBytes(const QString &path, bool *exists)
{
    QFile f(path);
    *exists = f.exists();
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray();
    return f.readAll();
}

}  // namespace

QString decodeIniText(const QByteArray &bytes, bool *wasUtf8)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (!utf8.hasError()) {
        if (wasUtf8)
            *wasUtf8 = true;
        if (text.startsWith(QChar(0xFEFF)))
            text.remove(0, 1);
        return text;
    }
    if (wasUtf8)
        *wasUtf8 = false;
    QString out;
    out.reserve(bytes.size());
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        out += (b >= 0x80 && b <= 0x9F) ? QChar(kCp1252High[b - 0x80]) : QChar(char16_t(b));
    }
    return out;
}

QByteArray encodeWindows1252(const QString &text)
{
    QByteArray out;
    out.reserve(text.size());
    for (const QChar ch : text) {
        const char16_t u = ch.unicode();
        if (u < 0x80 || (u >= 0xA0 && u <= 0xFF)) {
            out += char(u);
            continue;
        }
        char mapped = '?';
        for (int i = 0; i < 32; ++i)
            if (kCp1252High[i] == u && u != 0xFFFD) {
                mapped = char(0x80 + i);
                break;
            }
        out += mapped;
    }
    return out;
}

// INI names are written in any letter case (qsn2000.ini and QSN2000.INI are
// one file to the products): when the exact name is missing, take a file of
// the folder whose name differs only in case.
static QString matchLetterCase(const QString &path)
{
    const QFileInfo fi(path);
    if (fi.exists())
        return path;
    const QDir dir = fi.absoluteDir();
    if (!dir.exists())
        return path;
    const QStringList names = dir.entryList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QString &n : names)
        if (n.compare(fi.fileName(), Qt::CaseInsensitive) == 0)
            return dir.filePath(n);
    return path;
}

QString resolveIniPath(const QString &file)
{
    const QString f = file.trimmed();
    if (f.isEmpty())
        return QString();
    for (const QChar c : f)
        if (isPathSeparator(c))
            return matchLetterCase(toFileSystemPath(f));
    return matchLetterCase(toFileSystemPath(GetWindowsDir() + f));
}

QString ReadIni(const QString &file, const QString &section, const QString &key, const QString &defaultValue)
{
    const QString path = resolveIniPath(file);
    if (path.isEmpty() || section.trimmed().isEmpty() || key.trimmed().isEmpty())
        return defaultValue;
    bool exists = false;
    const QByteArray bytes = readFileBytes(path, &exists);
    if (!exists)
        return defaultValue;
    const QString text = decodeIniText(bytes);
    bool inSection = false;
    bool seenSection = false;
    for (QStringView lineView : QStringTokenizer(text, QLatin1Char('\n'))) {
        QString line = lineView.toString();
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        const QString header = sectionOf(line);
        if (!header.isNull()) {
            if (inSection)
                break;  // the first matching section wins
            inSection = !seenSection && sameName(header, section);
            seenSection = seenSection || inSection;
            continue;
        }
        if (!inSection)
            continue;
        QString value;
        const QString k = keyOf(line, &value);
        if (!k.isNull() && sameName(k, key))
            return unquote(value);
    }
    return defaultValue;
}

bool WriteIni(const QString &file, const QString &section, const QString &key, const QString &value)
{
    const QString path = resolveIniPath(file);
    if (path.isEmpty() || section.trimmed().isEmpty() || key.trimmed().isEmpty())
        return false;

    // A line break in a value would split it into two entries.
    QString clean = value;
    for (QChar &c : clean)
        if (c == QLatin1Char('\r') || c == QLatin1Char('\n') || c == QChar(0))
            c = QLatin1Char(' ');

    bool exists = false;
    const QByteArray bytes = readFileBytes(path, &exists);
    bool utf8 = true;
    decodeIniText(bytes, &utf8);
    auto encode = [utf8](const QString &s) { return utf8 ? s.toUtf8() : encodeWindows1252(s); };
    auto decode = [utf8](const QByteArray &b) { return utf8 ? QString::fromUtf8(b) : decodeIniText(b); };

    QList<RawLine> lines = splitLines(bytes);
    QByteArray eol = "\n";
    for (const RawLine &l : lines)
        if (!l.end.isEmpty()) {
            eol = l.end;
            break;
        }

    qsizetype sectionLine = -1;
    qsizetype sectionEnd = lines.size();  // index of the next header
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString header = sectionOf(decode(lines[i].text));
        if (header.isNull())
            continue;
        if (sectionLine >= 0) {
            sectionEnd = i;
            break;
        }
        if (sameName(header, section))
            sectionLine = i;
    }

    auto ensureEnded = [&](qsizetype i) {
        if (i >= 0 && i < lines.size() && lines[i].end.isEmpty())
            lines[i].end = eol;
    };

    bool done = false;
    if (sectionLine >= 0) {
        qsizetype lastContent = sectionLine;
        for (qsizetype i = sectionLine + 1; i < sectionEnd; ++i) {
            const QString line = decode(lines[i].text);
            if (!line.trimmed().isEmpty())
                lastContent = i;
            const QString k = keyOf(line);
            if (!k.isNull() && sameName(k, key)) {
                lines[i].text = encode(k.trimmed() + QLatin1Char('=') + clean);
                done = true;
                break;
            }
        }
        if (!done) {
            ensureEnded(lastContent);
            lines.insert(lastContent + 1, RawLine{encode(key.trimmed() + QLatin1Char('=') + clean), eol});
        }
    } else {
        ensureEnded(lines.size() - 1);
        lines.append(RawLine{encode(QLatin1Char('[') + section.trimmed() + QLatin1Char(']')), eol});
        lines.append(RawLine{encode(key.trimmed() + QLatin1Char('=') + clean), eol});
    }

    QByteArray out;
    out.reserve(bytes.size() + clean.size() + 64);
    for (const RawLine &l : lines)
        out += l.text + l.end;

    setCurrentProcName(QStringLiteral("WriteIni"));
    for (int attempt = 0; attempt < 100; ++attempt) {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QSaveFile save(path);
        errno = 0;
        if (save.open(QIODevice::WriteOnly) && save.write(out) == out.size() && save.commit())
            return true;
        const int err = errno;
        const int number = errorNumberFromErrno(err);
        if (number == 0)
            return false;
        if (ErrorHandler(number, QString::fromLocal8Bit(std::strerror(err))) != ErrRetry)
            return false;
    }
    return false;
}

}  // namespace tobra
