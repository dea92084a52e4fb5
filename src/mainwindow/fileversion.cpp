#include "mainwindow/fileversion.h"

#include "support/modcommon.h"

#include <QFile>
#include <QFileInfo>

#include <optional>

namespace tobra {

namespace {

constexpr quint32 kFixedInfoSignature = 0xFEEF04BD;
constexpr quint32 kResourceVersion = 16;      // RT_VERSION
constexpr int kMaxSections = 96;
constexpr int kMaxDirEntries = 4096;
constexpr qint64 kMaxVersionBlock = 64 * 1024;

// Bounds-checked little-endian reads from the file; every offset comes from
// the file itself, so none is trusted.
class Reader {
public:
    explicit Reader(QFile &f) : f_(f), size_(f.size()) {}

    std::optional<QByteArray> bytes(qint64 at, qint64 n)
    {
        if (at < 0 || n < 0 || at > size_ || n > size_ - at || !f_.seek(at))
            return std::nullopt;
        QByteArray b = f_.read(n);
        if (b.size() != n)
            return std::nullopt;
        return b;
    }
    std::optional<quint32> u32(qint64 at)
    {
        const auto b = bytes(at, 4);
        if (!b)
            return std::nullopt;
        const auto *p = reinterpret_cast<const uchar *>(b->constData());
        return quint32(p[0]) | quint32(p[1]) << 8 | quint32(p[2]) << 16 | quint32(p[3]) << 24;
    }
    std::optional<quint16> u16(qint64 at)
    {
        const auto b = bytes(at, 2);
        if (!b)
            return std::nullopt;
        const auto *p = reinterpret_cast<const uchar *>(b->constData());
        return quint16(p[0] | p[1] << 8);
    }

private:
    QFile &f_;
    qint64 size_;
};

struct Section {
    quint32 virtualAddress;
    quint32 virtualSize;
    quint32 rawSize;
    quint32 rawOffset;
};

std::optional<qint64> rvaToOffset(const QList<Section> &sections, quint32 rva)
{
    for (const Section &s : sections) {
        const quint32 span = qMax(s.virtualSize, s.rawSize);
        if (rva >= s.virtualAddress && rva - s.virtualAddress < span) {
            const quint32 delta = rva - s.virtualAddress;
            if (delta >= s.rawSize)
                return std::nullopt;
            return qint64(s.rawOffset) + delta;
        }
    }
    return std::nullopt;
}

// The entry of a resource directory: with wantId, the one of that id; else
// the first one. Returns the raw OffsetToData field.
std::optional<quint32> dirEntry(Reader &r, qint64 dir, std::optional<quint32> wantId)
{
    const auto named = r.u16(dir + 12);
    const auto ids = r.u16(dir + 14);
    if (!named || !ids)
        return std::nullopt;
    const int count = int(*named) + int(*ids);
    if (count <= 0 || count > kMaxDirEntries)
        return std::nullopt;
    for (int i = 0; i < count; ++i) {
        const qint64 e = dir + 16 + qint64(i) * 8;
        const auto name = r.u32(e);
        const auto data = r.u32(e + 4);
        if (!name || !data)
            return std::nullopt;
        if (!wantId)
            return data;
        if (!(*name & 0x80000000u) && *name == *wantId)
            return data;
    }
    return std::nullopt;
}

QString readVersion(QFile &f)
{
    Reader r(f);
    const auto mz = r.bytes(0, 2);
    if (!mz || *mz != "MZ")
        return QString();
    const auto peAt = r.u32(0x3C);
    if (!peAt)
        return QString();
    const qint64 pe = *peAt;
    const auto sig = r.bytes(pe, 4);
    if (!sig || *sig != QByteArray("PE\0\0", 4))
        return QString();
    const qint64 coff = pe + 4;
    const auto sectionCount = r.u16(coff + 2);
    const auto optSize = r.u16(coff + 16);
    if (!sectionCount || !optSize || *sectionCount == 0 || *sectionCount > kMaxSections)
        return QString();
    const qint64 opt = coff + 20;
    const auto magic = r.u16(opt);
    if (!magic)
        return QString();
    qint64 dirCountAt = 0;
    if (*magic == 0x10B)
        dirCountAt = opt + 92;
    else if (*magic == 0x20B)
        dirCountAt = opt + 108;
    else
        return QString();
    const auto dirCount = r.u32(dirCountAt);
    if (!dirCount || *dirCount < 3 || dirCountAt + 4 + 3 * 8 > opt + *optSize)
        return QString();
    const auto resRva = r.u32(dirCountAt + 4 + 2 * 8);
    if (!resRva || *resRva == 0)
        return QString();

    QList<Section> sections;
    const qint64 table = opt + *optSize;
    for (int i = 0; i < *sectionCount; ++i) {
        const qint64 s = table + qint64(i) * 40;
        const auto vsize = r.u32(s + 8);
        const auto va = r.u32(s + 12);
        const auto rawSize = r.u32(s + 16);
        const auto rawOffset = r.u32(s + 20);
        if (!vsize || !va || !rawSize || !rawOffset)
            return QString();
        sections.append({*va, *vsize, *rawSize, *rawOffset});
    }
    const auto root = rvaToOffset(sections, *resRva);
    if (!root)
        return QString();

    // Type (version), then the first name, then the first language.
    std::optional<quint32> entry = dirEntry(r, *root, kResourceVersion);
    for (int level = 0; level < 2; ++level) {
        if (!entry || !(*entry & 0x80000000u))
            return QString();
        entry = dirEntry(r, *root + (*entry & 0x7FFFFFFFu), std::nullopt);
    }
    if (!entry || (*entry & 0x80000000u))
        return QString();
    const qint64 dataEntry = *root + *entry;
    const auto dataRva = r.u32(dataEntry);
    const auto dataSize = r.u32(dataEntry + 4);
    if (!dataRva || !dataSize)
        return QString();
    const auto block = rvaToOffset(sections, *dataRva);
    if (!block)
        return QString();
    const auto data = r.bytes(*block, qMin<qint64>(*dataSize, kMaxVersionBlock));
    if (!data)
        return QString();

    // VS_VERSIONINFO: a header, the key "VS_VERSION_INFO", then the fixed
    // part, which starts with its signature on a 4-byte boundary.
    const auto *p = reinterpret_cast<const uchar *>(data->constData());
    const qsizetype n = data->size();
    for (qsizetype at = 0; at + 52 <= n && at < 256; at += 4) {
        auto word = [&](qsizetype o) {
            return quint32(p[o]) | quint32(p[o + 1]) << 8 | quint32(p[o + 2]) << 16 | quint32(p[o + 3]) << 24;
        };
        if (word(at) != kFixedInfoSignature)
            continue;
        const quint32 ms = word(at + 8);
        const quint32 ls = word(at + 12);
        return QStringLiteral("%1.%2.%3.%4").arg(ms >> 16).arg(ms & 0xFFFF).arg(ls >> 16).arg(ls & 0xFFFF);
    }
    return QString();
}

}  // namespace

QString fileVersionString(const QString &path)
{
    const QString fsPath = toFileSystemPath(path);
    // Only regular files: opening a pipe would wait for a writer.
    if (!QFileInfo(fsPath).isFile())
        return QString();
    QFile f(fsPath);
    if (!f.open(QIODevice::ReadOnly))
        return QString();
    return readVersion(f);
}

}  // namespace tobra
