#include "support/modopsys.h"

#include "support/messages.h"
#include "support/modcommon.h"
#include "support/platform.h"

namespace tobra {

namespace {
QString g_appraiseFolder;
bool g_isWindowsMajor6 = false;

QString programFolder()
{
    QString dir = platform().programDirectory();
    CkRSlash(dir);
    return dir;
}
}  // namespace

QString AppraiseFolder()
{
    return g_appraiseFolder;
}

bool IsWindowsMajor6()
{
    return g_isWindowsMajor6;
}

QString GetWindowsDir()
{
    QString dir = platform().windowsDirectory().trimmed();
    if (dir.isEmpty())
        return QString();
    CkRSlash(dir);
    return dir;
}

QString GetSystemDir()
{
    return platform().systemDirectory();
}

QString FindIniFolder()
{
    QString sys = GetSystemDir();
    CkRSlash(sys);
    const QString drive = GetFileDrive(sys + QStringLiteral("changes.txt")).toUpper();
    const QString candidate = (drive + QStringLiteral("\\APPRAISE\\")).trimmed();
    QString result;
    // Without a drive letter the candidate would be a folder of the current
    // drive, not of the system drive.
    if (candidate != QStringLiteral("\\APPRAISE\\") && platform().folderExists(candidate)) {
        g_appraiseFolder = candidate;
        result = candidate;
    } else {
        g_appraiseFolder.clear();
        result = GetWindowsDir();
    }
    if (result.trimmed().isEmpty() || result.trimmed() == QStringLiteral("\\")
        || result.trimmed() == QStringLiteral("/"))
        result = programFolder();
    return result;
}

QString IniFolder()
{
    const QString found = FindIniFolder();
    g_isWindowsMajor6 = platform().osMajorVersion() == 6;
    QString result;
    if (!g_isWindowsMajor6) {
        result = !g_appraiseFolder.isEmpty() ? g_appraiseFolder : GetWindowsDir();
    } else if (!g_appraiseFolder.isEmpty()) {
        result = g_appraiseFolder;
    } else {
        result = found;
        Messages::show(QStringLiteral("Reinstall this program to correct INI placement and avoid potential "
                                      "configuration errors."),
                       MsgStyle::Information, QStringLiteral("NON-STANDARD INI FILE PLACEMENT"));
    }
    if (result.trimmed().isEmpty())
        result = programFolder();
    return result;
}

}  // namespace tobra
