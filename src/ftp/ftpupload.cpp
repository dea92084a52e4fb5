// PutFile: an upload that is written under a temporary name of its own,
// resumed after a dropped connection (in this run or a later one), proven
// whole by size and checksum, and only then renamed into place. The order
// of its steps is here; the steps themselves in uploadsteps.cpp and
// uploadresume.cpp.
#include "ftp/ftpclient.h"

#include "ftp/uploadrun_p.h"
#include "support/modcommon.h"
#include "support/runlog.h"

#include <QDir>
#include <QFileInfo>

namespace tobra {

namespace {

// Servers digest a file at 45 MB/s and more even when busy (CRC32 on a
// loaded machine); the control connection is silent meanwhile.
constexpr qint64 kDigestBytesPerSecond = 20 * 1024 * 1024;

}  // namespace

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
            FtpImpl::Busy busy(*d_);
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

void FtpClient::PutFile(const QString &localFile, const QString &remoteFolder)
{
    UploadStream up;
    QStringList segs;
    {
        FtpImpl::Busy busy(*d);
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
