#pragma once

#include "ftp/ftpclient.h"

#include <QList>
#include <QString>

namespace tobra {

// Time-outs in seconds as CHAT.INI [PREFERENCES] gives them
// (CONNECTTIMEOUT, STALLTIMEOUT); a missing or bad value gives the default.
FtpTimeouts parseTimeouts(const QString &connectSeconds, const QString &stallSeconds);
FtpTimeouts timeoutsFromSettings();

// Waits before the automatic retries of an unattended upload: 1, 2 and 4 s.
// $TOBRA_RETRY_BASE_MS replaces the first wait (the others double it), so
// tests need not wait seconds.
QList<int> unattendedRetryWaits();

}  // namespace tobra
