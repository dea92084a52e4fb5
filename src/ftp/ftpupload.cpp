// PutFile: an upload that is written under a temporary name of its own,
// resumed after a dropped connection (in this run or a later one), proven
// whole by size and checksum, and only then renamed into place.
#include "ftp/ftpclient.h"

#include "ftp/ftpsession_p.h"
#include "ftp/remotepath.h"
#include "ftp/tempname.h"
#include "ftp/uploadjournal.h"
#include "ftp/uploadstream_p.h"
#include "support/modcommon.h"
#include "support/runlog.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <optional>

namespace tobra {

namespace {

using Impl = FtpClient::Impl;

// Measured on loopback with a 1 GiB file: 64 KiB matched curl's own tool,
// 512 KiB took about 60% more system time and 10-15% longer, as a block
// that no longer fits the CPU cache is copied twice per send.
constexpr long kUploadBufferBytes = 64 * 1024;
// Cleaning up after a cancel must not keep the user waiting long.
constexpr int kCleanupSeconds = 5;
// Servers digest a file at 45 MB/s and more even when busy (CRC32 on a
// loaded machine); the control connection is silent meanwhile.
constexpr qint64 kDigestBytesPerSecond = 20 * 1024 * 1024;
constexpr qint64 kJournalAfterMs = 1000;

// How one step of an upload ended.
enum class StepEnd { Done, CannotRename, Mismatch, Lost, Failed, Cancelled };

struct Step {
    StepEnd end = StepEnd::Failed;
    std::optional<FtpError> error;
    bool serverStarted = false;   // the server took the upload (and so the name)
};

// Replies that say the server does not know the command at all.
bool unknownCommand(int reply)
{
    return reply == 500 || reply == 502 || reply == 504;
}

QString sizeMismatchReason(qint64 held, qint64 total)
{
    if (held < 0)
        return QStringLiteral("The server does not report the size of the file.");
    return QStringLiteral("The server holds %1 bytes, %2 than the %3 bytes of the local file.")
        .arg(held)
        .arg(held < total ? QStringLiteral("fewer") : QStringLiteral("more"))
        .arg(total);
}

// One upload from its first byte to its final name.
class UploadRun {
public:
    UploadRun(FtpClient *q, FtpClient::Impl *d, UploadStream &up, const QStringList &segs)
        : q_(q), d_(d), up_(up), segs_(segs), plan_(d->checksum)
    {
        finalPath_ = joinRemote(segs + QStringList{up.remoteName});
        what_ = QStringLiteral("Upload of %1 as %2").arg(up.localPath, finalPath_);
        viaTemp_ = !d->renameUnsupported;
        if (plan_)
            up_.digest.emplace(plan_->algorithm);
    }

    // Returns once the server holds the whole file under its name; raises
    // FtpError otherwise.
    void run();

private:
    QString target() const { return viaTemp_ ? tempName_ : up_.remoteName; }
    QString targetPath() const { return joinRemote(segs_ + QStringList{target()}); }
    QByteArray targetUrl() const { return d_->fileUrl(segs_, target()); }
    QByteArray folderUrl() const { return d_->folderUrl(segs_); }
    FtpError cancelledError() const
    {
        return FtpError(kErrCancelled, QStringLiteral("%1 was cancelled.").arg(what_),
                        QStringLiteral("The upload was cancelled."));
    }
    FtpError localReadError(const QString &why = QString()) const
    {
        return FtpError(kErrLocalFile, QStringLiteral("%1 failed: the local file could not be read.").arg(what_),
                        why.isEmpty() ? QStringLiteral("The local file %1 cannot be read.").arg(up_.localPath)
                                      : QStringLiteral("The local file %1 cannot be read: %2.").arg(up_.localPath, why));
    }

