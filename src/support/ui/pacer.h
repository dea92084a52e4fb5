#pragma once

#include <QObject>
#include <QTimer>

#include <functional>
#include <vector>

namespace tobra {

// Writes to controls that change many times a second at most once per
// interval each, the newest value winning. A backup of hundreds of small
// files changes the progress controls several times a file: faster than
// anyone can read, and each change is redrawn and announced to a screen
// reader, which then asks the window about it.
class Pacer : public QObject {
public:
    explicit Pacer(QObject *parent = nullptr);

    // 0 (the default) writes at once.
    void setInterval(int ms) { intervalMs_ = ms; }

    // Runs write now when key was not written within the interval; else
    // keeps it for the next refresh, replacing one kept for the same key.
    void put(const void *key, std::function<void()> write);
    // Runs write now and drops one kept for the same key, so a final text
    // is never overwritten by an older one.
    void now(const void *key, const std::function<void()> &write);
    // Runs every kept write.
    void flush();

private:
    struct Kept {
        const void *key;
        qint64 lastMs;
        std::function<void()> write;  // empty when nothing waits
    };
    Kept &entry(const void *key);

    int intervalMs_ = 0;
    std::vector<Kept> keys_;  // a handful of controls: a list is enough
    QTimer timer_;
};

}  // namespace tobra
