#include "ftp/ftpsettings.h"

#include "ftp/tlstrust.h"
#include "support/inifile.h"
#include "support/modcommon.h"
#include "support/modopsys.h"

namespace tobra {

namespace {

// A day is far beyond any sane wait; a larger value is a typing error.
constexpr int kMaxSeconds = 24 * 3600;

int secondsOr(const QString &text, int fallback)
{
    return wholeNumberOr(text, 1, kMaxSeconds, fallback);
}

}  // namespace

int wholeNumberOr(const QString &text, int min, int max, int fallback)
{
    bool ok = false;
    const int v = text.trimmed().toInt(&ok);
    return ok && v >= min && v <= max ? v : fallback;
}

QString chatIniPath()
{
    // The folder the tag <WINDIR> names, without IniFolder()'s warning,
    // which the address read has shown already. A bare "CHAT.INI" would
    // name the Windows directory even where C:\APPRAISE\ holds the file.
    QString folder = FindIniFolder();
    CkRSlash(folder);
    return folder + QStringLiteral("CHAT.INI");
}

QString readChatSetting(const QString &key)
{
    return ReadIni(chatIniPath(), QStringLiteral("PREFERENCES"), key, QString());
}

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
    return parseTimeouts(readChatSetting(QStringLiteral("CONNECTTIMEOUT")), readChatSetting(QStringLiteral("STALLTIMEOUT")));
}

FtpTls parseTls(const QString &mode, const QString &cert)
{
    FtpTls t;
    const QString m = mode.trimmed().toLower();
    if (m == QLatin1String("off")) {
        t.mode = TlsMode::Off;
    } else if (m == QLatin1String("required")) {
        t.mode = TlsMode::Required;
    } else if (!m.isEmpty() && m != QLatin1String("auto")) {
        // A misspelt "required" must not turn into "auto".
        t.mode = TlsMode::Required;
        t.unknownMode = mode.trimmed();
    }
    const QString pin = cert.trimmed();
    // Anything else cannot be a key and would only make every check fail.
    if (pin.startsWith(QLatin1String("sha256//")) && pin.size() == 8 + 44
        && !QByteArray::fromBase64(pin.mid(8).toLatin1(), QByteArray::AbortOnBase64DecodingErrors).isEmpty())
        t.pin = pin;
    return t;
}

FtpTls tlsFromSettings()
{
    FtpTls t = parseTls(readChatSetting(QStringLiteral("TLS")), readChatSetting(QStringLiteral("CERT")));
    t.knownServersFile = knownTlsServersFile();
    return t;
}

bool trustServerKey(const QString &pin)
{
    return WriteIni(chatIniPath(), QStringLiteral("PREFERENCES"), QStringLiteral("CERT"), pin);
}

QString certSettingLine(const QString &pin)
{
    return QStringLiteral("CERT=") + pin;
}

int parseRetryFor(const QString &seconds)
{
    constexpr int kDefault = 300;
    return wholeNumberOr(seconds, 0, kMaxSeconds, kDefault);
}

RetryPolicy unattendedRetryPolicy()
{
    bool ok = false;
    int base = qEnvironmentVariableIntValue("TOBRA_RETRY_BASE_MS", &ok);
    if (!ok || base < 1 || base > 60000)
        base = 1000;
    RetryPolicy p;
    p.budgetMs = parseRetryFor(readChatSetting(QStringLiteral("RETRYFOR"))) * 1000;
    p.firstWaitMs = base;
    p.maxWaitMs = base * 30;
    return p;
}

}  // namespace tobra
