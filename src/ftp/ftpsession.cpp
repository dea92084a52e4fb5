// The session driver: libcurl handles, the worker, replies and reasons.
#include "ftp/ftpsession_p.h"

#include "ftp/remotepath.h"
#include "support/runlog.h"

#include <QDeadlineTimer>
#include <QStringDecoder>
#include <QTimer>
#include <QUrl>

#include <cerrno>
#include <cstring>
#include <mutex>

namespace tobra {

namespace {

// libcurl 7.88 sometimes leaves nothing to wait on right after a passive
// mode reply (the data connection's connect is not among its sockets) and
// then sleeps for its full default poll time (1 s). So no wait is longer
// than kPollCapMs, which also lets a cancel be seen quickly, and the waits
// after a sign of life start at 1 ms and double: on loopback that stall hit
// one file in seven of a backup and cost it 10 ms.
constexpr int kPollCapMs = 10;
// Later requests are bounded by silence (stallSeconds), not by libcurl's
// connect time-out, which counts from the start of a request and would
// add up every slow reply before the data connection.
constexpr long kNoConnectLimitSeconds = 24 * 3600;
const QString kPasswordMask = QStringLiteral("*****");

int replyCode(const QByteArray &line)
{
    if (line.size() < 4 || line.at(3) != ' ')
        return 0;
    bool ok = false;
    const int code = line.left(3).toInt(&ok);
    return ok ? code : 0;
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

// The connection itself failed underneath the request, whatever libcurl
// still reports about its socket.
bool isTransportFailure(CURLcode rc)
{
    switch (rc) {
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
    case CURLE_GOT_NOTHING:
    case CURLE_PARTIAL_FILE:
    case CURLE_OPERATION_TIMEDOUT:
    case CURLE_FTP_ACCEPT_FAILED:
    case CURLE_FTP_ACCEPT_TIMEOUT:
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

}  // namespace

void initCurlOnce()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

FtpClient::Impl::Worker::~Worker()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    changed_.notify_all();
    if (thread_.joinable())
        thread_.join();
}

void FtpClient::Impl::Worker::start(std::function<void()> job)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        job_ = std::move(job);
        running_ = true;
        if (!thread_.joinable())
            thread_ = std::thread([this] { loop(); });
    }
    changed_.notify_all();
}

void FtpClient::Impl::Worker::wait()
{
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return !running_; });
}

void FtpClient::Impl::Worker::loop()
{
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return stop_ || job_; });
        if (!job_)
            return;   // stopped with nothing left to run
        std::function<void()> job = std::move(job_);
        job_ = nullptr;
        lock.unlock();
        job();
        lock.lock();
        running_ = false;
        changed_.notify_all();
    }
}

void FtpClient::Impl::throwIfCancelled(const QString &what) const
{
    if (cancelFlag && !ignoreCancel)
        throw FtpError(kErrCancelled, QStringLiteral("%1 was cancelled.").arg(what),
                       QStringLiteral("The operation was cancelled."));
}

QString FtpClient::Impl::mask(QString text) const
{
    if (!password.isEmpty())
        text.replace(password, kPasswordMask);
    return text;
}

QByteArray FtpClient::Impl::folderUrl(const QStringList &segs) const
{
    return baseUrl() + absoluteUrlPath(segs) + '/';
}

QByteArray FtpClient::Impl::fileUrl(const QStringList &segs, const QString &name) const
{
    QByteArray url = baseUrl() + absoluteUrlPath(segs);
    if (!segs.isEmpty())
        url += '/';
    return url + QUrl::toPercentEncoding(name);
}

void FtpClient::Impl::createHandle()
{
    initCurlOnce();
    curl = curl_easy_init();
    multi = curl_multi_init();
    if (!curl || !multi)
        throw FtpError(kErrCannotConnect, QStringLiteral("The FTP engine could not be started."));
}

// Closing the handles sends QUIT on a live connection; done on the worker
// so the window keeps painting.
void FtpClient::Impl::closeHandle()
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

void FtpClient::Impl::closeHandles(CURL *easy, CURLM *m)
{
    if (m)
        curl_multi_cleanup(m);
    if (easy)
        curl_easy_cleanup(easy);
}

