#pragma once

// One upload from its first byte to its final name: the order of steps
// (ftpupload.cpp), sending, proving and renaming (uploadsteps.cpp), and
// resuming in this run or a later one (uploadresume.cpp). Private to src/ftp.

#include "ftp/checksum.h"
#include "ftp/ftpsession_p.h"
#include "ftp/remotepath.h"
#include "ftp/uploadjournal.h"
#include "ftp/uploadstream_p.h"

#include <optional>

namespace tobra {

using FtpImpl = FtpClient::Impl;

// How one step of an upload ended.
enum class StepEnd { Done, CannotRename, Mismatch, Lost, Failed, Cancelled };

struct Step {
    StepEnd end = StepEnd::Failed;
    std::optional<FtpError> error;
    bool serverStarted = false;   // the server took the upload (and so the name)
};

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
    Step send(qint64 *held, QByteArray *remoteDigest);
    FtpImpl::Result sendOnce(bool folderByFolder);
    Step prove(qint64 held, const QByteArray &remoteDigest);
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
    // The checksum's commands (with OPTS HASH first while the session has
    // not chosen the algorithm), of the whole file or its first bytes.
    QStringList checksumRequest(const QString &path, std::optional<qint64> prefixLength = {}) const;
    // The server's digest in the replies of the last request ("" when it
    // gave none); notes an algorithm chosen on the way.
    QByteArray serverDigest();

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

}  // namespace tobra
