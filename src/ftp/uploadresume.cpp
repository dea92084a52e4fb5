// Resuming an upload: from the journal of an earlier run, from what the
// server holds, and after waiting out an outage.
#include "ftp/uploadrun_p.h"

#include "ftp/tempname.h"
#include "support/runlog.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFileInfo>

#include <algorithm>

namespace tobra {

namespace {

constexpr qint64 kJournalAfterMs = 1000;

}  // namespace

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
        const FtpImpl::Result r =
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

std::optional<FtpError> UploadRun::resumeFromServer(const QString &why)
{
    FtpImpl::Busy busy(*d_);
    FtpImpl::Result r;
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
            d_->proofArmed = true;
            const FtpImpl::Result hr = d_->quote(checksumRequest(targetPath(), held), folderUrl());
            const QByteArray remote = hr.code == CURLE_OK ? serverDigest() : QByteArray();
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

}  // namespace tobra
