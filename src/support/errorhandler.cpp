#include "support/errorhandler.h"

#include "support/messages.h"

#include <QCoreApplication>

#include <cerrno>
#include <cstdlib>

namespace tobra {

namespace {
QString g_procName = QString(20, QLatin1Char(' '));
ErrorAction g_lastAction = ErrRetry;
}  // namespace

void setCurrentProcName(const QString &name)
{
    g_procName = name.left(20).leftJustified(20, QLatin1Char(' '));
}

QString CurrentProcName()
{
    return g_procName;
}

int errorNumberFromErrno(int err)
{
    switch (err) {
    case EIO: return kErrDeviceIO;
    case ENOSPC:
#ifdef EDQUOT
    case EDQUOT:
#endif
        return kErrDiskFull;
    case ENODEV:
    case ENXIO: return kErrDeviceUnavailable;
#ifdef ENOMEDIUM
    case ENOMEDIUM:
#endif
    case EBUSY: return kErrDiskNotReady;
    default: return 0;
    }
}

ErrorAction ErrorHandler(int errorNumber, const QString &errorMessage)
{
    if (errorNumber == kErrCorruptDatabase) {
        Messages::show(QStringLiteral("The databases may be corrupt.  Please run the rebuild programs. "
                                      "(Double Click on the icons) and restart Glimmerbox."),
                       MsgStyle::Critical);
        std::exit(EXIT_FAILURE);
    }
    if (errorNumber != kErrDeviceIO && errorNumber != kErrDiskFull && errorNumber != kErrDeviceUnavailable
        && errorNumber != kErrDiskNotReady) {
        g_lastAction = ErrRaise;
        return g_lastAction;
    }
    const QString text = errorMessage + QStringLiteral(".\r\nError # ") + QString::number(errorNumber)
        + QStringLiteral(" in module ") + g_procName.trimmed() + QStringLiteral(".");
    switch (Messages::show(text, MsgStyle::AbortRetryIgnore | MsgStyle::Exclamation, QStringLiteral("Error"))) {
    case MsgAnswer::Retry:
    case MsgAnswer::Ok: g_lastAction = ErrRetry; break;
    case MsgAnswer::Ignore: g_lastAction = ErrIgnore; break;
    case MsgAnswer::Abort:
    case MsgAnswer::Cancel: g_lastAction = ErrLeave; break;
    default: g_lastAction = ErrRaise; break;
    }
    return g_lastAction;
}

ErrorAction lastErrorAction()
{
    return g_lastAction;
}

}  // namespace tobra