FtpClient::Impl::Transfer FtpClient::Impl::transfer(CURLM *m, CURL *easy)
{
    Transfer t;
    if (curl_multi_add_handle(m, easy) != CURLM_OK) {
        t.code = CURLE_FAILED_INIT;
        return t;
    }
    const qint64 silenceMs = qint64(qMax(1, timeouts.stallSeconds)) * 1000;
    touch();
    t.code = CURLE_RECV_ERROR;
    int running = 1;
    int quietWaits = 0;   // waits in a row that saw no socket ready
    while (running) {
        if ((cancelFlag && !ignoreCancel) || abortFlag) {
            t.cancelled = true;
            break;
        }
        // A server computing a checksum says nothing until it is done.
        if (nowMs() - lastActivityMs > silenceMs + (proofArmed ? proofAllowanceMs : 0)) {
            t.stalled = true;
            break;
        }
        if (curl_multi_perform(m, &running) != CURLM_OK)
            break;
        if (!running)
            break;
        long wait = -1;
        curl_multi_timeout(m, &wait);
        const long cap = qMin<long>(kPollCapMs, 1L << qMin(quietWaits, 4));
        if (wait < 0 || wait > cap)
            wait = cap;
        int ready = 0;
        if (curl_multi_poll(m, nullptr, 0, int(wait), &ready) != CURLM_OK)
            break;
        quietWaits = ready > 0 ? 0 : quietWaits + 1;
    }
    if (t.cancelled || t.stalled) {
        // Taking the handle out mid-request ends it; libcurl drops the
        // connection, and the next request logs in again.
        t.code = CURLE_ABORTED_BY_CALLBACK;
        curl_multi_remove_handle(m, easy);
        return t;
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

void FtpClient::Impl::prepare(const QByteArray &url, bool connectOp, bool folderByFolder)
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
    // One round trip to reach a folder instead of "CWD /" and one a level.
    curl_easy_setopt(curl, CURLOPT_FTP_FILEMETHOD,
                     long(folderByFolder ? CURLFTPMETHOD_MULTICWD : CURLFTPMETHOD_SINGLECWD));
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT,
                     connectOp ? long(qMax(1, timeouts.connectSeconds)) : kNoConnectLimitSeconds);
    curl_easy_setopt(curl, CURLOPT_SERVER_RESPONSE_TIMEOUT,
                     long(qMax(1, timeouts.stallSeconds) + proofAllowanceMs / 1000));
    // Reply lines reach the debug callback only in verbose mode.
    curl_easy_setopt(curl, CURLOPT_VERBOSE, 1L);
    curl_easy_setopt(curl, CURLOPT_DEBUGFUNCTION, &Impl::onDebug);
    curl_easy_setopt(curl, CURLOPT_DEBUGDATA, this);
    // libcurl hands FTP facts (size, date) to the header and write
    // callbacks as text; without these they would go to stdout.
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, &Impl::discard);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &Impl::discard);
    prepareTls();
}

int FtpClient::Impl::onDebug(CURL *, curl_infotype type, char *data, size_t size, void *userp)
{
    auto *d = static_cast<Impl *>(userp);
    switch (type) {
    case CURLINFO_HEADER_IN:
        d->touch();
        d->onReplyBytes(QByteArray(data, qsizetype(size)));
        break;
    case CURLINFO_HEADER_OUT:
        d->touch();
        d->onCommandLine(QByteArray(data, qsizetype(size)).trimmed());
        break;
    case CURLINFO_DATA_OUT:
    case CURLINFO_DATA_IN:
        d->touch();
        break;
    default:
        break;
    }
    return 0;
}

void FtpClient::Impl::onReplyBytes(const QByteArray &bytes)
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

void FtpClient::Impl::onCommandLine(const QByteArray &raw)
{
    // Never the password, in any line.
    QString text = raw.startsWith("PASS ") ? QStringLiteral("PASS ") + kPasswordMask : QString::fromUtf8(raw);
    text = mask(text);
    lastCommand = text;
    logLine(QStringLiteral("cmd"), text);
}

