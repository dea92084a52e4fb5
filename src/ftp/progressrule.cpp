#include "ftp/progressrule.h"

#include <QTime>

#include <cmath>
#include <limits>

namespace tobra {

double roundHalfEven(double v)
{
    const double r = std::round(v);
    // std::round takes halves away from zero; step back to the even one.
    if (std::fabs(v - std::trunc(v)) == 0.5 && std::fmod(r, 2.0) != 0.0)
        return r - std::copysign(1.0, v);
    return r;
}

int secondsSinceMidnight()
{
    const QTime now = QTime::currentTime();
    return int(roundHalfEven(now.msecsSinceStartOfDay() / 1000.0)) % 86400;
}

int runProgressPercent(int currentFileNumber, int fileCount)
{
    if (fileCount <= 0)
        return 0;
    return int(roundHalfEven(double(currentFileNumber) / double(fileCount) * 100.0));
}

std::optional<QString> progressEstimate(qint64 bytes, qint64 totalBytes, int elapsedSeconds)
{
    if (bytes <= 0 || totalBytes < bytes)
        return std::nullopt;
    const double elapsed = elapsedSeconds < 1 ? 1.0 : double(elapsedSeconds);
    const double rate = (double(bytes) / 1024.0) / elapsed;
    if (!(rate > 0.0) || !std::isfinite(rate))
        return std::nullopt;
    const double leftKB = roundHalfEven(double(totalBytes - bytes) / 1024.0);
    const double secondsLeft = roundHalfEven(leftKB / rate);
    if (!std::isfinite(secondsLeft) || secondsLeft > double(std::numeric_limits<int>::max()))
        return std::nullopt;
    QString text;
    if (secondsLeft >= 60)
        text = QString::number(qint64(roundHalfEven(secondsLeft / 60.0))) + QStringLiteral(" minute(s) ");
    else
        text = QString::number(qint64(secondsLeft)) + QStringLiteral(" second(s) ");
    text += QString::number(qint64(roundHalfEven(rate))) + QStringLiteral(" KB/s");
    return text;
}

}  // namespace tobra
