#include "ftp/ftpclient.h"

#include "ftp/ftplisting.h"
#include "support/modcommon.h"

#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <QThread>
#include <QUrl>

#include <curl/curl.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <optional>
#include <thread>

namespace tobra {

namespace {

// Measured on loopback with a 1 GiB file: 64 KiB matched curl's own tool,
// 512 KiB took about 60% more system time and 10-15% longer, as a block
// that no longer fits the CPU cache is copied twice per send.
constexpr long kUploadBufferBytes = 64 * 1024;
constexpr auto kProgressInterval = std::chrono::milliseconds(100);
// libcurl 7.88 sometimes leaves nothing to wait on right after a passive
// mode reply and then sleeps for its full default poll time (1 s); a short
// cap on each wait removes that stall.
constexpr int kPollCapMs = 10;
const QString kPasswordMask = QStringLiteral("*****");

void initCurlOnce()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

bool hasControlChars(const QString &s)
{
    for (QChar c : s)
        if (c.category() == QChar::Other_Control)
            return true;
    return false;
}

QStringList splitRemote(const QString &path)
{
    QString p = path;
    p.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return p.split(QLatin1Char('/'), Qt::SkipEmptyParts);
}

// Folder segments of path taken from base unless path is absolute.
QStringList resolveRemote(const QString &base, const QString &path)
{
    const bool absolute = path.startsWith(QLatin1Char('/')) || path.startsWith(QLatin1Char('\\'));
    QStringList segs = absolute ? QStringList() : splitRemote(base);
    for (const QString &s : splitRemote(path)) {
        if (s == QLatin1String("."))
            continue;
        if (s == QLatin1String("..")) {
            if (!segs.isEmpty())
                segs.removeLast();
            continue;
        }
        segs.append(s);
    }
    return segs;
}

QString joinRemote(const QStringList &segs)
{
    return QLatin1Char('/') + segs.join(QLatin1Char('/'));
}

void checkRemoteSegments(const QStringList &segs)
{
    for (const QString &s : segs)
        if (hasControlChars(s))
            throw FtpError(kErrBadName, QStringLiteral("The remote name \"%1\" contains control characters.")
                                            .arg(QString(s).removeIf([](QChar c) {
                                                return c.category() == QChar::Other_Control;
                                            })));
}

// Path of a URL whose first folder is the server's root, whatever folder a
// reused connection is in ("%2F" makes libcurl send "CWD /" first).
QByteArray absoluteUrlPath(const QStringList &segs)
{
    QByteArray path = "%2F";
    for (qsizetype i = 0; i < segs.size(); ++i) {
        if (i > 0)
            path += '/';
        path += QUrl::toPercentEncoding(segs.at(i));
    }
    return path;
}

bool isConnectFailure(CURLcode rc)
{
    switch (rc) {
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
    case CURLE_COULDNT_CONNECT:
    case CURLE_LOGIN_DENIED:
        return true;
    default:
        return false;
    }
}

// Failures where the server answered or we stopped on purpose: even when
// libcurl chose to close the connection, the session itself is fine and
// the next operation simply logs in again.
bool isRefusalOrOwnAbort(CURLcode rc)
{
    switch (rc) {
    case CURLE_QUOTE_ERROR:
    case CURLE_REMOTE_ACCESS_DENIED:
    case CURLE_REMOTE_FILE_NOT_FOUND:
    case CURLE_FTP_COULDNT_RETR_FILE:
    case CURLE_UPLOAD_FAILED:
    case CURLE_ABORTED_BY_CALLBACK:
    case CURLE_WRITE_ERROR:
    case CURLE_READ_ERROR:
    case CURLE_URL_MALFORMAT:
    case CURLE_BAD_FUNCTION_ARGUMENT:
    case CURLE_OUT_OF_MEMORY:
        return true;
    default:
        return false;
    }
}

// Discards user input while an operation waits for its worker, so a click
// cannot start a second operation. Input that reaches an event handler's
// own nested loop (a message box shown from a handler) is let through:
// the box must stay usable, and being modal it blocks the other windows.
class InputBlocker : public QObject {
public:
    explicit InputBlocker(const int &handlerDepth) : handlerDepth_(handlerDepth) {}

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (handlerDepth_ > 0)
            return false;
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::Wheel:
        case QEvent::ShortcutOverride:
        case QEvent::Shortcut:
        case QEvent::ContextMenu:
        case QEvent::TouchBegin:
        case QEvent::TouchUpdate:
        case QEvent::TouchEnd:
            return true;
        case QEvent::Close:
            if (watched->isWidgetType()) {
                // A close event starts out accepted; ignoring it keeps the window.
                event->ignore();
                return true;
            }
            return false;
        default:
            return false;
        }
    }

private:
    const int &handlerDepth_;
};

}  // namespace

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
    int port = 21;

    bool connected = false;
    bool mlsdRefused = false;
    QString currentDir = QStringLiteral("/");
    QString localDir;
    FtpTimeouts timeouts;

    bool busy = false;
    int handlerDepth = 0;   // > 0 while one of our signals is being emitted
    std::atomic<int> logins{0};

    // Filled by the debug callback on the worker; read after it has ended.
    QByteArray replyPending;
    QString lastReply;
    int loginsThisOp = 0;
    // Size the server gave in a "213" reply during the last request, or -1.
    qint64 sizeReply = -1;

    struct Result {
        CURLcode code = CURLE_OK;
        long response = 0;
        bool alive = true;
        bool connectTimeout = false;
        QString detail;
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

    QString mask(QString text) const
    {
        if (!password.isEmpty())
            text.replace(password, kPasswordMask);
        return text;
    }

    QByteArray baseUrl() const { return "ftp://" + urlHost + ':' + QByteArray::number(port) + '/'; }
    QByteArray folderUrl(const QStringList &segs) const { return baseUrl() + absoluteUrlPath(segs) + '/'; }
    QByteArray fileUrl(const QStringList &segs, const QString &name) const
    {
        QByteArray url = baseUrl() + absoluteUrlPath(segs);
        if (!segs.isEmpty())
            url += '/';
        return url + QUrl::toPercentEncoding(name);
    }

    void createHandle()
    {
        initCurlOnce();
        curl = curl_easy_init();
        multi = curl_multi_init();
        if (!curl || !multi)
            throw FtpError(kErrCannotConnect, QStringLiteral("The FTP engine could not be started."));
    }

    // Closing the handles sends QUIT on a live connection; done on the
    // worker so the window keeps painting.
    void closeHandle()
    {
        if (!curl && !multi)
            return;
        CURL *oldEasy = curl;
        CURLM *oldMulti = multi;
        curl = nullptr;
        multi = nullptr;
        runOnWorker([oldEasy, oldMulti] {
            closeHandles(oldEasy, oldMulti);
            return CURLE_OK;
        });
    }

    static void closeHandles(CURL *easy, CURLM *m)
    {
        if (m)
            curl_multi_cleanup(m);
        if (easy)
            curl_easy_cleanup(easy);
    }

    struct Transfer {
        CURLcode code = CURLE_OK;
        bool alive = false;
    };

    // curl_easy_perform, driven by hand so every wait is short.
    static Transfer transfer(CURLM *m, CURL *easy)
    {
        Transfer t;
        if (curl_multi_add_handle(m, easy) != CURLM_OK) {
            t.code = CURLE_FAILED_INIT;
            return t;
        }
        t.code = CURLE_RECV_ERROR;
        int running = 1;
        while (running) {
            if (curl_multi_perform(m, &running) != CURLM_OK)
                break;
            if (!running)
                break;
            long wait = -1;
            curl_multi_timeout(m, &wait);
            if (wait < 0 || wait > kPollCapMs)
                wait = kPollCapMs;
            if (curl_multi_poll(m, nullptr, 0, int(wait), nullptr) != CURLM_OK)
                break;
        }
        int left = 0;
        while (CURLMsg *msg = curl_multi_info_read(m, &left))
            if (msg->msg == CURLMSG_DONE && msg->easy_handle == easy)
                t.code = msg->data.result;
        // Only answers while the handle is still in the multi handle.
        curl_socket_t sock = CURL_SOCKET_BAD;
        if (curl_easy_getinfo(easy, CURLINFO_ACTIVESOCKET, &sock) == CURLE_OK)
            t.alive = sock != CURL_SOCKET_BAD;
        curl_multi_remove_handle(m, easy);
        return t;
    }

    // Resets per-operation options and sets the ones every request needs.
    void prepare(const QByteArray &url)
    {
        if (!curl)
            createHandle();
        curl_easy_reset(curl);
        errorText[0] = '\0';
        curl_easy_setopt(curl, CURLOPT_URL, url.constData());
        curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, errorText);
        const QByteArray u = user.toUtf8(), p = password.toUtf8();
        curl_easy_setopt(curl, CURLOPT_USERNAME, u.constData());
        curl_easy_setopt(curl, CURLOPT_PASSWORD, p.constData());
        curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(curl, CURLOPT_TCP_KEEPALIVE, 1L);
        curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, long(timeouts.connectSeconds));
        curl_easy_setopt(curl, CURLOPT_SERVER_RESPONSE_TIMEOUT, long(timeouts.stallSeconds));
        curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
        curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, long(timeouts.stallSeconds));
        // Reply lines reach the debug callback only in verbose mode.
        curl_easy_setopt(curl, CURLOPT_VERBOSE, 1L);
        curl_easy_setopt(curl, CURLOPT_DEBUGFUNCTION, &Impl::onDebug);
        curl_easy_setopt(curl, CURLOPT_DEBUGDATA, this);
        // libcurl hands FTP facts (size, date) to the header and write
        // callbacks as text; without these they would go to stdout.
        curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, &Impl::discard);
        curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &Impl::discard);
    }

    static size_t discard(char *, size_t size, size_t count, void *) { return size * count; }

    static int onDebug(CURL *, curl_infotype type, char *data, size_t size, void *userp)
    {
        // Only the server's replies: our own commands would show PASS.
        if (type == CURLINFO_HEADER_IN)
            static_cast<Impl *>(userp)->onReplyBytes(QByteArray(data, qsizetype(size)));
        return 0;
    }

    void onReplyBytes(const QByteArray &bytes)
    {
        replyPending += bytes;
        qsizetype nl;
        while ((nl = replyPending.indexOf('\n')) >= 0) {
            const QByteArray raw = replyPending.left(nl).trimmed();
            replyPending.remove(0, nl + 1);
            if (!raw.isEmpty())
                onReplyLine(raw);
        }
    }

    void onReplyLine(const QByteArray &raw)
    {
        if (raw == "230" || raw.startsWith("230 ")) {
            ++loginsThisOp;
            ++logins;
        }
        if (raw.startsWith("213 ")) {
            bool ok = false;
            const qint64 size = raw.mid(4).trimmed().toLongLong(&ok);
            sizeReply = ok ? size : -1;
        }
        QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        QString text = utf8(raw);
        if (utf8.hasError())
            text = QString::fromLatin1(raw);
        text.removeIf([](QChar c) { return c.category() == QChar::Other_Control; });
        text = mask(text);
        lastReply = text;
        QMetaObject::invokeMethod(
            q,
            [this, text] {
                HandlerScope scope(this);
                emit q->StatusMessage(text);
            },
            Qt::QueuedConnection);
    }

    bool canWaitInLoop() const
    {
        const QCoreApplication *app = QCoreApplication::instance();
        return app && QThread::currentThread() == app->thread() && q->thread() == QThread::currentThread();
    }

    // Runs fn on a worker thread while this thread keeps processing events;
    // user input is discarded meanwhile.
    template <typename Fn>
    CURLcode runOnWorker(Fn fn)
    {
        CURLcode rc = CURLE_OK;
        if (!canWaitInLoop()) {
            std::thread worker([&] { rc = fn(); });
            worker.join();
            return rc;
        }
        InputBlocker blocker(handlerDepth);
        QCoreApplication::instance()->installEventFilter(&blocker);
        QEventLoop loop;
        bool finished = false;
        std::thread worker([&] {
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
        // exec() also returns when the application asks every loop to quit;
        // the worker still has to be waited for.
        while (!finished)
            loop.exec();
        worker.join();
        QCoreApplication::instance()->removeEventFilter(&blocker);
        return rc;
    }

    Result perform()
    {
        replyPending.clear();
        lastReply.clear();
        loginsThisOp = 0;
        sizeReply = -1;
        CURL *easy = curl;
        CURLM *m = multi;
        Result r;
        bool alive = false;
        r.code = runOnWorker([easy, m, &alive] {
            const Transfer t = transfer(m, easy);
            alive = t.alive;
            return t.code;
        });
        r.alive = alive;
        if (!replyPending.trimmed().isEmpty())
            onReplyLine(replyPending.trimmed());
        replyPending.clear();
        curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &r.response);
        if (r.code != CURLE_OK) {
            r.connectTimeout = r.code == CURLE_OPERATION_TIMEDOUT && std::strstr(errorText, "onnect");
            if (r.code == CURLE_OPERATION_TIMEDOUT && !r.connectTimeout) {
                r.detail = QStringLiteral("the server did not respond or the transfer made no progress for %1 s")
                               .arg(timeouts.stallSeconds);
            } else {
                r.detail = mask(QString::fromUtf8(errorText[0] ? errorText : curl_easy_strerror(r.code)));
            }
            if (!lastReply.isEmpty() && r.response >= 400)
                r.detail += QStringLiteral(" (server: %1)").arg(lastReply);
        }
        return r;
    }

    // Turns a failed request into the error to raise; sets *lost when the
    // connection went away underneath it.
    FtpError failure(const Result &r, int number, const QString &what, bool *lost) const
    {
        *lost = !r.alive && !isRefusalOrOwnAbort(r.code);
        if (isConnectFailure(r.code) || r.connectTimeout)
            return FtpError(kErrCannotConnect, QStringLiteral("Cannot connect to %1: %2").arg(hostText, r.detail));
        if (*lost)
            return FtpError(kErrTransfer,
                            QStringLiteral("Connection to %1 was lost (%2): %3").arg(hostText, what, r.detail));
        return FtpError(number, QStringLiteral("%1: %2").arg(what, r.detail));
    }

    struct Endpoint {
        QByteArray urlHost;
        int port = 21;
    };

    // Parses "host", "host:port", "[v6]", "[v6]:port" and a bare v6 address.
    static Endpoint parseHost(const QString &text, int portArgument)
    {
        const QString h = text.trimmed();
        QString name;
        int p = portArgument;
        auto bad = [&] {
            return FtpError(kErrCannotConnect, QStringLiteral("\"%1\" is not a valid FTP host.").arg(h));
        };
        if (h.startsWith(QLatin1Char('['))) {
            const qsizetype close = h.indexOf(QLatin1Char(']'));
            if (close < 0)
                throw bad();
            name = h.mid(1, close - 1);
            const QString rest = h.mid(close + 1);
            if (!rest.isEmpty()) {
                bool ok = false;
                if (rest.startsWith(QLatin1Char(':')))
                    p = rest.mid(1).toInt(&ok);
                if (!ok)
                    throw bad();
            }
        } else if (h.count(QLatin1Char(':')) == 1) {
            name = h.section(QLatin1Char(':'), 0, 0);
            bool ok = false;
            p = h.section(QLatin1Char(':'), 1).toInt(&ok);
            if (!ok)
                throw bad();
        } else {
            name = h;
        }
        if (name.isEmpty() || p < 1 || p > 65535)
            throw bad();
        const bool v6 = name.contains(QLatin1Char(':'));
        for (QChar c : name) {
            const bool ok = v6 ? (c.isLetterOrNumber() || c == QLatin1Char(':') || c == QLatin1Char('.')
                                  || c == QLatin1Char('%'))
                               : (c.isLetterOrNumber() || c == QLatin1Char('-') || c == QLatin1Char('.')
                                  || c == QLatin1Char('_'));
            if (!ok)
                throw bad();
        }
        Endpoint e;
        e.port = p;
        if (v6) {
            QString zoned = name;
            zoned.replace(QLatin1Char('%'), QStringLiteral("%25"));
            e.urlHost = '[' + zoned.toUtf8() + ']';
        } else {
            e.urlHost = name.toUtf8();
        }
        return e;
    }
};

