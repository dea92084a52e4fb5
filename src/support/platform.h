#pragma once

#include <QString>

#include <memory>

namespace tobra {

// The operating-system queries the program makes. The real one asks the
// system; tests install a double so drive letters and Windows versions can be
// played through on any machine.
class Platform {
public:
    virtual ~Platform() = default;
    // The Windows directory as the system reports it, without a trailing
    // separator; empty when the query fails.
    virtual QString windowsDirectory() const = 0;
    // The system directory as the system reports it (no trailing separator).
    virtual QString systemDirectory() const = 0;
    // Folder of the running executable, without a trailing separator.
    virtual QString programDirectory() const = 0;
    // Major version of Windows; 0 where there is none.
    virtual int osMajorVersion() const = 0;
    // True when a listing of the folder finds it.
    virtual bool folderExists(const QString &path) const = 0;
    // True when the file exists.
    virtual bool fileExists(const QString &path) const = 0;
};

class SystemPlatform : public Platform {
public:
    QString windowsDirectory() const override;
    QString systemDirectory() const override;
    QString programDirectory() const override;
    int osMajorVersion() const override;
    bool folderExists(const QString &path) const override;
    bool fileExists(const QString &path) const override;
};

const Platform &platform();
// Installs another platform (tests); returns the old one.
std::shared_ptr<Platform> setPlatform(std::shared_ptr<Platform> p);

}  // namespace tobra
