#pragma once

// The session driver behind FtpClient: one libcurl easy handle kept alive
// between operations, run on a worker thread while the caller keeps
// processing events. Private to src/ftp.

#include "ftp/checksum.h"
#include "ftp/ftpclient.h"
#include "ftp/tlstrust.h"
#include "support/monotonic.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QEventLoop>
#include <QList>
#include <QString>
#include <QThread>

#include <curl/curl.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

namespace tobra {

void initCurlOnce();

struct FtpClient::Impl {
    explicit Impl(FtpClient *owner) : q(owner) {}

    FtpClient *q;
    // The multi handle owns the connection cache, so it lives as long as the
    // easy handle and the session's connection survive between operations.
    CURLM *multi = nullptr;
    CURL *curl = nullptr;
    char errorText[CURL_ERROR_SIZE] = {};

    // Session settings as given to Connect.
    QString hostText;
    QString user;
    QString password;
    int portArg = 21;
    bool haveSettings = false;
    // Parsed from hostText.
    QByteArray urlHost;   // "name" or "[v6]"
    QString hostName;     // without brackets and port, for messages
    int port = 21;

    bool connected = false;
    bool mlsdRefused = false;
    // The server cannot rename (RNFR or RNTO unknown to it); uploads go
    // straight to their final names on this session.
    bool renameUnsupported = false;
    QString currentDir = QStringLiteral("/");
    QString localDir;
    FtpTimeouts timeouts;
    FtpTls tls;
    bool encrypted = false;
    // TLS of every request of the session, set by the login (ftptls.cpp):
    // CURLUSESSL_ALL or CURLUSESSL_NONE. One value for all, so libcurl
    // reuses the connection, and a login it repeats on a new one is never
    // in clear text once the session spoke TLS.
    long useSsl = CURLUSESSL_NONE;
    TlsDemand tlsDemandNow = TlsDemand::NotRequired;
    // The server ("host:port") this object last logged in to over TLS.
    QString tlsSessionKey;
    // Written by the TLS handshake on the worker, read after it has ended.
    QString serverPin;
    RetryPolicy retryPolicy;
    // What FEAT said at the login, and the checksum chosen from it.
    ServerFeatures features;
    std::optional<ChecksumPlan> checksum;
    bool hashSelected = false;   // OPTS HASH has chosen the plan's algorithm
    QStringList featLines;       // filled while FEAT is answered

    bool busy = false;
    bool transferring = false;
    int handlerDepth = 0;   // > 0 while one of our signals is being emitted
    std::atomic<int> logins{0};
    QObject *waitFilter = nullptr;

    // Set by requestCancel (any thread, a signal handler too) and by a
    // quitting application; the worker's loop polls them.
    std::atomic<bool> cancelFlag{false};
    std::atomic<bool> abortFlag{false};
    // While cleaning up after a cancel, the cancel must not stop the cleanup.
    bool ignoreCancel = false;
    // Milliseconds on the steady clock of the last sign of life: a reply, a
    // command sent, data handed to the socket.
    std::atomic<qint64> lastActivityMs{0};
    // Silence allowed beyond stallSeconds while the server computes the
    // checksum of an upload (set by the upload for its duration); counted
    // once armed: at the end of the data, or for a request that asks for a
    // checksum only. Disarmed when the request ends.
    qint64 proofAllowanceMs = 0;
    std::atomic<bool> proofArmed{false};

    // Filled by the debug callback on the worker; read after it has ended.
    QByteArray replyPending;
    QString lastReply;
    QString lastCommand;
    QString refusal;        // "COMMAND: reply" of the last refused command
    QString refusedMkd;     // the same for a refused MKD, which explains a CWD after it
    struct Exchange {
        QString command;
        int reply = 0;
        QString text;   // the reply's last line
    };
    QList<Exchange> exchanges;   // each reply of this request with the command it answers
    // The final reply to the last command of this request that starts with
    // prefix; 0 when there was none.
    int replyTo(const QString &prefix) const { return exchangeOf(prefix).reply; }
    Exchange exchangeOf(const QString &prefix) const
    {
        for (qsizetype i = exchanges.size() - 1; i >= 0; --i)
            if (exchanges.at(i).command.startsWith(prefix))
                return exchanges.at(i);
        return {};
    }
    // True when some reply of this request lies in [first, last].
    bool sawReply(int first, int last) const
    {
        for (const Exchange &e : exchanges)
            if (e.reply >= first && e.reply <= last)
                return true;
        return false;
    }
    int loginsThisOp = 0;
    // Size the server gave in a "213" reply during the last request, or -1.
    qint64 sizeReply = -1;

    struct Result {
        CURLcode code = CURLE_OK;
        long response = 0;
        bool alive = true;
        bool stalled = false;     // nothing happened for stallSeconds
        bool cancelled = false;
        bool connectOp = false;
        QString reason;           // one sentence on why it failed
    };

    // Marks the session busy for the lifetime of an operation.
    class Busy {
    public:
        explicit Busy(Impl &d) : d_(d)
        {
            if (d_.busy)
                throw FtpError(kErrTransfer, QStringLiteral("The FTP component is busy with another operation."));
            d_.busy = true;
        }
        ~Busy() { d_.busy = false; }
        Busy(const Busy &) = delete;
        Busy &operator=(const Busy &) = delete;

    private:
        Impl &d_;
    };

    void throwIfBusy() { Busy probe(*this); }
    void throwIfCancelled(const QString &what) const;

    struct HandlerScope {
        explicit HandlerScope(Impl *d) : d_(d) { ++d_->handlerDepth; }
        ~HandlerScope() { --d_->handlerDepth; }
        Impl *d_;
    };