    void beginJournal();
    Step step();
    Step send(qint64 *held, QByteArray *serverDigest);
    Impl::Result sendOnce(bool folderByFolder);
    Step prove(qint64 held, const QByteArray &serverDigest);
    Step moveIntoPlace();
    // Asks the server what it holds of the target and resumes from there,
    // or from the start when that is not this upload's beginning.
    std::optional<FtpError> resumeFromServer(const QString &why);
    // Waits for the connection to come back, by itself or through the
    // handler of the connection-lost state; false when cancelled.
    bool waitForConnection();
    // Deletes what this upload wrote on the server; true when nothing of it
    // is left there.
    bool cleanUp();
    QStringList proofCommands(const QString &path);
    // The server's digest in the replies of the last request.
    QByteArray digestIn(const ChecksumPlan &plan) const
    {
        const QString command = checksumCommands(plan, QString()).last().section(QLatin1Char(' '), 0, 0);
        const Impl::Exchange e = d_->exchangeOf(command + QLatin1Char(' '));
        return digestFromReply(plan, e.reply, e.text);
    }

    FtpClient *q_;
    FtpClient::Impl *d_;
    UploadStream &up_;
    QStringList segs_;
    std::optional<ChecksumPlan> plan_;
    QString finalPath_;
    QString what_;
    QString tempName_;
    bool viaTemp_ = true;
    bool fresh_ = true;     // the next send starts the file anew (STOR)
    qint64 offset_ = 0;     // bytes of the file the server already holds
    bool serverStarted_ = false;
    bool attempted_ = false;   // a send of the temporary file was started
    bool sentAgainAfterMismatch_ = false;

    std::optional<JournalEntry> entry_;
    bool journaled_ = false;   // entry_ is written in the journal
    UploadJournal journal_;

    // Why reconnecting is pointless, raised instead of the lost connection.
    std::optional<FtpError> refusal_;
    // The outage the upload is in: when it began, how far the file was.
    std::optional<qint64> outageStartMs_;
    qint64 heldAtOutage_ = 0;
    int retriesThisOutage_ = 0;
};

QStringList UploadRun::proofCommands(const QString &path)
{
    QStringList commands{QStringLiteral("SIZE ") + path};
    if (!plan_)
        return commands;
    if (plan_->viaHash && plan_->needsOpts && !d_->hashSelected)
        commands << selectHashCommand(*plan_);
    return commands + checksumCommands(*plan_, path);
}

void UploadRun::beginJournal()
{
    JournalEntry e;
    e.server = QStringLiteral("%1:%2").arg(d_->hostName).arg(d_->port);
    e.folder = joinRemote(segs_);
    e.name = up_.remoteName;
    e.local = up_.localPath;
    e.size = up_.total;
    e.modified = QFileInfo(up_.localPath).lastModified().toMSecsSinceEpoch();
    e.started = QDateTime::currentDateTimeUtc();
    e.pid = QCoreApplication::applicationPid();
    std::optional<JournalEntry> earlier = journal_.find(e);
    if (earlier && earlier->name == e.name && earlier->size == e.size && earlier->modified == e.modified) {
        e.temp = earlier->temp;
        e.started = earlier->started;
        tempName_ = e.temp;
        entry_ = e;
        journal_.put(e);
        journaled_ = true;
        fresh_ = false;   // resumeFromServer decides from what the server holds
        return;
    }
    if (earlier) {
        // The local file changed since: what the earlier run sent is stale.
        const Impl::Result r =
            d_->quote({QStringLiteral("DELE ") + joinRemote(segs_ + QStringList{earlier->temp})}, folderUrl());
        logLine(QStringLiteral("transfer"), QStringLiteral("%1 changed since an earlier run; its temporary file %2: %3")
                                                .arg(up_.localPath, earlier->temp,
                                                     r.code == CURLE_OK ? d_->exchangeOf(QStringLiteral("DELE ")).text
                                                                        : r.reason));
        journal_.remove(*earlier);
    }
    tempName_ = newTemporaryRemoteName(up_.remoteName);
    e.temp = tempName_;
    entry_ = e;
    // Written once the upload has lasted a while: a journal write costs a
    // flush to disk (about 5 ms), more than a small file takes to send, and
    // an upload of a second or less is cheap to send again.
    up_.journalDueMs = monotonicMs() + kJournalAfterMs;
    up_.writeJournal = [this] {
        if (entry_ && !journaled_) {
            journal_.put(*entry_);
            journaled_ = true;
        }
    };
}

Impl::Result UploadRun::sendOnce(bool folderByFolder)
{
    d_->prepare(targetUrl(), false, folderByFolder);
    CURL *curl = d_->curl;
    curl_easy_setopt(curl, CURLOPT_UPLOAD, 1L);
    // APPE after the bytes the server holds; STOR truncates.
    curl_easy_setopt(curl, CURLOPT_APPEND, fresh_ ? 0L : 1L);
    curl_easy_setopt(curl, CURLOPT_READFUNCTION, &UploadStream::onRead);
    curl_easy_setopt(curl, CURLOPT_READDATA, &up_);
    curl_easy_setopt(curl, CURLOPT_INFILESIZE_LARGE, curl_off_t(up_.total - offset_));
    curl_easy_setopt(curl, CURLOPT_UPLOAD_BUFFERSIZE, kUploadBufferBytes);
    if (folderByFolder)
        curl_easy_setopt(curl, CURLOPT_FTP_CREATE_MISSING_DIRS, long(CURLFTP_CREATE_DIR_RETRY));
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, &UploadStream::onProgress);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &up_);
    // The proof on the same request saves a round of commands per file;
    // "*" keeps a server that refuses one from failing the upload.
    QList<QByteArray> lines;
    curl_slist *postQuote = nullptr;
    for (const QString &c : proofCommands(target())) {
        lines.append('*' + c.toUtf8());
        postQuote = curl_slist_append(postQuote, lines.last().constData());
    }
    curl_easy_setopt(curl, CURLOPT_POSTQUOTE, postQuote);
    const Impl::Result r = d_->perform();
    curl_easy_setopt(curl, CURLOPT_POSTQUOTE, static_cast<curl_slist *>(nullptr));
    curl_slist_free_all(postQuote);
    return r;
}

