// Any bytes as an INI file: reads agree with the parsed file, and a write
// changes the one value it writes and nothing another read sees.
#include "support/inifile.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iterator>

using namespace tobra;

namespace {

void check(bool ok, const char *why)
{
    if (!ok) {
        std::fprintf(stderr, "%s\n", why);
        std::abort();
    }
}

bool sameName(const QString &a, const QString &b)
{
    return a.trimmed().compare(b.trimmed(), Qt::CaseInsensitive) == 0;
}

// What a written value is made of: what the parser looks at, Latin-1,
// Windows-1252 extras, bytes it leaves undefined, and a letter it lacks.
constexpr char16_t kAlphabet[] = u"aZ9 =[];#\"'\\\u00e9\u00ff\u20ac\u0081\u009d\u0141";

QString makeValue(FuzzedDataProvider &in)
{
    QString v;
    const int n = in.ConsumeIntegralInRange(0, 12);
    for (int i = 0; i < n; ++i)
        v += QChar(kAlphabet[in.ConsumeIntegralInRange<size_t>(0, std::size(kAlphabet) - 2)]);
    // Reads trim blanks and drop enclosing quotes: keep both off the ends.
    return v.isEmpty() ? v : QLatin1Char('v') + v + QLatin1Char('v');
}

// The value a read gives back in a file of that encoding.
QString readBack(const QString &value, IniEncoding encoding)
{
    if (encoding != IniEncoding::Windows1252)
        return value;
    QString out = value;
    for (QChar &c : out)
        if (encodeWindows1252(QString(c)) == "?")
            c = QLatin1Char('?');
    return out;
}

struct Seen {
    QString section, key, value;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // On tmpfs where there is one: the atomic replace syncs to disk, which
    // would otherwise cost most of each run. libFuzzer ends without static
    // destructors, so the file goes after each run, not a folder at exit.
    static const QString path = [] {
        const QString shm = QStringLiteral("/dev/shm");
        const QString folder = QDir(shm).exists() ? shm : QDir::tempPath();
        qputenv("TOBRA_WINDIR", folder.toLocal8Bit());
        return folder + QStringLiteral("/fuzz_ini-%1.ini").arg(QCoreApplication::applicationPid());
    }();

    FuzzedDataProvider in(data, size);
    const auto sectionPick = in.ConsumeIntegral<uint8_t>();
    const auto keyPick = in.ConsumeIntegral<uint8_t>();
    const QString value = makeValue(in);
    const std::string rest = in.ConsumeRemainingBytesAsString();
    const QByteArray bytes(rest.data(), qsizetype(rest.size()));

    const IniDocument doc(bytes);
    check(doc.bytes() == bytes, "parsing changed the bytes");
    (void)decodeIniText(bytes);

    // Every value the file holds, bounded, as the in-memory reader sees it.
    const QStringList sections = QStringList{QString()} + doc.sectionNames();
    QList<Seen> seen;
    for (qsizetype s = 0; s < sections.size() && s < 16; ++s)
        for (const auto &[key, v] : doc.entries(sections[s])) {
            check(doc.value(sections[s], key) == v, "entries and value disagree");
            if (seen.size() < 64)
                seen.append({sections[s], key, v});
        }

    QFile f(path);
    check(f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size(), "temp file");
    f.close();
    for (qsizetype i = 0; i < seen.size() && i < 3; ++i)
        check(ReadIni(path, seen[i].section, seen[i].key, QStringLiteral("\x01")) == seen[i].value,
              "ReadIni and the parsed file disagree");

    // The target: a section of the file or a new one, a key of it or a new one.
    const QString section = sectionPick % (sections.size() + 1) < sections.size()
        ? sections[sectionPick % (sections.size() + 1)]
        : QStringLiteral("new%1").arg(sectionPick);
    QStringList keys;
    for (const auto &[key, v] : doc.entries(section))
        // "[k" with a ']' in the value reads as a header, as on Windows.
        if (!key.startsWith(QLatin1Char('[')))
            keys.append(key);
    const QString key = keyPick % (keys.size() + 1) < keys.size() ? keys[keyPick % (keys.size() + 1)]
                                                                : QStringLiteral("k%1").arg(keyPick);

    check(WriteIni(path, section, key, value), "WriteIni failed");
    check(f.open(QIODevice::ReadOnly), "temp file");
    const IniDocument after(f.readAll());
    f.close();

    const QString expected = readBack(value, doc.encoding());
    check(after.value(section, key) == expected, "written value reads back different");
    check(ReadIni(path, section, key, QStringLiteral("\x01")) == expected, "ReadIni misses the written value");
    for (const Seen &s : seen)
        if (!(sameName(s.section, section) && sameName(s.key, key)))
            check(after.value(s.section, s.key) == s.value, "a write changed another value");
    QFile::remove(path);
    return 0;
}
