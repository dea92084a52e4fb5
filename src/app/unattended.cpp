#include "app/unattended.h"

#include "app/exitcodes.h"
#include "ftp/ftpclient.h"
#include "ftp/ftpevents.h"
#include "support/globals.h"
#include "support/messages.h"
#include "support/errorhandler.h"
#include "support/modcommon.h"
#include "support/tagini.h"

#include <QDir>

#include <cstdio>

#ifndef Q_OS_WIN
#include <unistd.h>
#endif

namespace tobra {

int runUnattendedUpload(const CommandLine &cl)
{
    FtpClient ftp;
    UnattendedUpload upload(ftp);
#ifndef Q_OS_WIN
    upload.showProgress = isatty(STDERR_FILENO);
#endif
    return upload.run(cl, QDir::currentPath());
}

QString completeFileWord(const QString &file, const QString &currentFolder)
{
    const QString fsPath = toFileSystemPath(file);
    if (!QDir::isRelativePath(fsPath))
        return file;
    QString folder = currentFolder;
    CkRSlash(folder);
    return folder + file;
}

UnattendedUpload::UnattendedUpload(FtpClient &ftp, QObject *parent) : QObject(parent), ftp_(ftp)
{
    connect(&ftp_, &FtpClient::StatusMessage, this, &UnattendedUpload::AddStatusMessage);
    connect(&ftp_, &FtpClient::TransferComplete, this,
            [this](const QString &remote, const QString &local, bool download) {
                AddStatusMessage(transferCompleteLine(remote, local, download));
            });
    connect(&ftp_, &FtpClient::TransferCancelled, this,
            [this](const QString &remote, const QString &local, bool download) {
                AddStatusMessage(transferCancelledLine(remote, local, download));
            });
    connect(&ftp_, &FtpClient::ConnectionStateChanged, this, [this](int state) {
        if (state == FtpStateLost)
            handleConnectionLost(ftp_);
    });
    connect(&ftp_, &FtpClient::TransferProgress, this,
            [this](const QString &, const QString &, qint64, qint64 done, qint64 total, bool *) {
                if (!showProgress || total <= 0)
                    return;
                const int percent = int(done * 100 / total);
                if (percent == lastPercent_)
                    return;
                lastPercent_ = percent;
                std::fprintf(stderr, "\r%3d%% %lld of %lld bytes", percent, static_cast<long long>(done),
                             static_cast<long long>(total));
                if (done >= total)
                    std::fputc('\n', stderr);
                std::fflush(stderr);
            });
}

void UnattendedUpload::AddStatusMessage(const QString &msg)
{
    lstMessages.append(msg);
    showUploadNotice(msg);
}

void UnattendedUpload::CmdLineFtpConnect(const QString &SourceFile)
{
    setCurrentProcName(QStringLiteral("ftpconnect"));
    if (!ensureConnected(ftp_, txtURL))
        return;
    QString folder = GetFileDrive(SourceFile) + GetFilePath(SourceFile);
    CkRSlash(folder);
    QString bare = folder;
    if (FolderExists(StripRChar(bare)))
        ftp_.setLocalDirectory(folder);
}

void UnattendedUpload::FtpDisconnect()
{
    if (ftp_.Connected())
        ftp_.Disconnect();
}

int UnattendedUpload::CmdLinePUT(const QString &DestinationDir, const QString &SourceFile)
{
    txtURL = tagReadValue(urlTag()).trimmed();
    CmdLineFtpConnect(SourceFile);
    if (!ftp_.Connected()) {
        Messages::show(QStringLiteral("Unable to connect to FTP Server."), MsgStyle::Exclamation,
                       QStringLiteral("CONNECTION ERROR"));
        return ExitNoConnection;
    }
    const FileNameParts parts = ParseFileName(SourceFile);
    QString folder = parts.drive + parts.folder;
    ftp_.setLocalDirectory(StripRChar(folder));

    int status = ExitOk;
    if (FileExists(SourceFile.trimmed())) {
        try {
            ftp_.PutFile(SourceFile, QStringLiteral("/uploads/") + DestinationDir);
        } catch (const FtpError &e) {
            // A broken or short upload must never end as a success.
            Messages::show(QStringLiteral("Upload of ") + SourceFile + QStringLiteral(" failed: ") + e.description(),
                           MsgStyle::Critical, QStringLiteral("ERROR"));
            status = e.number() == kErrCannotConnect ? ExitNoConnection : ExitTransferFailed;
        }
    } else {
        Messages::show(QStringLiteral("File ") + SourceFile + QStringLiteral(" does not exist."), MsgStyle::Critical,
                       QStringLiteral("ERROR"));
        status = ExitFileMissing;
    }
    FtpDisconnect();
    return status;
}

int UnattendedUpload::run(const CommandLine &cl, const QString &currentFolder)
{
    program().SafetyOn = cl.safety;
    if (!isSafeTechFolder(cl.tech)) {
        Messages::show(QStringLiteral("The code ") + cl.tech
                           + QStringLiteral(" cannot name a folder on the server. Use a code such as T3."),
                       MsgStyle::Critical, QStringLiteral("ERROR"));
        return ExitUsage;
    }
    const QString file = completeFileWord(cl.file, currentFolder);
    if (!FileExists(file)) {
        Messages::show(QStringLiteral("File ") + file + QStringLiteral(" does not exist."), MsgStyle::Critical,
                       QStringLiteral("ERROR"));
        return ExitFileMissing;
    }
    program().CurrentFileNumber = 1;
    program().FileCount = 1;
    return CmdLinePUT(cl.tech, file);
}

}  // namespace tobra