void FtpClient::Impl::onReplyLine(const QByteArray &raw)
{
    const int code = replyCode(raw);
    if (code == 230) {
        ++loginsThisOp;
        ++logins;
    }
    if (lastCommand == QLatin1String("FEAT"))
        featLines.append(QString::fromUtf8(raw));
    if (code == 213 && lastCommand.startsWith(QLatin1String("SIZE "))) {
        bool ok = false;
        const qint64 size = raw.mid(4).trimmed().toLongLong(&ok);
        sizeReply = ok ? size : -1;
    }
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8(raw);
    if (utf8.hasError())
        text = QString::fromLatin1(raw);
    text = mask(safeServerText(text));
    lastReply = text;
    if (code > 0) {
        if (!lastCommand.isEmpty())
            exchanges.append({lastCommand, code, text});
        if (code >= 400 && !lastCommand.isEmpty()) {
            refusal = lastCommand + QStringLiteral(": ") + text;
            if (lastCommand.startsWith(QLatin1String("MKD ")))
                refusedMkd = refusal;
        }
    }
    logLine(QStringLiteral("reply"), text);
    QMetaObject::invokeMethod(
        q,
        [this, text] {
            HandlerScope scope(this);
            emit q->StatusMessage(text);
        },
        Qt::QueuedConnection);
}

FtpClient::Impl::Result FtpClient::Impl::perform(bool connectOp)
{
    replyPending.clear();
    lastReply.clear();
    lastCommand.clear();
    refusal.clear();
    refusedMkd.clear();
    exchanges.clear();
    loginsThisOp = 0;
    sizeReply = -1;
    abortFlag = false;
    CURL *easy = curl;
    CURLM *m = multi;
    Result r;
    r.connectOp = connectOp;
    Transfer t;
    r.code = runOnWorker([this, easy, m, &t] {
        t = transfer(m, easy);
        return t.code;
    });
    proofArmed = false;
    r.alive = t.alive;
    r.stalled = t.stalled;
    r.cancelled = t.cancelled;
    if (!replyPending.trimmed().isEmpty())
        onReplyLine(replyPending.trimmed());
    replyPending.clear();
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &r.response);
    if (r.code != CURLE_OK) {
        r.reason = reasonOf(r);
        logLine(QStringLiteral("error"), r.reason);
    }
    return r;
}

QString FtpClient::Impl::reasonOf(const Result &r) const
{
    const QString where = QStringLiteral("%1 (port %2)").arg(hostName).arg(port);
    if (r.cancelled)
        return QStringLiteral("The operation was cancelled.");
    if (r.stalled)
        return QStringLiteral("No answer and no progress from %1 within %2 s.").arg(where).arg(timeouts.stallSeconds);
    switch (r.code) {
    case CURLE_COULDNT_RESOLVE_HOST:
        return QStringLiteral("The name %1 did not resolve to an address.").arg(hostName);
    case CURLE_COULDNT_CONNECT: {
        long osError = 0;
        curl_easy_getinfo(curl, CURLINFO_OS_ERRNO, &osError);
        if (osError == ECONNREFUSED)
            return QStringLiteral("%1 refused the connection.").arg(where);
        if (osError == ETIMEDOUT || osError == 0)
            return QStringLiteral("No answer from %1 within %2 s.").arg(where).arg(timeouts.connectSeconds);
        return QStringLiteral("%1 cannot be reached: %2.").arg(where, QString::fromLocal8Bit(std::strerror(int(osError))));
    }
    case CURLE_OPERATION_TIMEDOUT:
        return QStringLiteral("No answer from %1 within %2 s.")
            .arg(where)
            .arg(r.connectOp ? timeouts.connectSeconds : timeouts.stallSeconds);
    case CURLE_LOGIN_DENIED:
        return QStringLiteral("The server refused the login: %1").arg(lastReply.isEmpty() ? QStringLiteral("530")
                                                                                          : lastReply);
    case CURLE_USE_SSL_FAILED:
        return tlsRefusalReason();
    case CURLE_PEER_FAILED_VERIFICATION:
        return QStringLiteral("The certificate of %1 cannot be verified%2. Its key is %3.")
            .arg(where,
                 tls.pin.isEmpty() ? QString() : QStringLiteral(" and does not carry the key CHAT.INI trusts"),
                 serverPin.isEmpty() ? QStringLiteral("unknown") : serverPin);
    case CURLE_SSL_CONNECT_ERROR:
        return QStringLiteral("The TLS handshake with %1 failed: %2")
            .arg(where, QString::fromUtf8(errorText[0] ? errorText : curl_easy_strerror(r.code)));
    default:
        break;
    }
    if (!refusedMkd.isEmpty())
        return QStringLiteral("The server refused %1").arg(refusedMkd);
    if (!refusal.isEmpty() && r.response >= 400)
        return QStringLiteral("The server refused %1").arg(refusal);
    QString text = mask(QString::fromUtf8(errorText[0] ? errorText : curl_easy_strerror(r.code)));
    if (!lastReply.isEmpty() && r.response >= 400)
        text += QStringLiteral(" (server: %1)").arg(lastReply);
    return text;
}

