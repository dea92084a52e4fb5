#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QtGlobal>

#include <atomic>
#include <functional>
#include <memory>
#include <stdexcept>

namespace tobra {

// Error numbers the component raises. Callers test kErrCannotConnect to tell
// "server unreachable or login refused" from everything else.
constexpr int kErrCannotConnect = -2147217376;  // 0x80041020
constexpr int kErrNotConnected = -2147217375;
constexpr int kErrTransfer = -2147217374;       // broke off, short file, refused by server
constexpr int kErrRemoteFolder = -2147217373;   // CD or MKD refused / folder missing
constexpr int kErrLocalFile = -2147217372;      // local file cannot be read
constexpr int kErrListing = -2147217371;
constexpr int kErrBadName = -2147217370;        // a name that cannot be sent safely
constexpr int kErrCancelled = -2147217369;
constexpr int kErrUntrustedServer = -2147217368;  // certificate neither verifies nor matches the pinned key

class FtpError : public std::runtime_error {
public:
    // reason: one sentence on why, shown as the second line of a message;
    // the description stands in when none is given.
    FtpError(int number, const QString &description, const QString &reason = QString())
        : std::runtime_error(description.toStdString()), number_(number), description_(description),
          reason_(reason.isEmpty() ? description : reason) {}
    int number() const { return number_; }
    QString description() const { return description_; }
    QString reason() const { return reason_; }

private:
    int number_;
    QString description_;
    QString reason_;
};

// One entry of a remote folder listing.
struct FtpListEntry {
    QString Name;
    int IsFile = -1;     // -1 file, 0 folder
    qint64 Size = 0;     // bytes
    QString DateTime;    // as the listing gives it, shown as text
};

// Connection state values of ConnectionStateChanged.
enum FtpState : int { FtpStateLost = -2, FtpStateDisconnected = 0, FtpStateConnected = 1 };

// TLS of the control and data connections.
enum class TlsMode {
    Auto,      // TLS when the server offers it, plain FTP when it does not,
               // unless TLS is known of it (ftp/tlstrust.h)
    Required,  // a server without TLS is refused
    Off,       // plain FTP
};

struct FtpTls {
    TlsMode mode = TlsMode::Auto;
    // "sha256//" + base64 SHA-256 of the server's public key: a certificate
    // carrying this key is trusted even when it does not verify. Makes TLS
    // required.
    QString pin;
    // A TLS value that was none of auto, required and off (read as required).
    QString unknownMode;
    // The servers logged in to over TLS before, and where a new one is
    // remembered; empty: none are.
    QString knownServersFile;
};

// Automatic retries of a lost upload: waits of firstWaitMs, doubling up to
// maxWaitMs, as long as the outage has lasted less than budgetMs. Every
// attempt counts, so the upload fails within the budget plus one stall.
struct RetryPolicy {
    int budgetMs = 0;
    int firstWaitMs = 1000;
    int maxWaitMs = 30000;
};

struct FtpTimeouts {
    int connectSeconds = 15;   // reaching the server and logging in: keep it at 10 s or more
    int stallSeconds = 60;     // silence: no reply and no transfer progress for this long fails
};

// The program's FTP component, a session over one libcurl easy handle so one
// login serves many operations. Every member runs to completion before it
// returns; while it runs the calling thread keeps processing events (the
// window repaints) but user input is swallowed so no second operation starts.
// Events are emitted on the thread that owns the object.
class FtpClient : public QObject {
    Q_OBJECT
public:
    explicit FtpClient(QObject *parent = nullptr);
    ~FtpClient() override;

    bool Connected() const;
    // host: "name", "name:port", "[v6]:port" (a port in the text wins over port).
    void Connect(const QString &host, const QString &user, const QString &password, int port = 21);
    void Disconnect();
    void Reconnect();
    QString Host() const;

    QString LocalDirectory() const;
    void setLocalDirectory(const QString &dir);

    // Current remote folder, always absolute with "/" separators.
    QString currentDirectory() const;
    // Absolute ("/uploads", "\uploads\T3"), relative ("T3") or "..".
    void CD(const QString &path);
    void MakeDirectory(const QString &name);
    QList<FtpListEntry> List();
    // Uploads localFile (relative names are taken from LocalDirectory) into
    // remoteFolder, or the current remote folder when empty. The remote name
    // is the upper-case "NAME.EXT" of the local file. A missing remote folder
    // is made. Returns only when the server holds the whole file; raises
    // FtpError otherwise.
    void PutFile(const QString &localFile, const QString &remoteFolder = QString());

    void setTimeouts(const FtpTimeouts &t);
    FtpTimeouts timeouts() const;
    // Takes effect at the next Connect.
    void setTls(const FtpTls &tls);
    FtpTls tls() const;
    // True while the session's control and data connections are encrypted.
    bool encrypted() const;
    // The key ("sha256//...") of the certificate the server showed in the
    // last connect; empty when it showed none.
    QString serverKeyPin() const;

    // How an upload whose connection dropped or stalled is retried without
    // asking anyone. A zero budget (the default): the connection-lost state
    // is raised at once, and a handler that reconnects makes the upload
    // resume.
    void setRetryPolicy(const RetryPolicy &policy);

    // Stops the running operation within a second; the operation raises
    // kErrCancelled. Safe from any thread and from a signal handler. Stays
    // in force (every later operation is cancelled at once) until
    // clearCancel().
    void requestCancel();
    void clearCancel();
    bool cancelRequested() const;

    // Installed on the application while an operation waits, to keep user
    // input from starting a second one; not owned. Without one, input
    // simply waits in the queue until the operation ends.
    void setWaitFilter(QObject *filter);
    // True while one of this component's signals is being handled (input
    // for a message box shown there must pass).
    bool inEventHandler() const;
    // True while PutFile runs.
    bool transferRunning() const;

    // Number of logins this object has performed (for tests and benchmarks).
    int loginCount() const;

signals:
    void ConnectionStateChanged(int state);
    void StatusMessage(const QString &text);
    void DirectoryChanged(const QString &path);
    void TransferStarting(const QString &localFile, const QString &remoteFile, qint64 totalBytes,
                          int direction, int reserved);
    // Set *cancel to true to stop the transfer.
    void TransferProgress(const QString &localFile, const QString &remoteFile, qint64 reserved,
                          qint64 bytesDone, qint64 totalBytes, bool *cancel);
    void TransferComplete(const QString &remoteFile, const QString &localFile, bool download);
    void TransferCancelled(const QString &remoteFile, const QString &localFile, bool download);

public:
    // The session driver (src/ftp only).
    struct Impl;

private:
    std::unique_ptr<Impl> d;
};

// The remote name a local file is stored under: upper-case name "." extension.
QString RemoteFileName(const QString &localPath);

}  // namespace tobra
