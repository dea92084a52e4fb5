#pragma once

// Proof by checksum: which digest a server can compute over a file it
// holds (from its FEAT reply), the commands that ask for it, and the same
// digest computed here over the bytes sent.

#include <QByteArray>
#include <QSet>
#include <QString>
#include <QStringList>

#include <optional>

namespace tobra {

// What a server said in reply to FEAT.
struct ServerFeatures {
    bool answered = false;
    QSet<QString> names;           // feature names, upper-case
    QStringList hashAlgorithms;    // offered by HASH, upper-case ("SHA-256")
    QString hashSelected;          // the one marked with "*"
    bool has(const QString &name) const { return names.contains(name); }
};

// lines: the reply lines of FEAT, first and last included, blanks around
// them or not.
ServerFeatures parseFeatures(const QStringList &lines);

enum class DigestAlgorithm { Sha256, Sha1, Md5, Crc32 };

struct ChecksumPlan {
    DigestAlgorithm algorithm = DigestAlgorithm::Sha256;
    bool viaHash = true;      // HASH; else the X command
    QString hashName;         // "SHA-256", for OPTS HASH and the reply
    QString xCommand;         // "XSHA256"
    bool needsOpts = false;   // the server's current HASH algorithm is another
    // "SHA-256 (HASH)", for the log.
    QString label() const;
};

// SHA-256, else SHA-1, else MD5, else CRC32; HASH before the X commands.
// None when the server offers no checksum.
std::optional<ChecksumPlan> chooseChecksum(const ServerFeatures &features);

// The commands that ask for the digest of path, or of its first prefixLength
// bytes when given (HASH always covers the whole file: ask it of a file
// that holds just those bytes). The last command's reply carries it.
QStringList checksumCommands(const ChecksumPlan &plan, const QString &path, std::optional<qint64> prefixLength = {});
// The command that selects the plan's HASH algorithm for the session.
QString selectHashCommand(const ChecksumPlan &plan);

// The digest (lower-case hex) in the reply to the last checksum command;
// empty when the reply carries none.
QByteArray digestFromReply(const ChecksumPlan &plan, int code, const QString &text);

// The digest of bytes as they pass, computed by a library: OpenSSL, whose
// SHA-256 ran at 1.5 GB/s here against Qt's 130 MB/s (which made a 1 GiB
// upload five times as long), and zlib for CRC32.
class LocalDigest {
public:
    explicit LocalDigest(DigestAlgorithm algorithm);
    ~LocalDigest();
    LocalDigest(const LocalDigest &) = delete;
    LocalDigest &operator=(const LocalDigest &) = delete;
    void reset();
    void add(const char *data, qint64 size);
    // Lower-case hex, as digestFromReply gives it.
    QByteArray hex() const;

private:
    DigestAlgorithm algorithm_;
    void *context_ = nullptr;   // EVP_MD_CTX
    unsigned long crc_ = 0;
};

}  // namespace tobra
