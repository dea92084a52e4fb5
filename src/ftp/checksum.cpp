#include "ftp/checksum.h"

#include <QRegularExpression>

#include <openssl/evp.h>
#include <zlib.h>

namespace tobra {

namespace {

struct Algorithm {
    DigestAlgorithm algorithm;
    const char *hashName;   // in HASH's list
    const char *xCommand;
    int hexDigits;
};

// In order of preference.
constexpr Algorithm kAlgorithms[] = {
    {DigestAlgorithm::Sha256, "SHA-256", "XSHA256", 64},
    {DigestAlgorithm::Sha1, "SHA-1", "XSHA1", 40},
    {DigestAlgorithm::Md5, "MD5", "XMD5", 32},
    {DigestAlgorithm::Crc32, "CRC32", "XCRC", 8},
};

const Algorithm &infoOf(DigestAlgorithm a)
{
    for (const Algorithm &info : kAlgorithms)
        if (info.algorithm == a)
            return info;
    return kAlgorithms[0];
}

const EVP_MD *evpAlgorithm(DigestAlgorithm a)
{
    switch (a) {
    case DigestAlgorithm::Sha1:
        return EVP_sha1();
    case DigestAlgorithm::Md5:
        return EVP_md5();
    default:
        return EVP_sha256();
    }
}

bool isHex(const QString &s)
{
    static const QRegularExpression hex(QStringLiteral("^[0-9A-Fa-f]+$"));
    return hex.match(s).hasMatch();
}

}  // namespace

ServerFeatures parseFeatures(const QStringList &lines)
{
    ServerFeatures f;
    static const QRegularExpression status(QStringLiteral("^\\d{3}([ -]|$)"));
    for (const QString &raw : lines) {
        const QString line = raw.trimmed();
        // The first and the last line carry the code; features lie between.
        if (status.match(line).hasMatch()) {
            if (line.startsWith(QLatin1String("211")))
                f.answered = true;
            continue;
        }
        const QString name = line.section(QLatin1Char(' '), 0, 0).toUpper();
        if (name.isEmpty())
            continue;
        f.names.insert(name);
        if (name == QLatin1String("HASH")) {
            for (QString algo : line.section(QLatin1Char(' '), 1).split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
                algo = algo.trimmed().toUpper();
                if (algo.endsWith(QLatin1Char('*'))) {
                    algo.chop(1);
                    f.hashSelected = algo;
                }
                if (!algo.isEmpty())
                    f.hashAlgorithms.append(algo);
            }
        }
    }
    return f;
}

QString ChecksumPlan::label() const
{
    return QStringLiteral("%1 (%2)").arg(QString::fromLatin1(infoOf(algorithm).hashName),
                                         viaHash ? QStringLiteral("HASH") : xCommand);
}

std::optional<ChecksumPlan> chooseChecksum(const ServerFeatures &features)
{
    for (const Algorithm &a : kAlgorithms) {
        if (features.has(QStringLiteral("HASH")) && features.hashAlgorithms.contains(QLatin1String(a.hashName))) {
            ChecksumPlan p;
            p.algorithm = a.algorithm;
            p.viaHash = true;
            p.hashName = QString::fromLatin1(a.hashName);
            p.needsOpts = features.hashSelected != p.hashName;
            return p;
        }
    }
    for (const Algorithm &a : kAlgorithms) {
        if (features.has(QString::fromLatin1(a.xCommand))) {
            ChecksumPlan p;
            p.algorithm = a.algorithm;
            p.viaHash = false;
            p.hashName = QString::fromLatin1(a.hashName);
            p.xCommand = QString::fromLatin1(a.xCommand);
            return p;
        }
    }
    return std::nullopt;
}

QString selectHashCommand(const ChecksumPlan &plan)
{
    return QStringLiteral("OPTS HASH ") + plan.hashName;
}

QStringList checksumCommands(const ChecksumPlan &plan, const QString &path, std::optional<qint64> prefixLength)
{
    // HASH covers the whole file, which before a resume is the part sent
    // so far. (RANG is not used: servers keep it pending after HASH, and
    // the APPE that follows is then refused.)
    if (plan.viaHash)
        return {QStringLiteral("HASH ") + path};
    // The X commands take the end as the offset after the last byte.
    if (prefixLength)
        return {QStringLiteral("%1 %2 0 %3").arg(plan.xCommand, path).arg(*prefixLength)};
    return {plan.xCommand + QLatin1Char(' ') + path};
}

QByteArray digestFromReply(const ChecksumPlan &plan, int code, const QString &text)
{
    const QStringList words = text.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    QString hex;
    if (plan.viaHash) {
        // "213 SHA-256 0-99 <hex> <name>"
        if (code != 213 || words.size() < 4 || words.at(1).toUpper() != plan.hashName)
            return {};
        hex = words.at(3);
    } else {
        // "250 <hex>" (some servers answer 213)
        if ((code != 250 && code != 213) || words.size() < 2)
            return {};
        hex = words.at(1);
    }
    const int digits = infoOf(plan.algorithm).hexDigits;
    if (!isHex(hex) || hex.size() > digits || (plan.algorithm != DigestAlgorithm::Crc32 && hex.size() != digits))
        return {};
    // A CRC may come without its leading zeros.
    return hex.rightJustified(digits, QLatin1Char('0')).toLower().toLatin1();
}

LocalDigest::LocalDigest(DigestAlgorithm algorithm) : algorithm_(algorithm)
{
    if (algorithm_ != DigestAlgorithm::Crc32)
        context_ = EVP_MD_CTX_new();
    reset();
}

LocalDigest::~LocalDigest()
{
    EVP_MD_CTX_free(static_cast<EVP_MD_CTX *>(context_));
}

void LocalDigest::reset()
{
    if (context_)
        EVP_DigestInit_ex(static_cast<EVP_MD_CTX *>(context_), evpAlgorithm(algorithm_), nullptr);
    crc_ = crc32(0L, Z_NULL, 0);
}

void LocalDigest::add(const char *data, qint64 size)
{
    if (context_) {
        EVP_DigestUpdate(static_cast<EVP_MD_CTX *>(context_), data, size_t(size));
        return;
    }
    // zlib takes at most a uInt at a time.
    while (size > 0) {
        const uInt n = uInt(qMin<qint64>(size, 1 << 30));
        crc_ = crc32(crc_, reinterpret_cast<const Bytef *>(data), n);
        data += n;
        size -= n;
    }
}

QByteArray LocalDigest::hex() const
{
    if (!context_)
        return QByteArray::number(quint64(crc_), 16).rightJustified(8, '0');
    // Of a copy: more bytes may follow.
    EVP_MD_CTX *copy = EVP_MD_CTX_new();
    unsigned char out[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    const bool ok = copy && EVP_MD_CTX_copy_ex(copy, static_cast<const EVP_MD_CTX *>(context_))
                    && EVP_DigestFinal_ex(copy, out, &length);
    EVP_MD_CTX_free(copy);
    return ok ? QByteArray(reinterpret_cast<const char *>(out), int(length)).toHex() : QByteArray();
}

}  // namespace tobra
