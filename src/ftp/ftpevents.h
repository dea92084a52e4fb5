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

// "Upload of X complete" / "Download of Y complete".
QString transferCompleteLine(const QString &remoteFile, const QString &localFile, bool download);
// "Cancelling upload of X".
QString transferCancelledLine(const QString &remoteFile, const QString &localFile, bool download);
// A status line that is a completed upload gets the "Transfer Notification" box.
bool isUploadNotice(const QString &line);
void showUploadNotice(const QString &line);

// The reaction to a lost connection: asks whether to reconnect; Yes
// reconnects, No disconnects. A failed reconnect is reported.
void handleConnectionLost(FtpClient &ftp);

// Connects with the fixed login and the settings of CHAT.INI (time-outs,
// TLS). With askToTrust, a server whose certificate cannot be trusted is
// asked about: Yes trusts its key from now on (CERT) and connects again, No
// raises kErrCancelled. Raises FtpError as Connect does.
void connectWithSettings(FtpClient &ftp, const QString &host, bool askToTrust);
// The question asked about a server whose certificate cannot be trusted.
QString untrustedServerQuestion(const QString &host, const QString &pin);

// Connects when not connected; reports the connect error. Returns Connected().
bool ensureConnected(FtpClient &ftp, const QString &host);

}  // namespace tobra