namespace {

// Shared between an upload's worker callbacks and the calling thread.
struct Upload {
    FtpClient *q = nullptr;
    QFile file;
    qint64 total = 0;
    qint64 sent = 0;
    bool readFailed = false;
    QString localPath;
    QString remoteName;
    bool handshake = true;   // wait for each progress handler to return

    std::atomic<bool> cancel{false};
    // libcurl's low-speed check averages over several seconds; this one
    // fails after exactly stallTime without a byte going out.
    std::chrono::steady_clock::duration stallTime = std::chrono::seconds(60);
    std::chrono::steady_clock::time_point lastChange;   // set when the transfer starts
    qint64 lastSeen = 0;
    bool stalled = false;
    qint64 lastReported = -1;
    std::chrono::steady_clock::time_point lastEmit{};
    std::mutex mutex;
    std::condition_variable answered;
    bool replied = false;

    int *handlerDepth = nullptr;

    static size_t onRead(char *buffer, size_t size, size_t count, void *userp)
    {
        auto *u = static_cast<Upload *>(userp);
        // Never more than announced: a file that grows meanwhile must not
        // make the upload longer than its stated size.
        const qint64 want = qMin<qint64>(qint64(size * count), u->total - u->sent);
        if (want <= 0)
            return 0;
        const qint64 n = u->file.read(buffer, want);
        if (n < 0) {
            u->readFailed = true;
            return CURL_READFUNC_ABORT;
        }
        u->sent += n;
        return size_t(n);
    }

