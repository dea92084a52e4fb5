#pragma once

#include "harness/testftpserver.h"
#include "support/messages.h"

#include <QByteArray>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QWidget>

#include <memory>

namespace tobra::test {

// Writes bytes to path, making its folder first; false on any error.
bool writeBytes(const QString &path, const QByteArray &bytes);
// The bytes of path; empty when it cannot be read.
QByteArray readBytes(const QString &path);
// A loopback port nobody listens on (bound, then released); 0 on failure.
int closedPort();
// A loopback port that takes connections but never says a word: a server
// that never greets. port is 0 when it could not listen.
struct SilentListener {
    SilentListener();
    ~SilentListener();
    SilentListener(const SilentListener &) = delete;
    SilentListener &operator=(const SilentListener &) = delete;
    int port = 0;

private:
    int fd_ = -1;
};

// The object names Tab takes the focus through in window, from `from` until
// it comes back (at most 40).
QStringList tabWalk(QWidget *window, QWidget *from);

// One part (text, title) of each message a scripted face showed, in order.
QStringList shown(const ScriptedFace &face, QString ScriptedFace::Shown::*part);

// One run of the program without a display, as a script or a scheduled job
// starts it. Bounded to a minute.
struct Run {
    int exitCode = -1;
    QString err;
    QString out;
    qint64 ms = 0;
};
Run runTobra(const QStringList &args, const QString &iniDir, const QString &sysDir,
             const QString &workDir = QString());
// The environment of such a run: its INI and system folders, its own log
// folder, no display.
QProcessEnvironment tobraEnvironment(const QString &iniDir, const QString &sysDir);

// A machine for the windows: INI folder ($TOBRA_WINDIR), system folder
// ($TOBRA_SYSDIR), a local data folder, a local FTP server that is also the
// maker's host, and a scripted message face (the old one comes back at the
// end).
struct Machine {
    QTemporaryDir ini, sys, local;
    TestFtpServer server;
    std::shared_ptr<ScriptedFace> face = std::make_shared<ScriptedFace>();

    Machine() = default;
    ~Machine();
    Machine(const Machine &) = delete;
    Machine &operator=(const Machine &) = delete;

    bool start(const QStringList &serverArgs = {});
    // Where rel (e.g. "T3/REPORT.ZIP") lies on the server's disk, below /uploads.
    QString remote(const QString &rel) const { return server.root() + "/uploads/" + rel; }
    QStringList texts() const { return shown(*face, &ScriptedFace::Shown::text); }
    QStringList titles() const { return shown(*face, &ScriptedFace::Shown::title); }

private:
    std::shared_ptr<MessageFace> oldFace_;
};

}  // namespace tobra::test
