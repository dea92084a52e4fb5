#pragma once

#include <QtGlobal>

#include <chrono>

namespace tobra {

// Milliseconds on a clock that never jumps: the wall clock wraps at
// midnight and moves with every clock change.
inline qint64 monotonicMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace tobra
