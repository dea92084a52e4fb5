#include "support/platform.h"

#include "support/modcommon.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace tobra {

QString SystemPlatform::windowsDirectory() const
{
#ifdef Q_OS_WIN
    wchar_t buf[MAX_PATH + 1];
    const UINT n = GetWindowsDirectoryW(buf, MAX_PATH);
    if (n == 0 || n > MAX_PATH)
        return QString();
    return QString::fromWCharArray(buf, int(n));
#else
    const QByteArray env = qgetenv("TOBRA_WINDIR");
    QString dir;
    if (!env.isEmpty()) {
        dir = QString::fromLocal8Bit(env);
    } else {
        QString config = QString::fromLocal8Bit(qgetenv("XDG_CONFIG_HOME"));
        if (config.isEmpty())
            config = QDir::homePath() + QStringLiteral("/.config");
        dir = config + QStringLiteral("/tobra");
    }
    while (dir.size() > 1 && dir.endsWith(QLatin1Char('/')))
        dir.chop(1);
    return dir;
#endif
}

QString SystemPlatform::systemDirectory() const
{
#ifdef Q_OS_WIN
    wchar_t buf[MAX_PATH + 1];
    const UINT n = GetSystemDirectoryW(buf, MAX_PATH);
    if (n == 0 || n > MAX_PATH)
        return QString();
    return QString::fromWCharArray(buf, int(n));
#else
    const QByteArray env = qgetenv("TOBRA_SYSDIR");
    return env.isEmpty() ? QStringLiteral("/etc/tobra") : QString::fromLocal8Bit(env);
#endif
}

QString SystemPlatform::programDirectory() const
{
    if (QCoreApplication::instance())
        return QCoreApplication::applicationDirPath();
    return QDir::currentPath();
}

int SystemPlatform::osMajorVersion() const
{
#ifdef Q_OS_WIN
    // GetVersionEx lies to unmanifested programs; RtlGetVersion does not.
    using RtlGetVersionFn = LONG(WINAPI *)(PRTL_OSVERSIONINFOW);
    if (HMODULE ntdll = GetModuleHandleW(L"ntdll.dll")) {
        auto fn = reinterpret_cast<RtlGetVersionFn>(reinterpret_cast<void *>(GetProcAddress(ntdll, "RtlGetVersion")));
        RTL_OSVERSIONINFOW info{};
        info.dwOSVersionInfoSize = sizeof(info);
        if (fn && fn(&info) == 0)
            return int(info.dwMajorVersion);
    }
    return 0;
#else
    return 0;
#endif
}

bool SystemPlatform::folderExists(const QString &path) const
{
    return FolderExists(path);
}

bool SystemPlatform::fileExists(const QString &path) const
{
    if (path.trimmed().isEmpty())
        return false;
    return QFileInfo(toFileSystemPath(path)).isFile();
}

namespace {
std::shared_ptr<Platform> &current()
{
    static std::shared_ptr<Platform> p = std::make_shared<SystemPlatform>();
    return p;
}
}  // namespace

const Platform &platform()
{
    return *current();
}

std::shared_ptr<Platform> setPlatform(std::shared_ptr<Platform> p)
{
    auto old = current();
    current() = std::move(p);
    return old;
}

}  // namespace tobra