Step UploadRun::send(qint64 *held, QByteArray *serverDigest)
{
    Step s;
    if (!up_.file.seek(offset_)) {
        s.error = localReadError();
        return s;
    }
    if (fresh_ && up_.digest)
        up_.digest->reset();
    up_.base = offset_;
    up_.sent = offset_;
    attempted_ = true;
    // The folder is usually there: one CWD. Only when it is not, a second
    // try goes level by level and makes what is missing.
    Impl::Result r = sendOnce(false);
    if (r.code == CURLE_REMOTE_ACCESS_DENIED && up_.sent == offset_ && !up_.cancel) {
        logLine(QStringLiteral("transfer"), QStringLiteral("making the folder %1").arg(joinRemote(segs_)));
        r = sendOnce(true);
    }
    CURL *curl = d_->curl;
    s.serverStarted = d_->sawReply(125, 150);
    *held = d_->sizeReply;
    if (plan_) {
        if (d_->replyTo(QStringLiteral("OPTS HASH ")) == 200)
            d_->hashSelected = true;
        *serverDigest = digestIn(*plan_);
    }
    curl_off_t uploaded = 0;
    curl_easy_getinfo(curl, CURLINFO_SIZE_UPLOAD_T, &uploaded);
    if (up_.cancel || (r.code == CURLE_ABORTED_BY_CALLBACK && (d_->cancelFlag || d_->abortFlag)))
        r.cancelled = true;
    if (r.cancelled) {
        s.end = StepEnd::Cancelled;
        return s;
    }
    if (up_.readFailed) {
        s.error = localReadError(up_.file.errorString());
        return s;
    }
    if (r.code != CURLE_OK) {
        bool lost = false;
        const int number = r.code == CURLE_REMOTE_ACCESS_DENIED ? kErrRemoteFolder : kErrTransfer;
        s.error = d_->failure(r, number, what_, &lost);
        s.end = lost ? StepEnd::Lost : StepEnd::Failed;
        return s;
    }
    if (qint64(uploaded) != up_.total - offset_) {
        const qint64 sent = offset_ + qint64(uploaded);
        s.error = FtpError(kErrTransfer,
                           QStringLiteral("%1 is incomplete: %2 of %3 bytes were sent.").arg(what_).arg(sent).arg(up_.total),
                           QStringLiteral("Only %1 of %2 bytes could be sent.").arg(sent).arg(up_.total));
        return s;
    }
    if (up_.lastReported != up_.total && up_.handshake)
        up_.emitProgress(up_.total);   // short files may finish between two reports
    s.end = StepEnd::Done;
    return s;
}

