#pragma once

#include <QFile>
#include <QString>
#include <QStringList>

#include <mutex>

namespace tobra {

// The run log kept for the maker's support staff: FTP commands and replies,
// transfers, retries and errors, with times, appended by every run.
class RunLog {
public:
    // The process-wide log. Until open() or openDefault() succeeds, write() does nothing.
    static RunLog &instance();
    // Default location (see defaultPath()); false (and logging stays off) when it cannot be opened.
    bool openDefault();
    // A given file (--log FILE); rotate=false for it.
    bool open(const QString &path, bool rotate);
    void close();
    bool isOpen() const;
    QString path() const;
    // Texts that must never reach the file (the password): every occurrence is replaced by "*****".
    // Several secrets may be added; empty ones are ignored.
    void addSecret(const QString &secret);
    // One line: "2026-12-06 14:03:07.123 [pid] KIND text" (local time, ms). Control characters in text
    // (including CR/LF and U+2028/U+2029) are replaced by blanks so one call is one line. Thread-safe;
    // each line reaches the file right away so a crash keeps it.
    void write(const QString &kind, const QString &text);
    // For tests: path of the default log given the environment (no I/O).
    static QString defaultPath();

    RunLog(const RunLog &) = delete;
    RunLog &operator=(const RunLog &) = delete;

private:
    RunLog() = default;
    ~RunLog();
    bool openLocked(const QString &path);
    void rotateLocked();
    QString maskLocked(QString text) const;
    // "yyyy-MM-dd HH:mm:ss.zzz [pid] " of now, local time.
    QByteArray stampLocked();

    mutable std::mutex mutex_;
    QFile file_;
    bool rotate_ = false;
    qint64 size_ = 0;
    // Longest first, so a secret that contains another is replaced whole.
    QStringList secrets_;
    // The date and time to the second, worked out once a second: a date
    // format per line was most of what logging a line cost.
    qint64 stampSecond_ = -1;
    QByteArray stampPrefix_;
};

// Shorthand for RunLog::instance().write(kind, text).
void logLine(const QString &kind, const QString &text);

}  // namespace tobra
