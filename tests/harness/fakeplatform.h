#pragma once

#include "support/platform.h"

#include <QSet>
#include <QString>

// A Windows machine to play through the INI-folder rules on any system.
class FakePlatform : public tobra::Platform {
public:
    QString windowsDir = QStringLiteral("C:\\WINDOWS");
    QString systemDir = QStringLiteral("C:\\WINDOWS\\SYSTEM32");
    QString programDir = QStringLiteral("C:\\Program Files\\Tobra");
    int major = 5;
    QSet<QString> folders;   // upper-case paths with trailing backslash
    QSet<QString> files;

    QString windowsDirectory() const override { return windowsDir; }
    QString systemDirectory() const override { return systemDir; }
    QString programDirectory() const override { return programDir; }
    int osMajorVersion() const override { return major; }
    bool folderExists(const QString &path) const override
    {
        QString p = path.trimmed().toUpper();
        if (!p.endsWith(QLatin1Char('\\')))
            p += QLatin1Char('\\');
        return folders.contains(p);
    }
    bool fileExists(const QString &path) const override { return files.contains(path.trimmed().toUpper()); }
};
