#include "support/statefolder.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QStandardPaths>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <unistd.h>
#endif

namespace tobra {

namespace {
constexpr QFileDevice::Permissions kOwnerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
}  // namespace

QString stateFolder()
{
#ifdef Q_OS_WIN
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/Tobra");
#else
    // The XDG rules say a relative value is invalid and must be ignored.
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (state.isEmpty() || !QDir::isAbsolutePath(state))
        state = QDir::homePath() + QStringLiteral("/.local/state");
    return QDir::cleanPath(state + QStringLiteral("/tobra"));
#endif
}

bool makeStateFolder()
{
    const QString folder = stateFolder();
    if (!QDir().mkpath(folder))
        return false;
#ifdef Q_OS_UNIX
    // Logs name the user's files and servers: nobody else reads them.
    const QFileDevice::Permissions owner = kOwnerOnly | QFileDevice::ExeOwner;
    if (QFile::permissions(folder) != owner)
        QFile::setPermissions(folder, owner);
#endif
    return true;
}

void createPrivateFile(const QString &path)
{
#ifdef Q_OS_UNIX
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0)
        ::close(fd);
#else
    Q_UNUSED(path);
#endif
}

bool writePrivateFile(const QString &path, const QByteArray &bytes)
{
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size())
        return false;
#ifdef Q_OS_UNIX
    // A new file would otherwise get the umask's permissions.
    out.setPermissions(kOwnerOnly);
#endif
    return out.commit();
}

}  // namespace tobra
