#include "ftp/ftpevents.h"

#include "ftp/ftpclient.h"
#include "ftp/ftpsettings.h"
#include "support/globals.h"
#include "support/messages.h"

#include <QStringList>

namespace tobra {

QString cannotLogonText()
{
    return QStringLiteral("Cannot find (logon) the ftp server.");
}

void reportConnectError(const FtpError &e)
{
    if (e.number() == kErrCannotConnect || e.number() == kErrUntrustedServer)
        Messages::show(failureMessage(cannotLogonText(), e), MsgStyle::Critical);
}

namespace {

// The error number and a piece of the session's reason that tell a kind;
// the first row that fits wins, an empty piece fits any reason.
struct KindRule {
    int number;
    const char *piece;
    FailureKind kind;
};
constexpr KindRule kKindRules[] = {
    {kErrCannotConnect, "did not resolve", FailureKind::Offline},
    {kErrCannotConnect, "cannot be reached", FailureKind::Offline},
    {kErrCannotConnect, "refused the login", FailureKind::LoginRefused},
    {kErrCannotConnect, "refused the connection", FailureKind::NotAnswering},
    {kErrCannotConnect, "No answer", FailureKind::NotAnswering},
    {kErrTransfer, "was lost", FailureKind::NotAnswering},
    {kErrTransfer, "No answer", FailureKind::NotAnswering},
    {kErrTransfer, "", FailureKind::ServerRefused},
    {kErrRemoteFolder, "", FailureKind::ServerRefused},
    {kErrLocalFile, "", FailureKind::LocalFile},
    {kErrBadName, "does not name a file", FailureKind::LocalFile},
};

struct NextStep {
    FailureKind kind;
    const char *text;
};
constexpr NextStep kNextSteps[] = {
    {FailureKind::Offline, "Check that this computer is connected to the Internet, then try again."},
    {FailureKind::NotAnswering,
     "The server is not answering. Check the Internet connection and try again in a few minutes; if it still "
     "fails, call the maker's support."},
    {FailureKind::LoginRefused,
     "Call the maker's support: the program's login is built in and cannot be changed on this computer."},
    {FailureKind::LocalFile,
     "Check that the file is on this computer and not open in another program, then choose it again."},
    {FailureKind::ServerRefused, "The server did not take the file. Call the maker's support and read them this message."},
    {FailureKind::Other, "Try again; if it still fails, call the maker's support and read them this message."},
};

}  // namespace

FailureKind failureKindOf(const FtpError &e)
{
    for (const KindRule &r : kKindRules)
        if (r.number == e.number() && e.reason().contains(QLatin1String(r.piece)))
            return r.kind;
    return FailureKind::Other;
}

QString nextStepText(FailureKind kind)
{
    for (const NextStep &n : kNextSteps)
        if (n.kind == kind)
            return QString::fromLatin1(n.text);
    return nextStepText(FailureKind::Other);
}

QString failureMessage(const QString &firstLine, const FtpError &e)
{
    QString text = firstLine;
    // A first line that holds the reason (an error's own description) does
    // not repeat it.
    if (!firstLine.contains(e.reason()))
        text += QLatin1Char('\n') + e.reason();
    return text + QLatin1Char('\n') + nextStepText(failureKindOf(e));
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

QString connectionLostQuestion(const QString &host)
{
    return QStringLiteral("Connection to ") + host + QStringLiteral(" has been lost - would you like to reconnect?");
}

void reportReconnectFailure(const FtpError &e)
{
    Messages::show(failureMessage(QStringLiteral("Could not reconnect: ") + e.description(), e), MsgStyle::Critical);
}

void handleConnectionLost(FtpClient &ftp)
{
    const MsgAnswer a = Messages::show(connectionLostQuestion(ftp.Host()), MsgStyle::YesNo | MsgStyle::Question,
                                       QStringLiteral("Connection lost"));
    try {
        if (a == MsgAnswer::Yes)
            ftp.Reconnect();
        else if (ftp.Connected())
            ftp.Disconnect();
    } catch (const FtpError &e) {
        reportReconnectFailure(e);
    }
}

QString pinShortCode(const QString &pin)
{
    const QLatin1String prefix("sha256//");
    if (!pin.startsWith(prefix))
        return QString();
    const QByteArray hex = QByteArray::fromBase64(pin.mid(prefix.size()).toLatin1()).toHex().toUpper();
    if (hex.size() < 16)
        return QString();
    QStringList groups;
    for (int i = 0; i < 16; i += 4)
        groups << QString::fromLatin1(hex.mid(i, 4));
    return groups.join(QLatin1Char(' '));
}

QString untrustedServerQuestion(const QString &host, const QString &pin)
{
    return QStringLiteral("This computer cannot confirm that it is talking to the maker's server (%1).\n\n"
                          "Call the maker's support and read them this code:\n\n    %2\n\n"
                          "Answer Yes only if they confirm it. If you are not sure, answer No: nothing is sent.\n\n"
                          "For support staff: %3")
        .arg(host, pinShortCode(pin), pin);
}

QString declinedTrustText()
{
    return QStringLiteral("Not connected: the server's identity was not confirmed");
}

QString notConnectedText(const FtpError &e)
{
    if (e.number() == kErrCancelled)
        return e.reason() == declinedTrustText() ? e.reason() : QStringLiteral("Not connected: connecting was cancelled");
    return QStringLiteral("Not connected");
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
        // Enter must never trust: No is the default.
        if (Messages::show(untrustedServerQuestion(host, pin),
                           MsgStyle::YesNo | MsgStyle::Exclamation | MsgStyle::DefaultButton2,
                           QStringLiteral("Security warning"))
            != MsgAnswer::Yes)
            throw FtpError(kErrCancelled, QStringLiteral("The server %1 was not trusted.").arg(host),
                           declinedTrustText());
        if (!trustServerKey(pin))
            throw;
        ftp.setTls(tlsFromSettings());
        ftp.Connect(host, ftpUser(), ftpPassword(), kFtpPort);
    }
}

bool ensureConnected(FtpClient &ftp, const QString &host, QString *status)
{
    if (ftp.Connected())
        return true;
    try {
        connectWithSettings(ftp, host, true);
    } catch (const FtpError &e) {
        if (status)
            *status = notConnectedText(e);
        reportConnectError(e);
    }
    return ftp.Connected();
}

}  // namespace tobra
