// TLS of the session: the policy of CHAT.INI and a trust model users know
// from SSH: a certificate verifies against the system's authorities, or
// carries the key the settings pin.
#include "ftp/ftpsession_p.h"

#include "support/runlog.h"

#include <QCryptographicHash>

#if __has_include(<openssl/ssl.h>)
#define TOBRA_HAVE_OPENSSL 1
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>
#endif

namespace tobra {

namespace {

#ifdef TOBRA_HAVE_OPENSSL
// The session whose handshake runs on this worker thread.
thread_local FtpClient::Impl *t_owner = nullptr;

QString pinOf(X509 *cert)
{
    EVP_PKEY *key = cert ? X509_get0_pubkey(cert) : nullptr;
    if (!key)
        return QString();
    const int len = i2d_PUBKEY(key, nullptr);
    if (len <= 0)
        return QString();
    QByteArray der(len, '\0');
    auto *out = reinterpret_cast<unsigned char *>(der.data());
    if (i2d_PUBKEY(key, &out) != len)
        return QString();
    return QStringLiteral("sha256//")
        + QString::fromLatin1(QCryptographicHash::hash(der, QCryptographicHash::Sha256).toBase64());
}

bool nameMatches(X509 *cert, const QString &host)
{
    const QByteArray name = host.toUtf8();
    return X509_check_host(cert, name.constData(), size_t(name.size()), 0, nullptr) == 1
        || X509_check_ip_asc(cert, name.constData(), 0) == 1;
}

// Runs for every certificate of the chain while OpenSSL verifies it; the
// result is what libcurl then checks.
int verifyCertificate(int preverified, X509_STORE_CTX *store)
{
    FtpClient::Impl *d = t_owner;
    if (!d)
        return preverified;
    X509 *leaf = X509_STORE_CTX_get0_cert(store);
    const QString pin = pinOf(leaf);
    d->serverPin = pin;
    if (d->tls.pin.isEmpty())
        return preverified;
    if (pin == d->tls.pin) {
        X509_STORE_CTX_set_error(store, X509_V_OK);
        return 1;
    }
    // Not the pinned key: it must verify, and then name this host, as
    // libcurl's own host check is off while a key is pinned.
    if (preverified && X509_STORE_CTX_get_error_depth(store) == 0 && !nameMatches(leaf, d->hostName)) {
        X509_STORE_CTX_set_error(store, X509_V_ERR_HOSTNAME_MISMATCH);
        return 0;
    }
    return preverified;
}
#endif

}  // namespace

CURLcode FtpClient::Impl::onSslContext(CURL *, void *sslContext, void *userp)
{
#ifdef TOBRA_HAVE_OPENSSL
    t_owner = static_cast<Impl *>(userp);
    auto *ctx = static_cast<SSL_CTX *>(sslContext);
    SSL_CTX_set_verify(ctx, SSL_CTX_get_verify_mode(ctx), &verifyCertificate);
    // Verbose mode (needed for the server's replies) makes libcurl trace
    // every TLS record as text nobody reads: about a tenth of an FTPS
    // upload's time.
    SSL_CTX_set_msg_callback(ctx, nullptr);
#else
    Q_UNUSED(sslContext);
    Q_UNUSED(userp);
#endif
    return CURLE_OK;
}

void FtpClient::Impl::prepareTls()
{
    // Never CURLUSESSL_TRY: it goes on in clear text when AUTH or PROT P
    // is refused, which a man in the middle can arrange.
    curl_easy_setopt(curl, CURLOPT_USE_SSL, useSsl);
    if (useSsl == CURLUSESSL_NONE)
        return;
    curl_easy_setopt(curl, CURLOPT_FTPSSLAUTH, long(CURLFTPAUTH_TLS));
    // TLS 1.2: a TLS 1.3 server sends its session ticket on a data
    // connection after the handshake, and when it comes after libcurl has
    // sent the file and closed, the closed socket answers with a reset and
    // the server loses the upload ("426 Failure reading network stream").
    curl_easy_setopt(curl, CURLOPT_SSLVERSION, long(CURL_SSLVERSION_TLSv1_2) | long(CURL_SSLVERSION_MAX_TLSv1_2));
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
    // A pinned key names the server by itself; the verify callback checks
    // the name of any other certificate.
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, tls.pin.isEmpty() ? 2L : 0L);
    // Unknown to TLS back ends other than OpenSSL: the pin then never
    // matches and only verified certificates pass.
    curl_easy_setopt(curl, CURLOPT_SSL_CTX_FUNCTION, &Impl::onSslContext);
    curl_easy_setopt(curl, CURLOPT_SSL_CTX_DATA, this);
}

