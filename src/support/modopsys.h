#pragma once

#include <QString>

namespace tobra {

// The "APPRAISE" folder found by the last search (for example C:\APPRAISE\),
// or empty.
QString AppraiseFolder();
bool IsWindowsMajor6();

// The Windows directory with a trailing separator; empty when unknown.
QString GetWindowsDir();
// The system directory as the system reports it.
QString GetSystemDir();
// The "APPRAISE" folder of the system drive if present, else the Windows
// directory.
QString FindIniFolder();
// The folder of the INI files; asked afresh on every call. On Windows 6.x
// without the "APPRAISE" folder the user is warned each time.
QString IniFolder();

}  // namespace tobra
