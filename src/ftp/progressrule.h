#pragma once

#include <QString>
#include <QtGlobal>

#include <optional>

namespace tobra {

// Rounds to the nearest whole number, halves to even.
double roundHalfEven(double v);

// Seconds since midnight, rounded to a whole second (halves to even).
int secondsSinceMidnight();

// The file-of-run bar value: number / count x 100, rounded (halves to even).
int runProgressPercent(int currentFileNumber, int fileCount);

// Time-left and rate text of one progress report, for example
// "2 minute(s) 16 KB/s" or "12 second(s) 25 KB/s". elapsedSeconds is the
// time since the file's transfer started (raised to 1 when smaller, also
// across midnight). Empty when the report cannot give a figure (no byte yet,
// so no rate): the label then keeps its text.
std::optional<QString> progressEstimate(qint64 bytes, qint64 totalBytes, int elapsedSeconds);

}  // namespace tobra
