#include "app/unattended.h"

#include "app/exitcodes.h"
#include "ftp/ftpclient.h"
#include "ftp/ftpevents.h"
#include "ftp/ftpsettings.h"
#include "ftp/remotepath.h"
#include "support/globals.h"
#include "support/messages.h"
#include "support/errorhandler.h"
#include "support/modcommon.h"
#include "support/tagini.h"

#include <QDir>
#include <QFile>

#include <csignal>
#include <cstdio>

#ifndef Q_OS_WIN
#include <unistd.h>
#endif

namespace tobra {

namespace {

FtpClient *g_signalled = nullptr;

extern "C" void cancelOnSignal(int)
{
    // Only a lock-free store: safe in a signal handler.
    if (g_signalled)
        g_signalled->requestCancel();
}

// SIGINT and SIGTERM cancel the upload; a second one ends the process at
// once (the handler resets itself).
class SignalCancel {
public:
    explicit SignalCancel(FtpClient &ftp)
    {
        g_signalled = &ftp;
#ifdef Q_OS_WIN
        std::signal(SIGINT, cancelOnSignal);
        std::signal(SIGTERM, cancelOnSignal);
#else
        struct sigaction sa = {};
        sa.sa_handler = cancelOnSignal;
        sa.sa_flags = SA_RESETHAND;
        sigemptyset(&sa.sa_mask);
        sigaction(SIGINT, &sa, &oldInt_);
        sigaction(SIGTERM, &sa, &oldTerm_);
#endif
    }
    ~SignalCancel()
    {
#ifdef Q_OS_WIN
        std::signal(SIGINT, SIG_DFL);
        std::signal(SIGTERM, SIG_DFL);
#else
        sigaction(SIGINT, &oldInt_, nullptr);
        sigaction(SIGTERM, &oldTerm_, nullptr);
#endif
        g_signalled = nullptr;
    }
    SignalCancel(const SignalCancel &) = delete;
    SignalCancel &operator=(const SignalCancel &) = delete;

private:
#ifndef Q_OS_WIN
    struct sigaction oldInt_ = {}, oldTerm_ = {};
#endif
};

void printLine(const QString &line)
{
    const QByteArray bytes = line.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
    std::fflush(stderr);
}

}  // namespace

int runUnattendedUpload(const CommandLine &cl)
{
    FtpClient ftp;
    ftp.setRetryPolicy(unattendedRetryPolicy());
    UnattendedUpload upload(ftp);
#ifndef Q_OS_WIN
    upload.showProgress = isatty(STDERR_FILENO);
#endif
    SignalCancel onSignal(ftp);
    return upload.run(cl, QDir::currentPath());
}

QString completeFileWord(const QString &file, const QString &currentFolder)
{
    return QDir::cleanPath(QDir(currentFolder).absoluteFilePath(toFileSystemPath(file.trimmed())));
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
    // No question on this road: the component retries by itself, and a
    // run that gives up says why and ends with status 5.
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
    // Retries and a cancel are news to whoever watches the console.
    if (msg.startsWith(QLatin1String("Connection lost;")) || msg.startsWith(QLatin1String("Cancelling ")))
        printLine(msg);
    showUploadNotice(msg);
}

void UnattendedUpload::CmdLineFtpConnect()
{
    setCurrentProcName(QStringLiteral("ftpconnect"));
    connectReason_.reset();
    if (!ftp_.Connected()) {
        try {
            // Nobody here can judge a certificate: never trusted by default.
            connectWithSettings(ftp_, txtURL, false);
        } catch (const FtpError &e) {
            // Told once, with the reason, by CmdLinePUT.
            if (e.number() != kErrCancelled)
                connectReason_ = e.reason();
            if (e.number() == kErrUntrustedServer && !ftp_.serverKeyPin().isEmpty())
                *connectReason_ += QStringLiteral("\nTo trust this server, add this line to CHAT.INI [PREFERENCES]: ")
                                   + certSettingLine(ftp_.serverKeyPin());
            return;
        }
    }
}

void UnattendedUpload::FtpDisconnect()
{
    if (ftp_.Connected())
        ftp_.Disconnect();
}

int UnattendedUpload::CmdLinePUT(const QString &DestinationDir, const QString &SourceFile)
{
    txtURL = tagReadValue(urlTag()).trimmed();
    CmdLineFtpConnect();
    if (ftp_.cancelRequested())
        return ExitCancelled;
    if (!ftp_.Connected()) {
        Messages::show(QStringLiteral("Unable to connect to FTP Server.")
                           + (connectReason_ ? QStringLiteral("\n") + *connectReason_ : QString()),
                       MsgStyle::Exclamation, QStringLiteral("CONNECTION ERROR"));
        return ExitNoConnection;
    }
    int status = ExitOk;
    if (FileExists(SourceFile)) {
        try {
            ftp_.PutFile(SourceFile, QStringLiteral("/uploads/") + DestinationDir);
        } catch (const FtpError &e) {
            if (e.number() == kErrCancelled) {
                status = ExitCancelled;   // the status line has said so
            } else {
                // A broken or short upload must never end as a success.
                Messages::show(QStringLiteral("Upload of ") + SourceFile + QStringLiteral(" failed.\n") + e.reason(),
                               MsgStyle::Critical, QStringLiteral("ERROR"));
                status = e.number() == kErrCannotConnect ? ExitNoConnection
                         : e.number() == kErrLocalFile   ? ExitFileMissing
                                                         : ExitTransferFailed;
            }
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
    // Found before connecting, not after a login and a folder made for nothing.
    QFile probe(file);
    if (!probe.open(QIODevice::ReadOnly)) {
        Messages::show(QStringLiteral("File ") + file + QStringLiteral(" cannot be read.\n")
                           + QStringLiteral("The local file %1 cannot be read: %2.").arg(file, probe.errorString()),
                       MsgStyle::Critical, QStringLiteral("ERROR"));
        return ExitFileMissing;
    }
    probe.close();
    program().CurrentFileNumber = 1;
    program().FileCount = 1;
    return CmdLinePUT(cl.tech, file);
}

}  // namespace tobra