    static int onProgress(void *userp, curl_off_t, curl_off_t, curl_off_t, curl_off_t ulnow)
    {
        return static_cast<Upload *>(userp)->progress(qint64(ulnow)) ? 1 : 0;
    }

    // Reports progress at most every kProgressInterval plus once at the end.
    // The worker waits for the handler, as the handler may ask to cancel.
    bool progress(qint64 done)
    {
        if (cancel)
            return true;
        const auto now = std::chrono::steady_clock::now();
        if (done != lastSeen) {
            lastSeen = done;
            lastChange = now;
        } else if (now - lastChange >= stallTime) {
            stalled = true;
            return true;
        }
        if (done <= 0 || done == lastReported)
            return false;
        if (done < total && now - lastEmit < kProgressInterval)
            return false;
        // Without an event loop to answer, the caller reports once at the end.
        if (!handshake)
            return false;
        lastReported = done;
        lastEmit = now;
        {
            std::lock_guard<std::mutex> lock(mutex);
            replied = false;
        }
        QMetaObject::invokeMethod(
            q,
            [this, done] {
                emitProgress(done);
                {
                    std::lock_guard<std::mutex> lock(mutex);
                    replied = true;
                }
                answered.notify_one();
            },
            Qt::QueuedConnection);
        std::unique_lock<std::mutex> lock(mutex);
        answered.wait(lock, [this] { return replied; });
        // Time spent in the handler (a message box, say) is not a stall.
        lastChange = std::chrono::steady_clock::now();
        return cancel;
    }