// Only the server's own count, and its digest where it computes one,
// prove the file arrived whole.
Step UploadRun::prove(qint64 held, const QByteArray &serverDigest)
{
    Step s;
    if (held != up_.total) {
        const QString reason = sizeMismatchReason(held, up_.total);
        s.error = FtpError(kErrTransfer,
                           held < 0 ? QStringLiteral("%1 cannot be confirmed: %2").arg(what_, reason)
                                    : QStringLiteral("%1 is incomplete: the server holds %2 of %3 bytes.")
                                          .arg(what_)
                                          .arg(held)
                                          .arg(up_.total),
                           reason);
        return s;
    }
    if (!plan_) {
        logLine(QStringLiteral("transfer"), QStringLiteral("proven by size: %1 bytes").arg(held));
    } else if (serverDigest.isEmpty()) {
        logLine(QStringLiteral("transfer"), QStringLiteral("proven by size only: %1 bytes; the server gave no %2 (%3)")
                                                .arg(held)
                                                .arg(plan_->label(), d_->refusal));
    } else {
        const QByteArray local = up_.digest->hex();
        if (local != serverDigest) {
            const QString reason = QStringLiteral("The server's %1 of the file is %2, the local file's is %3.")
                                       .arg(plan_->hashName, QString::fromLatin1(serverDigest), QString::fromLatin1(local));
            s.error = FtpError(kErrTransfer, QStringLiteral("%1 arrived changed: %2").arg(what_, reason), reason);
            s.end = StepEnd::Mismatch;
            return s;
        }
        logLine(QStringLiteral("transfer"), QStringLiteral("proven by size and %1: %2 bytes, %3")
                                                .arg(plan_->label())
                                                .arg(held)
                                                .arg(QString::fromLatin1(local)));
    }
    s.end = StepEnd::Done;
    return s;
}

Step UploadRun::moveIntoPlace()
{
    Step s;
    const QString tempPath = targetPath();
    const Impl::Result r = d_->quote({QStringLiteral("RNFR ") + tempPath, QStringLiteral("RNTO ") + finalPath_}, folderUrl());
    if (r.code != CURLE_OK) {
        bool lost = false;
        s.error = d_->failure(r, kErrTransfer, QStringLiteral("%1 cannot be moved into place").arg(what_), &lost);
        s.end = lost ? StepEnd::Lost : StepEnd::Failed;
        return s;
    }
    const Impl::Exchange from = d_->exchangeOf(QStringLiteral("RNFR "));
    const Impl::Exchange to = d_->exchangeOf(QStringLiteral("RNTO "));
    if (from.reply == 350 && to.reply >= 200 && to.reply < 300) {
        s.end = StepEnd::Done;
        return s;
    }
    // Only a server that does not know the commands never renames; any
    // other refusal is about this upload's own file and fails it.
    if (unknownCommand(from.reply) || (from.reply == 350 && unknownCommand(to.reply))) {
        logLine(QStringLiteral("transfer"), QStringLiteral("the server cannot rename: ") + d_->refusal);
        s.end = StepEnd::CannotRename;
        return s;
    }
    const Impl::Exchange &refused = from.reply == 350 ? to : from;
    const QString reason = QStringLiteral("The server refused %1: %2").arg(refused.command, refused.text);
    s.error = FtpError(kErrTransfer, QStringLiteral("%1 cannot be moved into place: %2").arg(what_, reason), reason);
    s.end = StepEnd::Failed;
    return s;
}

