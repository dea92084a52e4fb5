#pragma once

#include <QString>

namespace tobra {

class FtpClient;
class FtpError;

// Shown when the server cannot be reached or refuses the login.
QString cannotLogonText();
// Shows cannotLogonText() for the component's connect error; other errors
// stay silent, as the windows' connect routines do.
void reportConnectError(const FtpError &e);

// What went wrong, as far as the customer's next step goes.
enum class FailureKind {
    Offline,        // no Internet, or the server's name is not found
    NotAnswering,   // the server refuses the connection, stays silent or drops it
    LoginRefused,   // the server refuses the program's login
    LocalFile,      // the file cannot be read here
    ServerRefused,  // the server refuses the file or its folder
    Other,
};
FailureKind failureKindOf(const FtpError &e);
// One plain line a customer can act on.
QString nextStepText(FailureKind kind);
// A failure message: the system's first line, the reason, the next step.
QString failureMessage(const QString &firstLine, const FtpError &e);

// "Upload of X complete" / "Download of Y complete".
QString transferCompleteLine(const QString &remoteFile, const QString &localFile, bool download);
// "Cancelling upload of X".
QString transferCancelledLine(const QString &remoteFile, const QString &localFile, bool download);
// A status line that is a completed upload gets the "Transfer Notification" box.
bool isUploadNotice(const QString &line);
void showUploadNotice(const QString &line);

// The question asked when a connection is lost.
QString connectionLostQuestion(const QString &host);
// Said when a reconnect asked for fails.
void reportReconnectFailure(const FtpError &e);

// The reaction to a lost connection: asks whether to reconnect; Yes
// reconnects, No disconnects. A failed reconnect is reported.
void handleConnectionLost(FtpClient &ftp);

// Connects with the fixed login and the settings of CHAT.INI (time-outs,
// TLS). With askToTrust, a server whose certificate cannot be trusted is
// asked about (No is the default): Yes trusts its key from now on (CERT)
// and connects again, No raises kErrCancelled with declinedTrustText() as
// its reason. Raises FtpError as Connect does.
void connectWithSettings(FtpClient &ftp, const QString &host, bool askToTrust);
// The question asked about a server whose certificate cannot be trusted.
QString untrustedServerQuestion(const QString &host, const QString &pin);
// The code a customer reads to support: the key's SHA-256 as four groups of
// four hex digits ("3F2A 9C01 ..."); empty for a pin that is not sha256//.
QString pinShortCode(const QString &pin);
// The status line after No to the trust question.
QString declinedTrustText();
// The status line after a connect that did not succeed: the declined trust
// or the cancel, else "Not connected".
QString notConnectedText(const FtpError &e);

// Connects when not connected; reports the connect error. Returns Connected().
// *status, when given, gets notConnectedText() of a failed connect.
bool ensureConnected(FtpClient &ftp, const QString &host, QString *status = nullptr);

}  // namespace tobra