    void emitProgress(qint64 done)
    {
        bool stop = false;
        ++*handlerDepth;
        emit q->TransferProgress(localPath, remoteName, 0, done, total, &stop);
        --*handlerDepth;
        if (stop)
            cancel = true;
    }
};

struct Listing {
    QByteArray data;
    bool tooLarge = false;

    static size_t onWrite(char *ptr, size_t size, size_t count, void *userp)
    {
        auto *l = static_cast<Listing *>(userp);
        const size_t n = size * count;
        if (qsizetype(l->data.size() + n) > kMaxListingBytes) {
            l->tooLarge = true;
            return 0;
        }
        l->data.append(ptr, qsizetype(n));
        return n;
    }
};

}  // namespace

FtpClient::FtpClient(QObject *parent) : QObject(parent), d(std::make_unique<Impl>(this))
{
    initCurlOnce();
}

FtpClient::~FtpClient()
{
    // No more status lines from a half-destroyed object.
    if (d->curl)
        curl_easy_setopt(d->curl, CURLOPT_VERBOSE, 0L);
    Impl::closeHandles(d->curl, d->multi);
}

bool FtpClient::Connected() const { return d->connected; }

QString FtpClient::Host() const { return d->hostText; }

QString FtpClient::LocalDirectory() const { return d->localDir; }

