#pragma once

#include "ftp/ftpclient.h"

#include <QList>
#include <QString>

namespace tobra {

// The one CHAT.INI: the file in the INI folder that the server address
// (URL) is read from. Every other key of it is read and written there too.
QString chatIniPath();
// A key of CHAT.INI [PREFERENCES]; "" when missing.
QString readChatSetting(const QString &key);
// text as a whole number from min to max; fallback for anything else.
int wholeNumberOr(const QString &text, int min, int max, int fallback);

// Time-outs in seconds as CHAT.INI [PREFERENCES] gives them
// (CONNECTTIMEOUT, STALLTIMEOUT); a missing or bad value gives the default.
FtpTimeouts parseTimeouts(const QString &connectSeconds, const QString &stallSeconds);
FtpTimeouts timeoutsFromSettings();

// TLS as CHAT.INI [PREFERENCES] gives it: TLS = auto (also for a missing or
// empty value), required or off; any other value is read as required.
// CERT = "sha256//" + base64 of the SHA-256 of the server's public key.
FtpTls parseTls(const QString &mode, const QString &cert);
// With the servers known to speak TLS (ftp/tlstrust.h).
FtpTls tlsFromSettings();
// Trusts the server's key from now on: writes CERT, changing only that line.
bool trustServerKey(const QString &pin);
// The line to add to CHAT.INI [PREFERENCES] to trust a key.
QString certSettingLine(const QString &pin);

// Seconds an unattended upload keeps trying after its connection is lost,
// as CHAT.INI [PREFERENCES] RETRYFOR gives it: 0 to 86400, default 300.
int parseRetryFor(const QString &seconds);
// Retries of the unattended upload: waits of 1, 2, 4, 8, 16, then 30 s
// within RETRYFOR. $TOBRA_RETRY_BASE_MS replaces the first wait (the others
// scale with it), so tests need not wait seconds.
RetryPolicy unattendedRetryPolicy();

}  // namespace tobra
