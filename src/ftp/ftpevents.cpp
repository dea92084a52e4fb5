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
    if (e.number() == kErrCannotConnect || e.number() == kErrUntrustedServer)
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

QString untrustedServerQuestion(const QString &host, const QString &pin)
{
    return QStringLiteral("The certificate of %1 cannot be verified. The key of this server is\n%2\n"
                          "Compare it with the key the maker gave you. Trust this server from now on?")
        .arg(host, pin);
}

void connectWithSettings(FtpClient &ftp, const QString &host, bool askToTrust)
{
    ftp.setTimeouts(timeoutsFromSettings());
    ftp.setTls(tlsFromSettings());
    try {
        ftp.Connect(host, ftpUser(), ftpPassword(), kFtpPort);
    } catch (const FtpError &e) {
        const QString pin = ftp.serverKeyPin();
        if (!askToTrust || e.number() != kErrUntrustedServer || pin.isEmpty())
            throw;
        if (Messages::show(untrustedServerQuestion(host, pin), MsgStyle::YesNo | MsgStyle::Exclamation,
                           QStringLiteral("Security warning"))
            != MsgAnswer::Yes)
            throw FtpError(kErrCancelled, QStringLiteral("The server %1 was not trusted.").arg(host),
                           QStringLiteral("The server's certificate was not trusted."));
        if (!trustServerKey(pin))
            throw;
        ftp.setTls(tlsFromSettings());
        ftp.Connect(host, ftpUser(), ftpPassword(), kFtpPort);
    }
}

bool ensureConnected(FtpClient &ftp, const QString &host)
{
    if (ftp.Connected())
        return true;
    try {
        connectWithSettings(ftp, host, true);
    } catch (const FtpError &e) {
        reportConnectError(e);
    }
    return ftp.Connected();
}

}  // namespace tobra
