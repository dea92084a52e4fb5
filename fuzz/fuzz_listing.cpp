// Any bytes a server sends as a folder listing: the parsers must not crash,
// and what they return must keep the promises of ftp/ftplisting.h.
#include "ftp/ftplisting.h"

#include <QDateTime>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

void fail(const char *why, const QString &name)
{
    std::fprintf(stderr, "%s: \"%s\"\n", why, name.toUtf8().constData());
    std::abort();
}

// What the header says never reaches a name: characters that fake a line
// or reorder what is shown.
bool unsafe(QChar c)
{
    const char16_t u = c.unicode();
    return c.category() == QChar::Other_Control || u == 0x2028 || u == 0x2029 || (u >= 0x202A && u <= 0x202E)
        || (u >= 0x2066 && u <= 0x2069);
}

void check(const QList<tobra::FtpListEntry> &entries, bool mlsd)
{
    for (const tobra::FtpListEntry &e : entries) {
        if (e.Name.isEmpty() || e.Name == QLatin1String(".") || e.Name == QLatin1String(".."))
            fail("empty, self or parent name", e.Name);
        if (e.Name.size() > tobra::kMaxListingLineBytes)
            fail("name longer than a line may be", e.Name);
        for (const QChar c : e.Name)
            if (unsafe(c))
                fail("control, separator or bidi character in name", e.Name);
        if (e.IsFile != -1 && e.IsFile != 0)
            fail("neither file nor folder", e.Name);
        if (e.Size < 0)
            fail("negative size", e.Name);
        if (mlsd && !e.DateTime.isEmpty()
            && !QDateTime::fromString(e.DateTime, QStringLiteral("yyyy-MM-dd HH:mm:ss")).isValid())
            fail("MLSD time not yyyy-MM-dd HH:mm:ss", e.DateTime);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray text(reinterpret_cast<const char *>(data), qsizetype(size));
    check(tobra::parseMlsd(text), true);
    check(tobra::parseList(text), false);
    return 0;
}