Step UploadRun::step()
{
    Impl::Busy busy(*d_);
    qint64 held = -1;
    QByteArray serverDigest;
    if (fresh_ || offset_ < up_.total) {
        Step s = send(&held, &serverDigest);
        serverStarted_ = serverStarted_ || s.serverStarted;
        if (s.end != StepEnd::Done)
            return s;
    }
    if (held < 0) {
        // The size was not in the upload's own replies (or nothing was
        // left to send): ask for the proof on its own.
        // Some servers give no size in ASCII mode, where a new connection starts.
        d_->proofArmed = true;
        const Impl::Result r = d_->quote(QStringList{QStringLiteral("TYPE I")} + proofCommands(targetPath()), folderUrl());
        if (r.code != CURLE_OK) {
            Step s;
            bool lost = false;
            s.error = d_->failure(r, kErrTransfer, QStringLiteral("%1 cannot be confirmed").arg(what_), &lost);
            s.end = lost ? StepEnd::Lost : StepEnd::Failed;
            return s;
        }
        held = d_->sizeReply;
        if (plan_) {
            if (d_->replyTo(QStringLiteral("OPTS HASH ")) == 200)
                d_->hashSelected = true;
            serverDigest = digestIn(*plan_);
        }
    }
    Step s = prove(held, serverDigest);
    if (s.end != StepEnd::Done || !viaTemp_)
        return s;
    return moveIntoPlace();
}

std::optional<FtpError> UploadRun::resumeFromServer(const QString &why)
{
    Impl::Busy busy(*d_);
    Impl::Result r;
    const qint64 held = d_->remoteSize(targetUrl(), &r);
    if (r.code != CURLE_OK) {
        bool lost = false;
        FtpError e = d_->failure(r, kErrTransfer, what_, &lost);
        if (lost)
            d_->connected = false;
        return e;
    }
    offset_ = 0;
    fresh_ = true;
    if (held > 0 && held <= up_.total) {
        std::optional<LocalDigest> prefix;
        if (plan_)
            prefix.emplace(plan_->algorithm);
        bool readOk = true;
        // A digest over gigabytes takes seconds: not on the window's thread.
        d_->runOnWorker([&] {
            readOk = up_.digestFirstBytes(held, prefix ? &*prefix : nullptr);
            return CURLE_OK;
        });
        if (!readOk)
            return localReadError(up_.file.errorString());
        bool same = true;
        if (plan_) {
            const QStringList commands = checksumCommands(*plan_, targetPath(), held);
            const QStringList select = plan_->viaHash && plan_->needsOpts && !d_->hashSelected
                                           ? QStringList{selectHashCommand(*plan_)}
                                           : QStringList();
            d_->proofArmed = true;
            const Impl::Result hr = d_->quote(select + commands, folderUrl());
            if (hr.code == CURLE_OK && d_->replyTo(QStringLiteral("OPTS HASH ")) == 200)
                d_->hashSelected = true;
            const QByteArray remote = hr.code == CURLE_OK ? digestIn(*plan_) : QByteArray();
            const QByteArray local = prefix->hex();
            same = remote.isEmpty() || remote == local;
            logLine(QStringLiteral("retry"), remote.isEmpty()
                                                 ? QStringLiteral("the server gave no %1 of the first %2 bytes")
                                                       .arg(plan_->label())
                                                       .arg(held)
                                                 : QStringLiteral("%1 of the first %2 bytes: server %3, local %4")
                                                       .arg(plan_->label())
                                                       .arg(held)
                                                       .arg(QString::fromLatin1(remote), QString::fromLatin1(local)));
        }
        if (same) {
            offset_ = held;
            fresh_ = false;
        }
    }
    logLine(QStringLiteral("retry"), QStringLiteral("resuming %1 %2 at byte %3").arg(what_, why).arg(offset_));
    return std::nullopt;
}

