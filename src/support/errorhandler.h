#pragma once

#include <QString>

namespace tobra {

// Error numbers of the disk and device errors the handler asks about.
constexpr int kErrDeviceIO = 57;
constexpr int kErrDiskFull = 61;
constexpr int kErrDeviceUnavailable = 68;
constexpr int kErrDiskNotReady = 71;
constexpr int kErrCorruptDatabase = 3218;

// Name of the running procedure, as the error message quotes it: cut or
// blank-padded to 20 characters.
void setCurrentProcName(const QString &name);
QString CurrentProcName();

// Maps an operating-system error (errno) to the handler's error numbers; 0
// when it is none of the disk or device errors.
int errorNumberFromErrno(int err);

// What the caller does after an error: run the statement again, skip it,
// leave the procedure, or raise the error to its own caller.
enum ErrorAction : int { ErrRetry = 0, ErrIgnore = 1, ErrLeave = 2, ErrRaise = 3 };

// Asks the user about disk and device errors (Abort/Retry/Ignore); any other
// error returns ErrRaise without a message. errorMessage is the error's own
// text. The corrupt-database error ends the program.
ErrorAction ErrorHandler(int errorNumber, const QString &errorMessage);

// The last answer of ErrorHandler.
ErrorAction lastErrorAction();

}  // namespace tobra