    void requireConnected() const
    {
        if (!connected)
            throw FtpError(kErrNotConnected, QStringLiteral("Not connected to an FTP server."));
    }

    QString mask(QString text) const;

    QByteArray baseUrl() const { return "ftp://" + urlHost + ':' + QByteArray::number(port) + '/'; }
    QByteArray folderUrl(const QStringList &segs) const;
    QByteArray fileUrl(const QStringList &segs, const QString &name) const;

    void createHandle();
    void closeHandle();
    static void closeHandles(CURL *easy, CURLM *m);

    static qint64 nowMs() { return monotonicMs(); }
    void touch() { lastActivityMs = nowMs(); }

    struct Transfer {
        CURLcode code = CURLE_OK;
        bool alive = false;
        bool stalled = false;
        bool cancelled = false;
    };
    // curl_easy_perform, driven by hand so every wait is short and a cancel
    // or a silent server is noticed.
    Transfer transfer(CURLM *m, CURL *easy);

    // Resets per-operation options and sets the ones every request needs.
    // connectOp: the request that reaches the server and logs in, bounded by
    // the connect time-out; later requests are bounded by silence only.
    // folderByFolder: change into the URL's folder one level at a time, as
    // making missing folders needs; otherwise with one CWD of the whole
    // path (none when the connection is there already).
    void prepare(const QByteArray &url, bool connectOp = false, bool folderByFolder = false);
    static size_t discard(char *, size_t size, size_t count, void *) { return size * count; }
    static int onDebug(CURL *, curl_infotype type, char *data, size_t size, void *userp);
    void onReplyBytes(const QByteArray &bytes);
    void onReplyLine(const QByteArray &raw);
    void onCommandLine(const QByteArray &raw);

    bool canWaitInLoop() const
    {
        const QCoreApplication *app = QCoreApplication::instance();
        return app && QThread::currentThread() == app->thread() && q->thread() == QThread::currentThread();
    }

    // One thread for the session's requests, started on first use: a new
    // thread per request cost about a millisecond, twice per backed-up file.
    class Worker {
    public:
        Worker() = default;
        ~Worker();
        Worker(const Worker &) = delete;
        Worker &operator=(const Worker &) = delete;
        // Hands job to the worker thread and returns at once.
        void start(std::function<void()> job);
        // Returns once the job given to start has run.
        void wait();

    private:
        void loop();
        std::thread thread_;
        std::mutex mutex_;
        std::condition_variable changed_;
        std::function<void()> job_;
        bool running_ = false;
        bool stop_ = false;
    };

    // Runs fn on the worker thread while this thread keeps processing events
    // (the wait filter keeps user input away meanwhile). Without an event
    // loop to keep going there is nothing to wait for: fn runs right here.
    template <typename Fn>
    CURLcode runOnWorker(Fn fn)
    {
        if (!canWaitInLoop())
            return fn();
        CURLcode rc = CURLE_OK;
        QObject *filter = waitFilter;
        if (filter)
            QCoreApplication::instance()->installEventFilter(filter);
        QEventLoop loop;
        bool finished = false;
        worker.start([&] {
            rc = fn();
            // Queued after every status line and progress report the
            // worker posted, so those are all delivered before we return.
            QMetaObject::invokeMethod(
                &loop,
                [&] {
                    finished = true;
                    loop.quit();
                },
                Qt::QueuedConnection);
        });
        loop.exec();
        if (!finished) {
            // The application is quitting: every further exec() would
            // return at once, so stop the operation instead of spinning.
            abortFlag = true;
        }
        worker.wait();
        if (filter)
            QCoreApplication::instance()->removeEventFilter(filter);
        return rc;
    }

    Result perform(bool connectOp = false);
    QString reasonOf(const Result &r) const;

    // Turns a failed request into the error to raise; sets *lost when the
    // connection went away underneath it.
    FtpError failure(const Result &r, int number, const QString &what, bool *lost) const;

    // SIZE of a remote file: its size, -1 when the server has no such file
    // (or no SIZE); r tells whether the request itself failed.
    qint64 remoteSize(const QByteArray &url, Result *r);
    // Sends commands on the session, each prefixed with "*" so libcurl keeps
    // the connection when one is refused; the reply codes tell how each did.
    // url: the folder to be in, the one of the request before and after it
    // saves changing folders there and back; by default the current remote
    // folder, where the connection usually is already.
    Result quote(const QStringList &commands, const QByteArray &url = {});

    struct Endpoint {
        QByteArray urlHost;
        QString name;
        int port = 21;
    };
    // TLS options of a request (ftptls.cpp).
    void prepareTls();
    // The request that reaches the server and logs in: over TLS (control
    // and data) whenever the server takes it; in plain text only where
    // nothing requires TLS and the server refused AUTH.
    Result connectRequest();
    // The reply to AUTH: 234 when one was taken, else the first refusal.
    int authReply() const;
    // The last login failed because the server refused the TLS it must
    // speak: trying again will not change that.
    bool tlsRefused = false;
    // Why a login that TLS is required of failed (CURLE_USE_SSL_FAILED).
    QString tlsRefusalReason() const;
    static CURLcode onSslContext(CURL *, void *sslContext, void *userp);

    // Parses "host", "host:port", "[v6]", "[v6]:port" and a bare v6 address.
    static Endpoint parseHost(const QString &text, int portArgument);

    // Waits ms while the caller keeps processing events; false when a
    // cancel cut the wait short.
    bool pause(int ms);

    // Last, so that it ends before anything a running request uses.
    Worker worker;
};

}  // namespace tobra
