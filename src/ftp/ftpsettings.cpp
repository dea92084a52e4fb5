#include "ftp/ftpsettings.h"

#include "support/inifile.h"

namespace tobra {

namespace {

// A day is far beyond any sane wait; a larger value is a typing error.
constexpr int kMaxSeconds = 24 * 3600;

int secondsOr(const QString &text, int fallback)
{
    bool ok = false;
    const int v = text.trimmed().toInt(&ok);
    return ok && v > 0 && v <= kMaxSeconds ? v : fallback;
}

}  // namespace

FtpTimeouts parseTimeouts(const QString &connectSeconds, const QString &stallSeconds)
{
    const FtpTimeouts defaults;
    FtpTimeouts t;
    t.connectSeconds = secondsOr(connectSeconds, defaults.connectSeconds);
    t.stallSeconds = secondsOr(stallSeconds, defaults.stallSeconds);
    return t;
}

FtpTimeouts timeoutsFromSettings()
{
    const QString file = QStringLiteral("CHAT.INI"), section = QStringLiteral("PREFERENCES");
    return parseTimeouts(ReadIni(file, section, QStringLiteral("CONNECTTIMEOUT"), QString()),
                         ReadIni(file, section, QStringLiteral("STALLTIMEOUT"), QString()));
}

QList<int> unattendedRetryWaits()
{
    bool ok = false;
    int base = qEnvironmentVariableIntValue("TOBRA_RETRY_BASE_MS", &ok);
    if (!ok || base < 0 || base > 60000)
        base = 1000;
    return {base, base * 2, base * 4};
}

}  // namespace tobra
