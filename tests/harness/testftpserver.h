#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

namespace tobra::test {

// A local FTP server (tests/harness/ftpserver.py) on a free port with a
// temporary root and the login ftpuser / vintor. Stopped by stop() or the
// destructor.
class TestFtpServer {
public:
    TestFtpServer() = default;
    ~TestFtpServer();
    TestFtpServer(const TestFtpServer &) = delete;
    TestFtpServer &operator=(const TestFtpServer &) = delete;

    // Extra arguments go last, so they can override --host and friends.
    // Waits up to 10 s for the server to listen.
    bool start(const QStringList &extraArgs = {});
    // True when the server ended by itself on SIGTERM with status 0 (or
    // was not running).
    bool stop();

    int port() const { return port_; }
    // "127.0.0.1:<port>", or "[addr]:<port>" for an IPv6 address.
    QString host() const;
    // Local folder the server serves as "/".
    QString root() const;
    // Successful logins so far, from the server's own log.
    int loginCount() const;
    // Those of them whose password came in clear text on a server that
    // offers TLS (all of them on a plain server).
    int clearTextLogins() const;
    // Bytes received by all uploads so far, from the server's own log.
    qint64 bytesReceived() const;
    // Uploads whose data connection has ended so far (each send of a file counts).
    int uploadsEnded() const;
    // Why start() failed, for test messages.
    QString lastError() const { return error_; }

    static QString user() { return QStringLiteral("ftpuser"); }
    static QString password() { return QStringLiteral("vintor"); }

private:
    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<QProcess> proc_;
    QString address_ = QStringLiteral("127.0.0.1");
    int port_ = 0;
    QString error_;
};

// A self-signed certificate made by the openssl tool, and the pin of its key
// ("sha256//" + base64), computed without the program's own TLS code.
struct TestCertificate {
    QString certFile;
    QString keyFile;
    QString pin;
    // Server arguments that offer TLS with it (and require it when asked).
    // --refuse-auth-after N then plays a man in the middle who strips TLS
    // from every control connection after the first N; --refuse-prot
    // refuses TLS on the data connection.
    QStringList serverArgs(bool required) const;
};
bool makeTestCertificate(const QString &dir, const QString &commonName, TestCertificate *out);

// The temporary upload files (*.tobra-part) in a folder, sorted.
QStringList partFiles(const QString &folder);

// Writes a file of size bytes of a pattern that is not periodic at 256 or
// any buffer size (so a lost, doubled or shifted block shows up in a
// comparison), making its folder; false on any error.
bool writePatternFile(const QString &path, qint64 size);
// True when both files exist and hold the same bytes. On a difference a
// warning (and *why) says where.
bool sameFileContents(const QString &a, const QString &b, QString *why = nullptr);

}  // namespace tobra::test