FtpError FtpClient::Impl::failure(const Result &r, int number, const QString &what, bool *lost) const
{
    *lost = r.stalled
            || (!r.cancelled && (isTransportFailure(r.code) || (!r.alive && !isRefusalOrOwnAbort(r.code))));
    if (r.cancelled)
        return FtpError(kErrCancelled, QStringLiteral("%1 was cancelled.").arg(what), r.reason);
    if (r.code == CURLE_PEER_FAILED_VERIFICATION)
        return FtpError(kErrUntrustedServer, QStringLiteral("Cannot connect to %1: %2").arg(hostText, r.reason), r.reason);
    if (isConnectFailure(r.code) || r.code == CURLE_USE_SSL_FAILED || r.code == CURLE_SSL_CONNECT_ERROR || (r.connectOp && r.code == CURLE_OPERATION_TIMEDOUT))
        return FtpError(kErrCannotConnect, QStringLiteral("Cannot connect to %1: %2").arg(hostText, r.reason),
                        r.reason);
    if (*lost)
        return FtpError(kErrTransfer,
                        QStringLiteral("Connection to %1 was lost (%2): %3").arg(hostText, what, r.reason),
                        QStringLiteral("The connection to %1 was lost: %2").arg(hostText, r.reason));
    return FtpError(number, QStringLiteral("%1: %2").arg(what, r.reason), r.reason);
}

qint64 FtpClient::Impl::remoteSize(const QByteArray &url, Result *r)
{
    prepare(url);
    curl_easy_setopt(curl, CURLOPT_NOBODY, 1L);
    *r = perform();
    curl_off_t size = -1;
    if (r->code == CURLE_OK)
        curl_easy_getinfo(curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &size);
    // A file the server does not have is an answer, not a failure.
    if (r->code == CURLE_REMOTE_FILE_NOT_FOUND || (r->code == CURLE_FTP_COULDNT_RETR_FILE && r->response == 550)) {
        r->code = CURLE_OK;
        size = -1;
    }
    return qint64(size);
}

FtpClient::Impl::Result FtpClient::Impl::quote(const QStringList &commands, const QByteArray &url)
{
    QList<QByteArray> lines;
    curl_slist *list = nullptr;
    for (const QString &c : commands) {
        lines.append('*' + c.toUtf8());
        list = curl_slist_append(list, lines.last().constData());
    }
    prepare(url.isEmpty() ? folderUrl(splitRemote(currentDir)) : url);
    curl_easy_setopt(curl, CURLOPT_NOBODY, 1L);
    curl_easy_setopt(curl, CURLOPT_QUOTE, list);
    const Result r = perform();
    curl_easy_setopt(curl, CURLOPT_QUOTE, static_cast<curl_slist *>(nullptr));
    curl_slist_free_all(list);
    return r;
}

FtpClient::Impl::Endpoint FtpClient::Impl::parseHost(const QString &text, int portArgument)
{
    const QString h = text.trimmed();
    QString name;
    int p = portArgument;
    auto bad = [&] { return FtpError(kErrCannotConnect, QStringLiteral("\"%1\" is not a valid FTP host.").arg(h)); };
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
    e.name = name;
    if (v6) {
        QString zoned = name;
        zoned.replace(QLatin1Char('%'), QStringLiteral("%25"));
        e.urlHost = '[' + zoned.toUtf8() + ']';
    } else {
        e.urlHost = name.toUtf8();
    }
    return e;
}

bool FtpClient::Impl::pause(int ms)
{
    QDeadlineTimer deadline(ms);
    while (!deadline.hasExpired()) {
        if (cancelFlag || abortFlag)
            return false;
        const int step = int(qMin<qint64>(50, qMax<qint64>(1, deadline.remainingTime())));
        if (canWaitInLoop()) {
            QEventLoop loop;
            QTimer::singleShot(step, &loop, &QEventLoop::quit);
            loop.exec();
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(step));
        }
    }
    return !(cancelFlag || abortFlag);
}

}  // namespace tobra