void FtpClient::setLocalDirectory(const QString &dir) { d->localDir = dir; }

QString FtpClient::currentDirectory() const { return d->currentDir; }

void FtpClient::setTimeouts(const FtpTimeouts &t) { d->timeouts = t; }

FtpTimeouts FtpClient::timeouts() const { return d->timeouts; }

int FtpClient::loginCount() const { return d->logins; }

void FtpClient::Connect(const QString &host, const QString &user, const QString &password, int port)
{
    d->throwIfBusy();
    if (hasControlChars(user) || hasControlChars(password))
        throw FtpError(kErrBadName, QStringLiteral("The user name or password contains control characters."));
    const Impl::Endpoint endpoint = Impl::parseHost(host, port);
    if (d->connected)
        Disconnect();
    {
        Impl::Busy busy(*d);
        d->urlHost = endpoint.urlHost;
        d->port = endpoint.port;
        d->hostText = host.trimmed();
        d->user = user;
        d->password = password;
        d->portArg = port;
        d->haveSettings = true;
        d->mlsdRefused = false;
        d->currentDir = QStringLiteral("/");

        // A fresh handle, so nothing of an earlier session is reused.
        d->closeHandle();
        d->prepare(d->baseUrl());
        curl_easy_setopt(d->curl, CURLOPT_NOBODY, 1L);
        const Impl::Result r = d->perform();
        if (r.code != CURLE_OK)
            throw FtpError(kErrCannotConnect, QStringLiteral("Cannot connect to %1: %2").arg(d->hostText, r.detail));
        if (d->loginsThisOp == 0)
            ++d->logins;   // a server that let us in without a 230 reply
        const char *entry = nullptr;
        if (curl_easy_getinfo(d->curl, CURLINFO_FTP_ENTRY_PATH, &entry) == CURLE_OK && entry
            && entry[0] == '/')
            d->currentDir = joinRemote(splitRemote(QString::fromUtf8(entry)));
        d->connected = true;
    }
    emit ConnectionStateChanged(FtpStateConnected);
}

