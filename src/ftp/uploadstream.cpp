#include "ftp/uploadstream_p.h"

namespace tobra {

namespace {

constexpr auto kProgressInterval = std::chrono::milliseconds(100);
constexpr qint64 kPrefixChunk = 256 * 1024;

}  // namespace

UploadStream::~UploadStream()
{
    std::lock_guard<std::mutex> lock(hs->mutex);
    hs->gone = true;
}

size_t UploadStream::onRead(char *buffer, size_t size, size_t count, void *userp)
{
    auto *u = static_cast<UploadStream *>(userp);
    // Never more than announced: a file that grows meanwhile must not
    // make the upload longer than its stated size.
    const qint64 want = qMin<qint64>(qint64(size * count), u->total - u->sent);
    if (want <= 0) {
        u->d->proofArmed = true;   // the proof's commands follow the data
        return 0;
    }
    const qint64 n = u->file.read(buffer, want);
    if (n < 0) {
        u->readFailed = true;
        return CURL_READFUNC_ABORT;
    }
    // Digested as it is sent: no second pass over the file.
    if (u->digest)
        u->digest->add(buffer, n);
    u->sent += n;
    return size_t(n);
}

int UploadStream::onProgress(void *userp, curl_off_t, curl_off_t, curl_off_t, curl_off_t ulnow)
{
    auto *u = static_cast<UploadStream *>(userp);
    if (u->writeJournal && monotonicMs() >= u->journalDueMs) {
        u->writeJournal();
        u->writeJournal = nullptr;
    }
    return u->progress(u->base + qint64(ulnow)) ? 1 : 0;
}

// The worker waits for the handler, as the handler may ask to cancel.
bool UploadStream::progress(qint64 done)
{
    if (cancel || d->cancelFlag || d->abortFlag)
        return true;
    const auto now = std::chrono::steady_clock::now();
    if (done <= base || done == lastReported)
        return false;
    if (done < total && now - lastEmit < kProgressInterval)
        return false;
    // Without an event loop to answer, the caller reports once at the end.
    if (!handshake)
        return false;
    lastReported = done;
    lastEmit = now;
    {
        std::lock_guard<std::mutex> lock(hs->mutex);
        hs->replied = false;
    }
    std::shared_ptr<Handshake> shared = hs;
    QMetaObject::invokeMethod(
        q,
        [this, shared, done] {
            {
                std::lock_guard<std::mutex> lock(shared->mutex);
                if (shared->gone)
                    return;
            }
            emitProgress(done);
            {
                std::lock_guard<std::mutex> lock(shared->mutex);
                shared->replied = true;
            }
            shared->answered.notify_one();
        },
        Qt::QueuedConnection);
    std::unique_lock<std::mutex> lock(hs->mutex);
    // A quitting application may never run the report.
    while (!hs->replied && !d->abortFlag)
        hs->answered.wait_for(lock, std::chrono::milliseconds(50));
    // Time spent in the handler (a message box, say) is not silence.
    d->touch();
    return cancel || d->cancelFlag;
}

void UploadStream::emitProgress(qint64 done)
{
    bool stop = false;
    ++d->handlerDepth;
    emit q->TransferProgress(localPath, remoteName, 0, done, total, &stop);
    --d->handlerDepth;
    if (stop)
        cancel = true;
}

bool UploadStream::digestFirstBytes(qint64 length, LocalDigest *prefix)
{
    if (digest)
        digest->reset();
    if (!file.seek(0))
        return false;
    QByteArray chunk(kPrefixChunk, Qt::Uninitialized);
    qint64 left = length;
    while (left > 0) {
        const qint64 n = file.read(chunk.data(), qMin(left, kPrefixChunk));
        if (n <= 0)
            return false;
        if (digest)
            digest->add(chunk.constData(), n);
        if (prefix)
            prefix->add(chunk.constData(), n);
        left -= n;
    }
    return true;
}

}  // namespace tobra
