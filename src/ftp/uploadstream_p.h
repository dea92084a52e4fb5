#pragma once

// The bytes of one upload on their way from the local file to libcurl:
// read on the session's worker, digested as they pass, with progress
// reports handed to the thread that owns the component. Private to src/ftp.

#include "ftp/checksum.h"
#include "ftp/ftpsession_p.h"

#include <QFile>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

namespace tobra {

// What the worker and the calling thread share while a progress report is
// handled; outlives the upload when the report is still queued.
struct Handshake {
    std::mutex mutex;
    std::condition_variable answered;
    bool replied = false;
    bool gone = false;   // the upload has ended: drop the report
};

struct UploadStream {
    FtpClient *q = nullptr;
    FtpClient::Impl *d = nullptr;
    QFile file;
    qint64 total = 0;
    qint64 base = 0;   // bytes the server held when this request started
    qint64 sent = 0;   // file position of the next read
    bool readFailed = false;
    QString localPath;
    QString remoteName;
    bool handshake = true;   // wait for each progress handler to return
    // Of every byte from the start of the file up to sent.
    std::optional<LocalDigest> digest;
    // Called once on the worker when the upload is still going at
    // journalDueMs (steady clock).
    std::function<void()> writeJournal;
    qint64 journalDueMs = 0;

    std::atomic<bool> cancel{false};
    qint64 lastReported = -1;
    std::chrono::steady_clock::time_point lastEmit{};
    std::shared_ptr<Handshake> hs = std::make_shared<Handshake>();

    ~UploadStream();

    static size_t onRead(char *buffer, size_t size, size_t count, void *userp);
    static int onProgress(void *userp, curl_off_t, curl_off_t, curl_off_t, curl_off_t ulnow);
    // Reports progress at most every few tenths of a second plus once at
    // the end; true when the upload is to stop.
    bool progress(qint64 done);
    void emitProgress(qint64 done);

    // Starts the digest over with the first length bytes of the file (the
    // bytes the server already holds), also into *prefix when given; false
    // when the file cannot be read. Leaves the file at length.
    bool digestFirstBytes(qint64 length, LocalDigest *prefix);
};

}  // namespace tobra
