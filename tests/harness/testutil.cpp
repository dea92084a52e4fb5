#include "harness/testutil.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QtTest>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tobra::test {

bool writeBytes(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

QByteArray readBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

int closedPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    const bool ok = fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0
        && ::getsockname(fd, reinterpret_cast<sockaddr *>(&a), &len) == 0;
    if (fd >= 0)
        ::close(fd);
    return ok ? ntohs(a.sin_port) : 0;
}

SilentListener::SilentListener()
{
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    // The kernel completes connections into the backlog without an accept.
    if (fd_ >= 0 && ::bind(fd_, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0 && ::listen(fd_, 8) == 0
        && ::getsockname(fd_, reinterpret_cast<sockaddr *>(&a), &len) == 0)
        port = ntohs(a.sin_port);
}

SilentListener::~SilentListener()
{
    if (fd_ >= 0)
        ::close(fd_);
}

QStringList tabWalk(QWidget *window, QWidget *from)
{
    QApplication::setActiveWindow(window);
    if (!QTest::qWaitForWindowActive(window))
        return {"<not active>"};
    from->setFocus();
    QStringList seen;
    for (QWidget *f = from; f && (seen.isEmpty() || f != from) && seen.size() < 40; f = QApplication::focusWidget()) {
        seen << f->objectName();
        QTest::keyClick(f, Qt::Key_Tab);
    }
    return seen;
}

QStringList shown(const ScriptedFace &face, QString ScriptedFace::Shown::*part)
{
    QStringList out;
    for (const ScriptedFace::Shown &s : face.shown)
        out << s.*part;
    return out;
}

QProcessEnvironment tobraEnvironment(const QString &iniDir, const QString &sysDir)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TOBRA_WINDIR"), iniDir);
    env.insert(QStringLiteral("TOBRA_SYSDIR"), sysDir);
    // The support log of test runs stays out of the user's home.
    env.insert(QStringLiteral("XDG_STATE_HOME"), iniDir + QStringLiteral("/state"));
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QString::fromLatin1(name));
    return env;
}

Run runTobra(const QStringList &args, const QString &iniDir, const QString &sysDir, const QString &workDir)
{
    QProcess p;
    p.setProcessEnvironment(tobraEnvironment(iniDir, sysDir));
    if (!workDir.isEmpty())
        p.setWorkingDirectory(workDir);
    QElapsedTimer t;
    t.start();
    p.start(QStringLiteral(TOBRA_BINARY), args);
    Run r;
    if (!p.waitForFinished(60000)) {
        p.kill();
        p.waitForFinished(5000);
        r.err = QStringLiteral("timed out");
        return r;
    }
    r.ms = t.elapsed();
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.err = QString::fromUtf8(p.readAllStandardError());
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    return r;
}

Machine::~Machine()
{
    if (oldFace_)
        Messages::setFace(oldFace_);
}

bool Machine::start(const QStringList &serverArgs)
{
    if (!ini.isValid() || !sys.isValid() || !local.isValid() || !server.start(serverArgs))
        return false;
    qputenv("TOBRA_WINDIR", ini.path().toLocal8Bit());
    qputenv("TOBRA_SYSDIR", sys.path().toLocal8Bit());
    qputenv("TOBRA_MAKER_HOST", server.host().toLocal8Bit());
    // The folder last sent from and the log stay out of the user's home.
    qputenv("XDG_STATE_HOME", ini.filePath(QStringLiteral("state")).toLocal8Bit());
    if (!oldFace_)
        oldFace_ = Messages::setFace(face);
    return true;
}

}  // namespace tobra::test