void FtpClient::Disconnect()
{
    {
        Impl::Busy busy(*d);
        d->closeHandle();
        d->connected = false;
        d->mlsdRefused = false;
        d->currentDir = QStringLiteral("/");
    }
    emit ConnectionStateChanged(FtpStateDisconnected);
}

void FtpClient::Reconnect()
{
    d->throwIfBusy();
    if (!d->haveSettings)
        throw FtpError(kErrNotConnected, QStringLiteral("There is no earlier connection to open again."));
    if (d->connected)
        Disconnect();
    const QString host = d->hostText, user = d->user, password = d->password;
    Connect(host, user, password, d->portArg);
}

void FtpClient::CD(const QString &path)
{
    bool lost = false;
    std::optional<FtpError> error;
    QString target;
    {
        Impl::Busy busy(*d);
        d->requireConnected();
        if (path.trimmed().isEmpty())
            throw FtpError(kErrRemoteFolder, QStringLiteral("No remote folder was given."));
        const QStringList segs = resolveRemote(d->currentDir, path);
        checkRemoteSegments(segs);
        target = joinRemote(segs);
        // Without a file, a body-less request is just the CWDs into the folder.
        d->prepare(d->folderUrl(segs));
        curl_easy_setopt(d->curl, CURLOPT_NOBODY, 1L);
        const Impl::Result r = d->perform();
        if (r.code != CURLE_OK)
            error = d->failure(r, kErrRemoteFolder, QStringLiteral("Cannot open remote folder %1").arg(target), &lost);
        else
            d->currentDir = target;
    }
    if (lost) {
        d->connected = false;
        emit ConnectionStateChanged(FtpStateLost);
    }
    if (error)
        throw *error;
    emit DirectoryChanged(target);
}

void FtpClient::MakeDirectory(const QString &name)
{
    bool lost = false;
    std::optional<FtpError> error;
    {
        Impl::Busy busy(*d);
        d->requireConnected();
        if (name.trimmed().isEmpty())
            throw FtpError(kErrBadName, QStringLiteral("No folder name was given."));
        const QStringList segs = resolveRemote(d->currentDir, name);
        checkRemoteSegments(segs);
        if (segs.isEmpty())
            throw FtpError(kErrRemoteFolder, QStringLiteral("The root folder cannot be made."));
        const QString target = joinRemote(segs);
        // Quote commands run before libcurl changes folder, in whatever
        // folder the connection is in: hence the absolute path.
        const QByteArray command = "MKD " + target.toUtf8();
        curl_slist *quote = curl_slist_append(nullptr, command.constData());
        d->prepare(d->baseUrl());
        curl_easy_setopt(d->curl, CURLOPT_NOBODY, 1L);
        curl_easy_setopt(d->curl, CURLOPT_QUOTE, quote);
        const Impl::Result r = d->perform();
        curl_easy_setopt(d->curl, CURLOPT_QUOTE, static_cast<curl_slist *>(nullptr));
        curl_slist_free_all(quote);
        if (r.code != CURLE_OK)
            error = d->failure(r, kErrRemoteFolder, QStringLiteral("Cannot make remote folder %1").arg(target), &lost);
    }
    if (lost) {
        d->connected = false;
        emit ConnectionStateChanged(FtpStateLost);
    }
    if (error)
        throw *error;
}