bool UploadRun::waitForConnection()
{
    const RetryPolicy &policy = d_->retryPolicy;
    const qint64 now = monotonicMs();
    if (!outageStartMs_ || offset_ > heldAtOutage_) {
        // A new outage, or the last attempt got further: a fresh budget.
        outageStartMs_ = now;
        heldAtOutage_ = offset_;
        retriesThisOutage_ = 0;
    }
    while (!q_->Connected()) {
        if (d_->cancelFlag || d_->abortFlag)
            return false;
        const qint64 left = policy.budgetMs - (monotonicMs() - *outageStartMs_);
        if (left <= 0) {
            emit q_->ConnectionStateChanged(FtpStateLost);
            break;
        }
        // The last wait ends with the budget: one more attempt then.
        const int shift = qMin(retriesThisOutage_, 20);
        const int wait = int(std::min({qint64(policy.firstWaitMs) << shift, qint64(policy.maxWaitMs), left}));
        ++retriesThisOutage_;
        emit q_->StatusMessage(QStringLiteral("Connection lost; retrying in %1 s").arg(wait / 1000.0));
        if (!d_->pause(wait))
            return false;
        // An attempt started within the budget ends within one time-out.
        const FtpTimeouts saved = d_->timeouts;
        const int leftSeconds = int((left - wait + 999) / 1000);
        d_->timeouts.connectSeconds = qBound(1, leftSeconds, saved.connectSeconds);
        try {
            q_->Reconnect();
        } catch (const FtpError &e) {
            logLine(QStringLiteral("retry"), e.description());
            if (d_->tlsRefused) {
                d_->timeouts = saved;
                refusal_ = e;   // a server that now refuses TLS: no retry helps
                return true;
            }
        }
        d_->timeouts = saved;
    }
    return !(d_->cancelFlag || d_->abortFlag);
}

bool UploadRun::cleanUp()
{
    // Never the final name while a temporary one is used, and never a name
    // the server did not take from this upload.
    if (viaTemp_ ? !attempted_ && fresh_ : !serverStarted_)
        return true;
    if (!q_->Connected()) {
        logLine(QStringLiteral("warning"), QStringLiteral("%1 is left on the server: there is no connection to remove it")
                                               .arg(targetPath()));
        return false;
    }
    const bool oldIgnore = d_->ignoreCancel;
    const FtpTimeouts oldTimeouts = d_->timeouts;
    d_->ignoreCancel = true;
    d_->timeouts.connectSeconds = qMin(d_->timeouts.connectSeconds, kCleanupSeconds);
    d_->timeouts.stallSeconds = qMin(d_->timeouts.stallSeconds, kCleanupSeconds);
    bool removed = false;
    {
        Impl::Busy busy(*d_);
        const Impl::Result r = d_->quote({QStringLiteral("DELE ") + targetPath()}, folderUrl());
        const Impl::Exchange e = d_->exchangeOf(QStringLiteral("DELE "));
        removed = r.code == CURLE_OK && e.reply >= 200 && e.reply < 300;
        if (removed)
            logLine(QStringLiteral("transfer"), QStringLiteral("removed %1: %2").arg(targetPath(), e.text));
        else
            logLine(QStringLiteral("warning"), QStringLiteral("%1 is left on the server: %2")
                                                   .arg(targetPath(), e.reply ? e.text : r.reason));
    }
    d_->timeouts = oldTimeouts;
    d_->ignoreCancel = oldIgnore;
    return removed;
}

