#include "ftp/tlstrust.h"

#include "support/statefolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace tobra {

namespace {

// Far more than any customer's servers; a larger file is not ours.
constexpr qint64 kMaxKnownBytes = 1024 * 1024;

const QByteArray kHeader = "# Servers Tobra has logged in to over TLS: it speaks to them only over TLS.\n"
                           "# When one no longer offers TLS and that is expected, delete its line\n"
                           "# (or set TLS=off in CHAT.INI [PREFERENCES]).\n";

// "host:port" or "[v6]:port" as tlsServerKey writes it; anything else in
// the file (a comment, a broken line) is no entry.
bool isEntry(const QByteArray &line)
{
    const qsizetype colon = line.lastIndexOf(':');
    if (line.isEmpty() || line.size() > 300 || colon <= 0 || colon + 1 >= line.size())
        return false;
    const bool printable = std::all_of(line.begin(), line.end(), [](char c) { return c > 0x20 && c < 0x7f; });
    const QByteArray port = line.mid(colon + 1);
    return printable && std::all_of(port.begin(), port.end(), [](char c) { return c >= '0' && c <= '9'; });
}

QList<QByteArray> readLines(const QString &file)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QList<QByteArray> lines = f.read(kMaxKnownBytes).split('\n');
    for (QByteArray &l : lines)
        l = l.trimmed();
    return lines;
}

}  // namespace

TlsDemand tlsDemand(const FtpTls &tls, bool knownServer, bool thisSession)
{
    switch (tls.mode) {
    case TlsMode::Off:
        return TlsDemand::Off;
    case TlsMode::Required:
        return tls.unknownMode.isEmpty() ? TlsDemand::Setting : TlsDemand::UnknownSetting;
    case TlsMode::Auto:
        break;
    }
    if (!tls.pin.isEmpty())
        return TlsDemand::PinnedKey;
    if (thisSession)
        return TlsDemand::ThisSession;
    return knownServer ? TlsDemand::KnownServer : TlsDemand::NotRequired;
}

QString tlsDemandText(TlsDemand demand, const FtpTls &tls)
{
    switch (demand) {
    case TlsDemand::Setting:
        return QStringLiteral("CHAT.INI says TLS=required");
    case TlsDemand::UnknownSetting:
        return QStringLiteral("CHAT.INI says TLS=%1, which is none of auto, required and off").arg(tls.unknownMode);
    case TlsDemand::PinnedKey:
        return QStringLiteral("CHAT.INI pins the server's key (CERT)");
    case TlsDemand::KnownServer:
        return QStringLiteral("this computer has logged in to it over TLS before (%1)")
            .arg(QDir::toNativeSeparators(tls.knownServersFile));
    case TlsDemand::ThisSession:
        return QStringLiteral("this session logged in to it over TLS");
    case TlsDemand::NotRequired:
    case TlsDemand::Off:
        break;
    }
    return QString();
}

QString knownTlsServersFile()
{
    return stateFolder() + QStringLiteral("/tls-servers");
}

QString tlsServerKey(const QString &hostName, int port)
{
    const QString name = hostName.trimmed().toLower();
    return (name.contains(QLatin1Char(':')) ? QLatin1Char('[') + name + QLatin1Char(']') : name) + QLatin1Char(':')
        + QString::number(port);
}

bool isKnownTlsServer(const QString &file, const QString &key)
{
    if (file.isEmpty())
        return false;
    const QByteArray want = key.toUtf8().toLower();
    const QList<QByteArray> lines = readLines(file);
    return std::any_of(lines.begin(), lines.end(), [&](const QByteArray &l) { return isEntry(l) && l.toLower() == want; });
}

bool rememberTlsServer(const QString &file, const QString &key)
{
    if (file.isEmpty())
        return false;
    if (isKnownTlsServer(file, key))
        return true;
    const QString folder = QFileInfo(file).absolutePath();
    const bool made = QDir::cleanPath(folder) == QDir::cleanPath(stateFolder()) ? makeStateFolder() : QDir().mkpath(folder);
    if (!made)
        return false;
    // Comments and entries stay; what a broken write or an editor left goes.
    QByteArray out;
    for (const QByteArray &l : readLines(file))
        if (l.startsWith('#') || isEntry(l))
            out += l + '\n';
    if (out.isEmpty())
        out = kHeader;
    return writePrivateFile(file, out + key.toUtf8() + '\n');
}

}  // namespace tobra