QList<FtpListEntry> FtpClient::List()
{
    bool lost = false;
    std::optional<FtpError> error;
    QList<FtpListEntry> entries;
    {
        Impl::Busy busy(*d);
        d->requireConnected();
        const QStringList segs = splitRemote(d->currentDir);
        Listing listing;
        auto fetch = [&](bool mlsd) {
            listing = Listing();
            d->prepare(d->folderUrl(segs));
            curl_easy_setopt(d->curl, CURLOPT_WRITEFUNCTION, &Listing::onWrite);
            curl_easy_setopt(d->curl, CURLOPT_WRITEDATA, &listing);
            if (mlsd)
                curl_easy_setopt(d->curl, CURLOPT_CUSTOMREQUEST, "MLSD");
            return d->perform();
        };
        bool mlsd = !d->mlsdRefused;
        Impl::Result r = fetch(mlsd);
        // 500-504: the server does not know MLSD. Ask the old way and keep
        // doing so on this connection.
        if (mlsd && r.code == CURLE_FTP_COULDNT_RETR_FILE && r.response >= 500 && r.response <= 504) {
            d->mlsdRefused = true;
            mlsd = false;
            r = fetch(false);
        }
        const QString what = QStringLiteral("Cannot list remote folder %1").arg(d->currentDir);
        if (listing.tooLarge) {
            error = FtpError(kErrListing, QStringLiteral("%1: the listing is larger than %2 MiB.")
                                              .arg(what)
                                              .arg(kMaxListingBytes / (1024 * 1024)));
        } else if (r.code != CURLE_OK) {
            const int number = r.code == CURLE_REMOTE_ACCESS_DENIED ? kErrRemoteFolder : kErrListing;
            error = d->failure(r, number, what, &lost);
        } else {
            try {
                entries = mlsd ? parseMlsd(listing.data) : parseList(listing.data);
            } catch (const FtpError &e) {
                error = e;
            }
        }
    }
    if (lost) {
        d->connected = false;
        emit ConnectionStateChanged(FtpStateLost);
    }
    if (error)
        throw *error;
    return entries;
}