void UploadRun::run()
{
    struct Transferring {
        Transferring(FtpClient::Impl &d, qint64 proofAllowanceMs) : d_(d)
        {
            d_.transferring = true;
            d_.proofAllowanceMs = proofAllowanceMs;
        }
        ~Transferring()
        {
            d_.transferring = false;
            d_.proofAllowanceMs = 0;
        }
        FtpClient::Impl &d_;
    } transferring(*d_, plan_ ? up_.total * 1000 / kDigestBytesPerSecond : 0);

    logLine(QStringLiteral("transfer"), QStringLiteral("%1, %2 bytes").arg(what_).arg(up_.total));
    emit q_->TransferStarting(up_.localPath, up_.remoteName, up_.total, 1, 0);

    std::optional<FtpError> error;
    bool cancelled = false;
    // Ends the journal entry once nothing of this upload is to be resumed.
    auto forget = [&] {
        up_.writeJournal = nullptr;
        if (entry_ && journaled_)
            journal_.remove(*entry_);
        entry_.reset();
    };
    if (viaTemp_) {
        {
            Impl::Busy busy(*d_);
            beginJournal();
        }
        if (!fresh_)
            error = resumeFromServer(QStringLiteral("from an earlier run"));
    } else {
        logLine(QStringLiteral("transfer"), QStringLiteral("writing %1 directly: the server cannot rename").arg(finalPath_));
    }
    while (!error) {
        Step s = step();
        serverStarted_ = serverStarted_ || s.serverStarted;
        if (s.end == StepEnd::Done) {
            forget();
            break;
        }
        if (s.end == StepEnd::CannotRename) {
            // Only now is writing straight into the final name right.
            d_->renameUnsupported = true;
            if (cleanUp())
                forget();
            viaTemp_ = false;
            fresh_ = true;
            offset_ = 0;
            serverStarted_ = false;
            continue;
        }
        if (s.end == StepEnd::Mismatch && !sentAgainAfterMismatch_) {
            logLine(QStringLiteral("warning"), s.error->description() + QStringLiteral(" Sending it once more."));
            sentAgainAfterMismatch_ = true;
            if (!cleanUp()) {
                error = s.error;
                break;
            }
            fresh_ = true;
            offset_ = 0;
            continue;
        }
        if (s.end == StepEnd::Cancelled) {
            cancelled = true;
            error = cancelledError();
            if (cleanUp())
                forget();
            break;
        }
        if (s.end != StepEnd::Lost) {
            error = s.error;
            if (cleanUp())
                forget();
            break;
        }
        // Lost: reconnect (by ourselves, or through the handler of the
        // connection-lost state) and resume from what the server holds.
        d_->connected = false;
        logLine(QStringLiteral("retry"), s.error->description());
        if (!waitForConnection()) {
            cancelled = true;
            error = cancelledError();
            // Kept in the journal when its file could not be removed, so the
            // next run of the same file takes it over.
            if (cleanUp())
                forget();
            break;
        }
        if (!q_->Connected()) {
            error = refusal_ ? refusal_ : s.error;   // given up; the journal keeps it for a later run
            break;
        }
        error = resumeFromServer(QStringLiteral("after the connection was lost"));
    }
    up_.file.close();
    if (!error) {
        logLine(QStringLiteral("transfer"), QStringLiteral("%1 complete").arg(what_));
        emit q_->TransferComplete(up_.remoteName, up_.localPath, false);
        return;
    }
    logLine(QStringLiteral("error"), error->description());
    if (cancelled)
        emit q_->TransferCancelled(up_.remoteName, up_.localPath, false);
    throw *error;
}

}  // namespace

void FtpClient::PutFile(const QString &localFile, const QString &remoteFolder)
{
    UploadStream up;
    QStringList segs;
    {
        Impl::Busy busy(*d);
        d->requireConnected();
        d->throwIfCancelled(QStringLiteral("The upload of %1").arg(localFile));

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
        segs = remoteFolder.trimmed().isEmpty() ? splitRemote(d->currentDir)
                                                : resolveRemote(d->currentDir, remoteFolder.trimmed());
        checkRemoteSegments(segs);

        up.q = this;
        up.d = d.get();
        up.handshake = d->canWaitInLoop();
        up.localPath = local;
        up.remoteName = remoteName;
        up.file.setFileName(local);
        if (!QFileInfo(local).isFile() || !up.file.open(QIODevice::ReadOnly)) {
            const QString why = up.file.errorString().isEmpty() || !QFileInfo(local).isFile()
                                    ? QStringLiteral("it is not a file")
                                    : up.file.errorString();
            const QString reason = QStringLiteral("The local file %1 cannot be read: %2.").arg(local, why);
            throw FtpError(kErrLocalFile, QStringLiteral("Cannot read local file %1: %2").arg(local, why), reason);
        }
        up.total = up.file.size();
    }
    UploadRun(this, d.get(), up, segs).run();
}

}  // namespace tobra
