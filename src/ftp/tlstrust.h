#pragma once

#include "ftp/ftpclient.h"

#include <QString>

namespace tobra {

// Why TLS is required of a server, as SSH treats its known hosts: once a
// server has shown it speaks TLS, a server that no longer does is refused
// rather than spoken to in clear text.
enum class TlsDemand {
    NotRequired,     // TLS=auto and nothing known: plain FTP when the server offers no TLS
    Setting,         // TLS=required
    UnknownSetting,  // a TLS value that is none of auto, required, off
    PinnedKey,       // CERT pins the server's key
    KnownServer,     // this installation has logged in to it over TLS before
    ThisSession,     // this session logged in to it over TLS
    Off,             // TLS=off: plain FTP
};

// The rule: TLS=off wins, then what CHAT.INI says, then what is known of
// the server.
TlsDemand tlsDemand(const FtpTls &tls, bool knownServer, bool thisSession);
// Why TLS is required, to follow "TLS is required because".
QString tlsDemandText(TlsDemand demand, const FtpTls &tls);

// The servers this installation has logged in to over TLS: one "host:port"
// a line ("[v6-address]:port"), in the state folder. A line that is no such
// entry is ignored.
QString knownTlsServersFile();
QString tlsServerKey(const QString &hostName, int port);
bool isKnownTlsServer(const QString &file, const QString &key);
// Adds key (atomically, private to the user); false when it cannot be written.
bool rememberTlsServer(const QString &file, const QString &key);

}  // namespace tobra