void FtpClient::PutFile(const QString &localFile, const QString &remoteFolder)
{
    enum class Outcome { Complete, Cancelled, Failed };
    Outcome outcome = Outcome::Failed;
    bool lost = false;
    std::optional<FtpError> error;
    Upload up;
    {
        Impl::Busy busy(*d);
        d->requireConnected();

        QString local = toFileSystemPath(localFile.trimmed());
        if (!QDir::isAbsolutePath(local)) {
            QString dir = toFileSystemPath(d->localDir.trimmed());
            if (!dir.isEmpty() && !dir.endsWith(QLatin1Char('/')))
                dir += QLatin1Char('/');
            local = dir + local;
        }
        const QString remoteName = RemoteFileName(localFile);
        if (remoteName == QLatin1String(".") || remoteName == QLatin1String("..")
            || remoteName.contains(QLatin1Char('/')) || remoteName.contains(QLatin1Char('\\')))
            throw FtpError(kErrBadName, QStringLiteral("\"%1\" does not name a file.").arg(localFile));
        checkRemoteSegments({remoteName});

        const QStringList segs = remoteFolder.trimmed().isEmpty()
                                     ? splitRemote(d->currentDir)
                                     : resolveRemote(d->currentDir, remoteFolder.trimmed());
        checkRemoteSegments(segs);

        up.q = this;
        up.handlerDepth = &d->handlerDepth;
        up.handshake = d->canWaitInLoop();
        up.localPath = local;
        up.remoteName = remoteName;
        up.file.setFileName(local);
        if (!QFileInfo(local).isFile() || !up.file.open(QIODevice::ReadOnly))
            throw FtpError(kErrLocalFile, QStringLiteral("Cannot read local file %1%2")
                                              .arg(local, up.file.errorString().isEmpty()
                                                              ? QString()
                                                              : QStringLiteral(": ") + up.file.errorString()));
        up.total = up.file.size();
        up.stallTime = std::chrono::seconds(qMax(1, d->timeouts.stallSeconds));

        emit TransferStarting(local, remoteName, up.total, 1, 0);

        const QByteArray url = d->fileUrl(segs, remoteName);
        d->prepare(url);
        curl_easy_setopt(d->curl, CURLOPT_UPLOAD, 1L);
        curl_easy_setopt(d->curl, CURLOPT_READFUNCTION, &Upload::onRead);
        curl_easy_setopt(d->curl, CURLOPT_READDATA, &up);
        curl_easy_setopt(d->curl, CURLOPT_INFILESIZE_LARGE, curl_off_t(up.total));
        curl_easy_setopt(d->curl, CURLOPT_UPLOAD_BUFFERSIZE, kUploadBufferBytes);
        curl_easy_setopt(d->curl, CURLOPT_FTP_CREATE_MISSING_DIRS, long(CURLFTP_CREATE_DIR_RETRY));
        curl_easy_setopt(d->curl, CURLOPT_NOPROGRESS, 0L);
        curl_easy_setopt(d->curl, CURLOPT_XFERINFOFUNCTION, &Upload::onProgress);
        curl_easy_setopt(d->curl, CURLOPT_XFERINFODATA, &up);
        // Asking the size on the same request saves a round of commands per
        // file; "*" keeps a server without SIZE from failing the upload.
        const QByteArray sizeCommand = "*SIZE " + remoteName.toUtf8();
        curl_slist *postQuote = curl_slist_append(nullptr, sizeCommand.constData());
        curl_easy_setopt(d->curl, CURLOPT_POSTQUOTE, postQuote);
        up.lastChange = std::chrono::steady_clock::now();
        const Impl::Result r = d->perform();
        curl_easy_setopt(d->curl, CURLOPT_POSTQUOTE, nullptr);
        curl_slist_free_all(postQuote);
        const qint64 sizeAfterUpload = d->sizeReply;
        up.file.close();

        const QString what = QStringLiteral("Upload of %1 as %2").arg(local, joinRemote(segs + QStringList{remoteName}));
        curl_off_t uploaded = 0;
        curl_easy_getinfo(d->curl, CURLINFO_SIZE_UPLOAD_T, &uploaded);
        if (up.cancel) {
            outcome = Outcome::Cancelled;
            error = FtpError(kErrCancelled, QStringLiteral("%1 was cancelled.").arg(what));
        } else if (up.stalled) {
            // libcurl drops a connection it aborted mid-transfer.
            lost = true;
            error = FtpError(kErrTransfer, QStringLiteral("Connection to %1 was lost (%2): the transfer made no "
                                                          "progress for %3 s")
                                               .arg(d->hostText, what)
                                               .arg(d->timeouts.stallSeconds));
        } else if (up.readFailed) {
            error = FtpError(kErrLocalFile, QStringLiteral("%1 failed: the local file could not be read.").arg(what));
        } else if (r.code != CURLE_OK) {
            const int number = r.code == CURLE_REMOTE_ACCESS_DENIED ? kErrRemoteFolder : kErrTransfer;
            error = d->failure(r, number, what, &lost);
        } else if (qint64(uploaded) != up.total) {
            error = FtpError(kErrTransfer, QStringLiteral("%1 is incomplete: %2 of %3 bytes were sent.")
                                               .arg(what)
                                               .arg(qint64(uploaded))
                                               .arg(up.total));
        } else {
            if (up.lastReported != up.total) {
                // Short files may finish between two progress reports.
                up.emitProgress(up.total);
            }
            // Only the server's own count proves the file arrived whole.
            curl_off_t remoteSize = sizeAfterUpload;
            Impl::Result s;
            if (remoteSize < 0) {
                d->prepare(url);
                curl_easy_setopt(d->curl, CURLOPT_NOBODY, 1L);
                s = d->perform();
                curl_easy_getinfo(d->curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &remoteSize);
            }
            if (s.code != CURLE_OK)
                error = d->failure(s, kErrTransfer, QStringLiteral("%1 cannot be confirmed").arg(what), &lost);
            else if (qint64(remoteSize) != up.total)
                error = FtpError(kErrTransfer, QStringLiteral("%1 is incomplete: the server holds %2 of %3 bytes.")
                                                   .arg(what)
                                                   .arg(qint64(remoteSize))
                                                   .arg(up.total));
            else
                outcome = Outcome::Complete;
        }
    }
    if (lost) {
        d->connected = false;
        emit ConnectionStateChanged(FtpStateLost);
    }
    if (outcome == Outcome::Cancelled)
        emit TransferCancelled(up.remoteName, up.localPath, false);
    if (error)
        throw *error;
    emit TransferComplete(up.remoteName, up.localPath, false);
}

QString RemoteFileName(const QString &localPath)
{
    const FileNameParts parts = ParseFileName(localPath);
    return parts.name.toUpper() + QLatin1Char('.') + parts.ext.toUpper();
}

}  // namespace tobra
