// The component's operations: session, folders and listings. Uploads are
// in ftpupload.cpp, the session driver in ftpsession.cpp.
#include "ftp/ftpclient.h"

#include "ftp/ftplisting.h"
#include "ftp/ftpsession_p.h"
#include "ftp/remotepath.h"
#include "support/modcommon.h"
#include "support/runlog.h"

#include <optional>

namespace tobra {

namespace {

struct Listing {
    QByteArray data;
    bool tooLarge = false;

    static size_t onWrite(char *ptr, size_t size, size_t count, void *userp)
    {
        auto *l = static_cast<Listing *>(userp);
        const size_t n = size * count;
        if (qsizetype(l->data.size() + n) > kMaxListingBytes) {
            l->tooLarge = true;
            return 0;
        }
        l->data.append(ptr, qsizetype(n));
        return n;
    }
};

}  // namespace

FtpClient::FtpClient(QObject *parent) : QObject(parent), d(std::make_unique<Impl>(this))
{
    initCurlOnce();
}

FtpClient::~FtpClient()
{
    // No more status lines from a half-destroyed object.
    if (d->curl)
        curl_easy_setopt(d->curl, CURLOPT_VERBOSE, 0L);
    Impl::closeHandles(d->curl, d->multi);
}

bool FtpClient::Connected() const { return d->connected; }

QString FtpClient::Host() const { return d->hostText; }

QString FtpClient::LocalDirectory() const { return d->localDir; }

void FtpClient::setLocalDirectory(const QString &dir) { d->localDir = dir; }

QString FtpClient::currentDirectory() const { return d->currentDir; }

void FtpClient::setTimeouts(const FtpTimeouts &t) { d->timeouts = t; }

FtpTimeouts FtpClient::timeouts() const { return d->timeouts; }

void FtpClient::setTls(const FtpTls &tls) { d->tls = tls; }

FtpTls FtpClient::tls() const { return d->tls; }

bool FtpClient::encrypted() const { return d->connected && d->encrypted; }

QString FtpClient::serverKeyPin() const { return d->serverPin; }

void FtpClient::setRetryPolicy(const RetryPolicy &policy) { d->retryPolicy = policy; }

void FtpClient::requestCancel() { d->cancelFlag = true; }

void FtpClient::clearCancel() { d->cancelFlag = false; }

bool FtpClient::cancelRequested() const { return d->cancelFlag; }

void FtpClient::setWaitFilter(QObject *filter) { d->waitFilter = filter; }

bool FtpClient::inEventHandler() const { return d->handlerDepth > 0; }

bool FtpClient::transferRunning() const { return d->transferring; }

int FtpClient::loginCount() const { return d->logins; }

void FtpClient::Connect(const QString &host, const QString &user, const QString &password, int port)
{
    d->throwIfBusy();
    d->throwIfCancelled(QStringLiteral("Connecting"));
    if (hasControlChars(user) || hasControlChars(password))
        throw FtpError(kErrBadName, QStringLiteral("The user name or password contains control characters."));
    const Impl::Endpoint endpoint = Impl::parseHost(host, port);
    if (d->connected)
        Disconnect();
    {
        Impl::Busy busy(*d);
        d->urlHost = endpoint.urlHost;
        d->hostName = endpoint.name;
        d->port = endpoint.port;
        d->hostText = host.trimmed();
        d->user = user;
        d->password = password;
        d->portArg = port;
        d->haveSettings = true;
        d->mlsdRefused = false;
        d->renameUnsupported = false;
        d->currentDir = QStringLiteral("/");
        RunLog::instance().addSecret(password);
        logLine(QStringLiteral("connect"), QStringLiteral("%1 port %2 as %3").arg(endpoint.name).arg(endpoint.port).arg(user));

        // A fresh handle, so nothing of an earlier session is reused.
        d->closeHandle();
        d->serverPin.clear();
        const Impl::Result r = d->connectRequest();
        if (r.cancelled)
            throw FtpError(kErrCancelled, QStringLiteral("Connecting to %1 was cancelled.").arg(d->hostText), r.reason);
        if (r.code != CURLE_OK)
            throw FtpError(r.code == CURLE_PEER_FAILED_VERIFICATION ? kErrUntrustedServer : kErrCannotConnect,
                           QStringLiteral("Cannot connect to %1: %2").arg(d->hostText, r.reason), r.reason);
        if (d->loginsThisOp == 0)
            ++d->logins;   // a server that let us in without a 230 reply
        d->features = parseFeatures(d->featLines);
        d->checksum = chooseChecksum(d->features);
        d->hashSelected = false;
        // A server that lists its features without MLST has no MLSD either.
        d->mlsdRefused = d->features.answered && !d->features.has(QStringLiteral("MLST"));
        logLine(QStringLiteral("connect"), d->checksum ? QStringLiteral("uploads proven by size and ") + d->checksum->label()
                                                       : QStringLiteral("uploads proven by size: the server offers no checksum"));
        const char *entry = nullptr;
        if (curl_easy_getinfo(d->curl, CURLINFO_FTP_ENTRY_PATH, &entry) == CURLE_OK && entry
            && entry[0] == '/')
            d->currentDir = joinRemote(splitRemote(QString::fromUtf8(entry)));
        d->connected = true;
    }
    emit ConnectionStateChanged(FtpStateConnected);
}

void FtpClient::Disconnect()
{
    {
        Impl::Busy busy(*d);
        d->closeHandle();
        d->connected = false;
        d->mlsdRefused = false;
        d->currentDir = QStringLiteral("/");
    }
    emit ConnectionStateChanged(FtpStateDisconnected);
}

void FtpClient::Reconnect()
{
    d->throwIfBusy();
    if (!d->haveSettings)
        throw FtpError(kErrNotConnected, QStringLiteral("There is no earlier connection to open again."));
    if (d->connected)
        Disconnect();
    const QString host = d->hostText, user = d->user, password = d->password;
    Connect(host, user, password, d->portArg);
}

void FtpClient::CD(const QString &path)
{
    bool lost = false;
    std::optional<FtpError> error;
    QString target;
    {
        Impl::Busy busy(*d);
        d->requireConnected();
        d->throwIfCancelled(QStringLiteral("Changing the remote folder"));
        if (path.trimmed().isEmpty())
            throw FtpError(kErrRemoteFolder, QStringLiteral("No remote folder was given."));
        const QStringList segs = resolveRemote(d->currentDir, path);
        checkRemoteSegments(segs);
        target = joinRemote(segs);
        // Without a file, a body-less request is just the CWDs into the folder.
        d->prepare(d->folderUrl(segs));
        curl_easy_setopt(d->curl, CURLOPT_NOBODY, 1L);
        const Impl::Result r = d->perform();
        if (r.code != CURLE_OK)
            error = d->failure(r, kErrRemoteFolder, QStringLiteral("Cannot open remote folder %1").arg(target), &lost);
        else
            d->currentDir = target;
    }
    if (lost) {
        d->connected = false;
        emit ConnectionStateChanged(FtpStateLost);
    }
    if (error)
        throw *error;
    emit DirectoryChanged(target);
}

void FtpClient::MakeDirectory(const QString &name)
{
    bool lost = false;
    std::optional<FtpError> error;
    {
        Impl::Busy busy(*d);
        d->requireConnected();
        d->throwIfCancelled(QStringLiteral("Making a remote folder"));
        if (name.trimmed().isEmpty())
            throw FtpError(kErrBadName, QStringLiteral("No folder name was given."));
        const QStringList segs = resolveRemote(d->currentDir, name);
        checkRemoteSegments(segs);
        if (segs.isEmpty())
            throw FtpError(kErrRemoteFolder, QStringLiteral("The root folder cannot be made."));
        const QString target = joinRemote(segs);
        // Quote commands run before libcurl changes folder, in whatever
        // folder the connection is in: hence the absolute path. Sent as an
        // optional command, a refusal keeps the connection (and the login).
        Impl::Result r = d->quote({QStringLiteral("MKD ") + target});
        const int reply = d->replyTo(QStringLiteral("MKD "));
        if (r.code == CURLE_OK && (reply < 200 || reply >= 300)) {
            r.code = CURLE_QUOTE_ERROR;
            r.response = reply;
            r.reason = d->reasonOf(r);
        }
        if (r.code != CURLE_OK)
            error = d->failure(r, kErrRemoteFolder, QStringLiteral("Cannot make remote folder %1").arg(target), &lost);
    }
    if (lost) {
        d->connected = false;
        emit ConnectionStateChanged(FtpStateLost);
    }
    if (error)
        throw *error;
}

QList<FtpListEntry> FtpClient::List()
{
    bool lost = false;
    std::optional<FtpError> error;
    QList<FtpListEntry> entries;
    {
        Impl::Busy busy(*d);
        d->requireConnected();
        d->throwIfCancelled(QStringLiteral("Listing"));
        const QStringList segs = splitRemote(d->currentDir);
        Listing listing;
        auto fetch = [&](bool mlsd) {
            listing = Listing();
            d->prepare(d->folderUrl(segs));
            curl_easy_setopt(d->curl, CURLOPT_WRITEFUNCTION, &Listing::onWrite);
            curl_easy_setopt(d->curl, CURLOPT_WRITEDATA, &listing);
            if (mlsd)
                curl_easy_setopt(d->curl, CURLOPT_CUSTOMREQUEST, "MLSD");
            return d->perform();
        };
        bool mlsd = !d->mlsdRefused;
        Impl::Result r = fetch(mlsd);
        // 500-504: the server does not know MLSD. Ask the old way and keep
        // doing so on this connection.
        if (mlsd && r.code == CURLE_FTP_COULDNT_RETR_FILE && r.response >= 500 && r.response <= 504) {
            d->mlsdRefused = true;
            mlsd = false;
            r = fetch(false);
        }
        const QString what = QStringLiteral("Cannot list remote folder %1").arg(d->currentDir);
        if (listing.tooLarge) {
            error = FtpError(kErrListing, QStringLiteral("%1: the listing is larger than %2 MiB.")
                                              .arg(what)
                                              .arg(kMaxListingBytes / (1024 * 1024)));
        } else if (r.code != CURLE_OK) {
            const int number = r.code == CURLE_REMOTE_ACCESS_DENIED ? kErrRemoteFolder : kErrListing;
            error = d->failure(r, number, what, &lost);
        } else {
            // Parsed on the worker: ten thousand lines would hold up the
            // window for tens of milliseconds.
            d->runOnWorker([&] {
                try {
                    entries = mlsd ? parseMlsd(listing.data) : parseList(listing.data);
                } catch (const FtpError &e) {
                    error = e;
                }
                return CURLE_OK;
            });
        }
    }
    if (lost) {
        d->connected = false;
        emit ConnectionStateChanged(FtpStateLost);
    }
    if (error)
        throw *error;
    return entries;
}

QString RemoteFileName(const QString &localPath)
{
    const FileNameParts parts = ParseFileName(localPath);
    return parts.name.toUpper() + QLatin1Char('.') + parts.ext.toUpper();
}

}  // namespace tobra
