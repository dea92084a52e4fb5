#include "ftp/ftpevents.h"

#include "ftp/ftpclient.h"
#include "ftp/ftpsettings.h"
#include "support/globals.h"
#include "support/messages.h"

namespace tobra {

QString cannotLogonText()
{
    return QStringLiteral("Cannot find (logon) the ftp server.");
}

void reportConnectError(const FtpError &e)
{
    if (e.number() == kErrCannotConnect)
        Messages::show(cannotLogonText() + QLatin1Char('\n') + e.reason(), MsgStyle::OkOnly);
}

QString transferCompleteLine(const QString &remoteFile, const QString &localFile, bool download)
{
    return (download ? QStringLiteral("Down") : QStringLiteral("Up")) + QStringLiteral("load of ")
        + (download ? remoteFile : localFile) + QStringLiteral(" complete");
}

QString transferCancelledLine(const QString &remoteFile, const QString &localFile, bool download)
{
    return QStringLiteral("Cancelling ") + (download ? QStringLiteral("down") : QStringLiteral("up"))
        + QStringLiteral("load of ") + (download ? remoteFile : localFile);
}

bool isUploadNotice(const QString &line)
{
    return line.contains(QLatin1String("complete")) && line.contains(QLatin1String("Upload"));
}

void showUploadNotice(const QString &line)
{
    if (isUploadNotice(line))
        Messages::show(line, MsgStyle::Information, QStringLiteral("Transfer Notification"));
}

void handleConnectionLost(FtpClient &ftp)
{
    const MsgAnswer a = Messages::show(QStringLiteral("Connection to ") + ftp.Host()
                                           + QStringLiteral(" has been lost - would you like to reconnect?"),
                                       MsgStyle::YesNo | MsgStyle::Question, QStringLiteral("Connection lost"));
    try {
        if (a == MsgAnswer::Yes)
            ftp.Reconnect();
        else if (ftp.Connected())
            ftp.Disconnect();
    } catch (const FtpError &e) {
        Messages::show(QStringLiteral("Could not reconnect: ") + e.description(), MsgStyle::OkOnly);
    }
}

bool ensureConnected(FtpClient &ftp, const QString &host)
{
    if (ftp.Connected())
        return true;
    try {
        ftp.setTimeouts(timeoutsFromSettings());
        ftp.Connect(host, ftpUser(), ftpPassword(), kFtpPort);
    } catch (const FtpError &e) {
        reportConnectError(e);
    }
    return ftp.Connected();
}

}  // namespace tobra
