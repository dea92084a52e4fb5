#include "support/ui/pacer.h"

#include "support/monotonic.h"

#include <limits>
#include <utility>

namespace tobra {

Pacer::Pacer(QObject *parent) : QObject(parent)
{
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, &Pacer::flush);
}

Pacer::Kept &Pacer::entry(const void *key)
{
    for (Kept &k : keys_)
        if (k.key == key)
            return k;
    keys_.push_back({key, std::numeric_limits<qint64>::min() / 2, {}});
    return keys_.back();
}

void Pacer::put(const void *key, std::function<void()> write)
{
    Kept &k = entry(key);
    const qint64 t = monotonicMs();
    // Due already (the refresh may be late while the window is busy): the
    // newest value goes at once and a kept older one is dropped.
    if (intervalMs_ <= 0 || t - k.lastMs >= intervalMs_) {
        k.write = nullptr;
        k.lastMs = t;
        write();
        return;
    }
    k.write = std::move(write);
    if (!timer_.isActive())
        timer_.start(int(qBound<qint64>(0, k.lastMs + intervalMs_ - t, qint64(intervalMs_))));
}

void Pacer::now(const void *key, const std::function<void()> &write)
{
    Kept &k = entry(key);
    k.write = nullptr;
    k.lastMs = monotonicMs();
    write();
}

void Pacer::flush()
{
    timer_.stop();
    const qint64 t = monotonicMs();
    // A write may put again; take the kept ones out first.
    std::vector<std::function<void()>> due;
    for (Kept &k : keys_)
        if (k.write) {
            k.lastMs = t;
            due.push_back(std::exchange(k.write, nullptr));
        }
    for (const auto &write : due)
        write();
}

}  // namespace tobra
