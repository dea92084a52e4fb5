#include "support/inifile.h"

#include "support/errorhandler.h"
#include "support/modcommon.h"
#include "support/modopsys.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSet>
#include <QStringDecoder>

#include <cerrno>
#include <cstring>

namespace tobra {

namespace {

// Windows-1252 characters 0x80-0x9F. The five bytes it leaves undefined map
// to the C1 controls of the same number, so they are written back unchanged.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

const QByteArray kUtf8Bom("\xEF\xBB\xBF");

bool sameName(const QString &a, const QString &b)
{
    return a.trimmed().compare(b.trimmed(), Qt::CaseInsensitive) == 0;
}

// Names and values are single lines.
QString oneLine(QString s)
{
    for (QChar &c : s)
        if (c == QLatin1Char('\r') || c == QLatin1Char('\n') || c == QChar(0))
            c = QLatin1Char(' ');
    return s;
}

QString unquote(QString v)
{
    v = v.trimmed();
    if (v.size() >= 2 && ((v.front() == QLatin1Char('"') && v.back() == QLatin1Char('"'))
                          || (v.front() == QLatin1Char('\'') && v.back() == QLatin1Char('\''))))
        v = v.mid(1, v.size() - 2);
    if (v.isNull())
        v = QLatin1String("");
    return v;
}

// Windows hands back the default less its trailing blanks and one pair of
// enclosing quotes (leading blanks stay).
QString windowsDefault(QString v)
{
    qsizetype n = v.size();
    while (n > 0 && (v.at(n - 1) == QLatin1Char(' ') || v.at(n - 1) == QLatin1Char('\t')))
        --n;
    v.truncate(n);
    if (v.size() >= 2 && v.front() == v.back()
        && (v.front() == QLatin1Char('"') || v.front() == QLatin1Char('\'')))
        v = v.mid(1, v.size() - 2);
    return v;
}

bool isUtf8(const QByteArray &bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8,
                        QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    const QString ignored = utf8.decode(bytes);
    return !utf8.hasError();
}

IniEncoding detectEncoding(const QByteArray &bytes, qsizetype *bomSize)
{
    if (bytes.startsWith("\xFF\xFE")) {
        *bomSize = 2;
        return IniEncoding::Utf16Le;
    }
    *bomSize = bytes.startsWith(kUtf8Bom) ? kUtf8Bom.size() : 0;
    return isUtf8(bytes) ? IniEncoding::Utf8 : IniEncoding::Windows1252;
}

QString decodeAs(IniEncoding encoding, const QByteArray &raw)
{
    switch (encoding) {
    case IniEncoding::Utf8: {
        QStringDecoder utf8(QStringDecoder::Utf8,
                            QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
        return utf8.decode(raw);
    }
    case IniEncoding::Utf16Le: {
        QString s(raw.size() / 2, Qt::Uninitialized);
        for (qsizetype i = 0; i < s.size(); ++i)
            s[i] = QChar(char16_t(uchar(raw[2 * i]) | uchar(raw[2 * i + 1]) << 8));
        return s;
    }
    case IniEncoding::Windows1252: break;
    }
    QString s(raw.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < raw.size(); ++i) {
        const auto b = uchar(raw[i]);
        s[i] = (b >= 0x80 && b <= 0x9F) ? QChar(kCp1252High[b - 0x80]) : QChar(char16_t(b));
    }
    return s;
}

QByteArray readFileBytes(const QString &path, bool *exists, bool *readable = nullptr)
{
    QFile f(path);
    *exists = f.exists();
    const bool ok = f.open(QIODevice::ReadOnly);
    if (readable)
        *readable = ok;
    return ok ? f.readAll() : QByteArray();
}

}  // namespace

QString decodeIniText(const QByteArray &bytes, bool *wasUtf8)
{
    qsizetype bom = 0;
    const IniEncoding encoding = detectEncoding(bytes, &bom);
    if (wasUtf8)
        *wasUtf8 = encoding == IniEncoding::Utf8;
    return decodeAs(encoding, bytes.mid(bom));
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
            if (kCp1252High[i] == u) {
                mapped = char(0x80 + i);
                break;
            }
        out += mapped;
    }
    return out;
}

IniDocument::IniDocument(const QByteArray &bytes)
{
    qsizetype pos = 0;
    encoding_ = detectEncoding(bytes, &pos);
    bom_ = bytes.left(pos);
    const qsizetype w = encoding_ == IniEncoding::Utf16Le ? 2 : 1;
    qsizetype n = bytes.size();
    if ((n - pos) % w != 0) {
        tail_ = bytes.right(1);
        --n;
    }
    const auto at = [&](qsizetype i) -> char16_t {
        return w == 1 ? uchar(bytes[i]) : char16_t(uchar(bytes[i]) | uchar(bytes[i + 1]) << 8);
    };
    // Each pass takes at least one unit, so this ends.
    while (pos < n) {
        qsizetype i = pos;
        while (i < n && at(i) != u'\r' && at(i) != u'\n')
            i += w;
        qsizetype next = i;
        if (i < n) {
            next += w;
            if (at(i) == u'\r' && next < n && at(next) == u'\n')
                next += w;
        }
        Line line;
        line.raw = bytes.mid(pos, i - pos);
        line.end = bytes.mid(i, next - i);
        parseLine(line);
        lines_.append(line);
        pos = next;
    }
}

QString IniDocument::decode(const QByteArray &raw) const
{
    return decodeAs(encoding_, raw);
}

QByteArray IniDocument::encode(const QString &text) const
{
    switch (encoding_) {
    case IniEncoding::Utf8: return text.toUtf8();
    case IniEncoding::Windows1252: return encodeWindows1252(text);
    case IniEncoding::Utf16Le: break;
    }
    QByteArray out;
    out.reserve(text.size() * 2);
    for (const QChar c : text) {
        out += char(c.unicode() & 0xFF);
        out += char(c.unicode() >> 8);
    }
    return out;
}

QByteArray IniDocument::unit(char16_t c) const
{
    return encode(QString(QChar(c)));
}

// The one line parser of reads and writes.
void IniDocument::parseLine(Line &line) const
{
    line.kind = Kind::Other;
    line.name.clear();
    line.value.clear();
    line.eq = -1;
    // A byte-order mark may open any line where files were joined.
    QString text;
    if (encoding_ != IniEncoding::Utf16Le && line.raw.startsWith(kUtf8Bom)) {
        text = decode(line.raw.mid(kUtf8Bom.size()));
    } else {
        text = decode(line.raw);
        if (encoding_ == IniEncoding::Utf16Le && text.startsWith(QChar(0xFEFF)))
            text.remove(0, 1);
    }
    const qsizetype nul = text.indexOf(QChar(0));
    if (nul >= 0)
        text.truncate(nul);
    const QString t = text.trimmed();
    line.blank = t.isEmpty();
    if (t.startsWith(QLatin1Char('['))) {
        const qsizetype close = t.lastIndexOf(QLatin1Char(']'));
        if (close > 0) {
            line.kind = Kind::Header;
            line.name = t.mid(1, close - 1).trimmed();
            return;
        }
    }
    if (t.startsWith(QLatin1Char(';')) || t.startsWith(QLatin1Char('#')))
        return;
    const qsizetype eq = text.indexOf(QLatin1Char('='));
    if (eq < 0)
        return;
    line.kind = Kind::Entry;
    line.name = text.left(eq).trimmed();
    line.value = text.mid(eq + 1);
    // '=' is one unit in every encoding here and the first one in the bytes
    // is the first one in the text.
    if (encoding_ == IniEncoding::Utf16Le) {
        for (qsizetype i = 0; i + 1 < line.raw.size(); i += 2)
            if (line.raw[i] == '=' && line.raw[i + 1] == 0) {
                line.eq = i;
                break;
            }
    } else {
        line.eq = line.raw.indexOf('=');
    }
}

bool IniDocument::findSection(const QString &section, qsizetype *first, qsizetype *end) const
{
    const QString want = section.trimmed();
    // Lines before the first header form the section "", which always comes
    // first, so a later "[]" never matches.
    qsizetype i = 0;
    if (!want.isEmpty()) {
        while (i < lines_.size() && !(lines_[i].kind == Kind::Header && sameName(lines_[i].name, want)))
            ++i;
        if (i == lines_.size())
            return false;
        ++i;
    }
    *first = i;
    while (i < lines_.size() && lines_[i].kind != Kind::Header)
        ++i;
    *end = i;
    return true;
}

QStringList IniDocument::sectionNames() const
{
    QStringList names;
    for (const Line &l : lines_)
        if (l.kind == Kind::Header)
            names.append(l.name);
    return names;
}

std::optional<QString> IniDocument::value(const QString &section, const QString &key) const
{
    qsizetype first = 0, end = 0;
    if (!findSection(section, &first, &end))
        return std::nullopt;
    for (qsizetype i = first; i < end; ++i)
        if (lines_[i].kind == Kind::Entry && sameName(lines_[i].name, key))
            return unquote(lines_[i].value);
    return std::nullopt;
}

QList<std::pair<QString, QString>> IniDocument::entries(const QString &section) const
{
    QList<std::pair<QString, QString>> out;
    qsizetype first = 0, end = 0;
    if (!findSection(section, &first, &end))
        return out;
    QSet<QString> seen;
    for (qsizetype i = first; i < end; ++i) {
        const Line &l = lines_[i];
        if (l.kind != Kind::Entry)
            continue;
        const QString folded = l.name.toCaseFolded();
        if (seen.contains(folded))
            continue;
        seen.insert(folded);
        out.append({l.name, unquote(l.value)});
    }
    return out;
}

void IniDocument::setValue(const QString &section, const QString &key, const QString &value)
{
    const QString sec = oneLine(section).trimmed();
    const QString k = oneLine(key).trimmed();
    const QString clean = oneLine(value);

    QByteArray eol = unit(u'\n');
    for (const Line &l : lines_)
        if (!l.end.isEmpty()) {
            eol = l.end;
            break;
        }
    // Something placed after the last line pushes a stray UTF-16 byte out
    // of the text; it would shift every unit behind it.
    const auto endLine = [&](qsizetype i) {
        if (i >= 0 && lines_[i].end.isEmpty())
            lines_[i].end = eol;
        if (i == lines_.size() - 1)
            tail_.clear();
    };
    const auto insertLine = [&](qsizetype at, const QString &text) {
        endLine(at - 1);
        Line line;
        line.raw = encode(text);
        line.end = eol;
        parseLine(line);
        lines_.insert(at, line);
        return at;
    };

    qsizetype written = -1;
    qsizetype first = 0, end = 0;
    if (findSection(sec, &first, &end)) {
        qsizetype after = first;  // behind the section's last non-blank line
        for (qsizetype i = first; i < end && written < 0; ++i) {
            Line &l = lines_[i];
            if (!l.blank)
                after = i + 1;
            if (l.kind == Kind::Entry && sameName(l.name, k)) {
                // "key=value" as Windows writes it, unless the key would then
                // read as another one (it opens with a byte-order mark): then
                // its own bytes stay.
                const QByteArray keyBytes = l.raw.left(l.eq + (encoding_ == IniEncoding::Utf16Le ? 2 : 1));
                const QString name = l.name;
                l.raw = encode(name + QLatin1Char('=') + clean);
                parseLine(l);
                if (l.kind != Kind::Entry || l.name != name) {
                    l.raw = keyBytes + encode(clean);
                    parseLine(l);
                }
                written = i;
            }
        }
        if (written < 0)
            written = insertLine(after, k + QLatin1Char('=') + clean);
    } else {
        insertLine(lines_.size(), QLatin1Char('[') + sec + QLatin1Char(']'));
        written = insertLine(lines_.size(), k + QLatin1Char('=') + clean);
    }

    // A Windows-1252 file whose only non-UTF-8 bytes were in the replaced
    // line would now read as UTF-8 and every other non-ASCII value would
    // change. A trailing no-break space (0xA0, a blank every reader trims)
    // keeps it Windows-1252: in valid UTF-8 the line ends a sequence, and
    // 0xA0 cannot start one. Characters Windows-1252 lacks are written as
    // '?', as the Windows ANSI functions do: turning the file into UTF-8
    // instead would change what the products read in every other line.
    if (encoding_ == IniEncoding::Windows1252 && !keepsEncoding()) {
        lines_[written].raw += '\xA0';
        parseLine(lines_[written]);
    }
}

bool IniDocument::keepsEncoding() const
{
    const QByteArray out = bytes();
    qsizetype bom = 0;
    if (detectEncoding(out, &bom) == encoding_)
        return true;
    for (const char c : out)
        if (uchar(c) >= 0x80)
            return false;
    return true;  // plain ASCII reads the same either way
}

QByteArray IniDocument::bytes() const
{
    qsizetype size = bom_.size() + tail_.size();
    for (const Line &l : lines_)
        size += l.raw.size() + l.end.size();
    QByteArray out;
    out.reserve(size);
    out += bom_;
    for (const Line &l : lines_)
        out += l.raw + l.end;
    out += tail_;
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
    bool exists = false;
    if (!path.isEmpty()) {
        const QByteArray bytes = readFileBytes(path, &exists);
        if (exists)
            if (const std::optional<QString> v = IniDocument(bytes).value(section, key))
                return *v;
    }
    return windowsDefault(defaultValue);
}

QList<std::pair<QString, QString>> ReadIniSection(const QString &file, const QString &section)
{
    const QString path = resolveIniPath(file);
    bool exists = false;
    if (path.isEmpty())
        return {};
    const QByteArray bytes = readFileBytes(path, &exists);
    return exists ? IniDocument(bytes).entries(section) : QList<std::pair<QString, QString>>();
}

static bool isWindowsDir(const QString &folder)
{
    const QString windows = GetWindowsDir();
    if (windows.isEmpty())
        return false;
    return QDir::cleanPath(QFileInfo(folder).absoluteFilePath())
           == QDir::cleanPath(QFileInfo(toFileSystemPath(windows)).absoluteFilePath());
}

bool WriteIni(const QString &file, const QString &section, const QString &key, const QString &value)
{
    const QString path = resolveIniPath(file);
    if (path.isEmpty())
        return false;
    bool exists = false;
    bool readable = false;
    const QByteArray bytes = readFileBytes(path, &exists, &readable);
    if (exists && !readable)
        return false;  // rewriting it would lose every other entry
    IniDocument doc(bytes);
    doc.setValue(section, key, value);
    const QByteArray out = doc.bytes();

    // A fresh account has no Windows directory yet; any other missing folder
    // is a wrong name, and making it would only hide the mistake.
    const QString folder = QFileInfo(path).absolutePath();
    const bool makeFolder = isWindowsDir(folder);
    setCurrentProcName(QStringLiteral("WriteIni"));
    for (int attempt = 0; attempt < 100; ++attempt) {
        if (makeFolder)
            QDir().mkpath(folder);
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