FtpClient::Impl::Result FtpClient::Impl::connectRequest()
{
    const QString key = tlsServerKey(hostName, port);
    const bool known = tls.mode != TlsMode::Off && isKnownTlsServer(tls.knownServersFile, key);
    tlsDemandNow = tlsDemand(tls, known, key == tlsSessionKey);
    if (!tls.unknownMode.isEmpty())
        logLine(QStringLiteral("connect"),
                QStringLiteral("TLS=%1 in CHAT.INI is none of auto, required and off: read as required").arg(tls.unknownMode));
    auto attempt = [this](long use) {
        useSsl = use;
        prepare(baseUrl(), true);
        curl_easy_setopt(curl, CURLOPT_NOBODY, 1L);
        // What the server can do, asked once a session: the checksum that
        // proves an upload, and whether MLSD is worth trying.
        curl_slist *feat = curl_slist_append(nullptr, "*FEAT");
        curl_easy_setopt(curl, CURLOPT_QUOTE, feat);
        featLines.clear();
        const Result r = perform(true);
        curl_easy_setopt(curl, CURLOPT_QUOTE, static_cast<curl_slist *>(nullptr));
        curl_slist_free_all(feat);
        return r;
    };
    Result r = attempt(tlsDemandNow == TlsDemand::Off ? CURLUSESSL_NONE : CURLUSESSL_ALL);
    // Only a server nothing is known of, that refused AUTH itself, gets
    // the login in plain text; libcurl stopped before sending it.
    if (r.code == CURLE_USE_SSL_FAILED && tlsDemandNow == TlsDemand::NotRequired && authReply() != 234) {
        logLine(QStringLiteral("connect"), QStringLiteral("the server refused AUTH TLS: plain FTP"));
        r = attempt(CURLUSESSL_NONE);
    }
    tlsRefused = r.code == CURLE_USE_SSL_FAILED;
    encrypted = r.code == CURLE_OK && useSsl == CURLUSESSL_ALL;
    if (r.code != CURLE_OK)
        return r;
    logLine(QStringLiteral("connect"), encrypted ? QStringLiteral("TLS on control and data connections")
                                                 : QStringLiteral("plain FTP: no TLS on control and data connections"));
    if (encrypted) {
        tlsSessionKey = key;
        if (!known && !tls.knownServersFile.isEmpty() && !rememberTlsServer(tls.knownServersFile, key))
            logLine(QStringLiteral("connect"), QStringLiteral("cannot remember %1 in %2").arg(key, tls.knownServersFile));
    }
    return r;
}

int FtpClient::Impl::authReply() const
{
    int first = 0;
    for (const Exchange &e : exchanges) {
        if (!e.command.startsWith(QLatin1String("AUTH ")))
            continue;
        if (e.reply == 234)
            return 234;
        if (first == 0)
            first = e.reply;
    }
    return first;
}

QString FtpClient::Impl::tlsRefusalReason() const
{
    // One arg() call each: a host such as "fe80::1%2" must not be filled in.
    const QString where = QStringLiteral("%1 (port %2)").arg(hostName, QString::number(port));
    const QString howOn = QStringLiteral("If that is expected, set TLS=off in CHAT.INI [PREFERENCES].");
    const int auth = authReply(), prot = replyTo(QStringLiteral("PROT "));
    if (auth == 234 && prot != 0 && (prot < 200 || prot >= 300))
        return QStringLiteral("%1 accepted AUTH TLS but refused PROT P (reply %2): files would travel in clear "
                              "text on the data connection. %3")
            .arg(where, QString::number(prot), howOn);
    const QString refused = auth == 0 ? QStringLiteral("%1 did not take AUTH TLS").arg(where)
                                      : QStringLiteral("%1 refused AUTH TLS (reply %2)").arg(where, QString::number(auth));
    const QString why = tlsDemandText(tlsDemandNow, tls);
    if (why.isEmpty())
        return refused + QLatin1Char('.');   // plain FTP follows
    return QStringLiteral("%1: it offers no TLS now, and TLS is required because %2. %3").arg(refused, why, howOn);
}

}  // namespace tobra
