#include "app/exitcodes.h"
#include "harness/testftpserver.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace tobra;
using tobra::test::TestFtpServer;

namespace {

// A loopback port nobody listens on: bound, then released.
int closedPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof(addr);
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof(addr)) != 0
        || ::getsockname(fd, reinterpret_cast<sockaddr *>(&addr), &len) != 0) {
        if (fd >= 0)
            ::close(fd);
        return 0;
    }
    ::close(fd);
    return ntohs(addr.sin_port);
}

struct Run {
    int exitCode = -1;
    QString err;
    QString out;
    qint64 ms = 0;
};

// Runs the program without a display, as a scheduled job would.
Run runTobra(const QStringList &args, const QString &iniDir, const QString &workDir = QString())
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("TOBRA_WINDIR", iniDir);
    env.insert("TOBRA_SYSDIR", iniDir + "/system");
    env.remove("DISPLAY");
    env.remove("WAYLAND_DISPLAY");
    env.remove("QT_QPA_PLATFORM");
    p.setProcessEnvironment(env);
    if (!workDir.isEmpty())
        p.setWorkingDirectory(workDir);
    QElapsedTimer t;
    t.start();
    p.start(TOBRA_BINARY, args);
    Run r;
    if (!p.waitForFinished(60000)) {
        p.kill();
        p.waitForFinished(5000);
        r.err = "timed out";
        return r;
    }
    r.ms = t.elapsed();
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.err = QString::fromUtf8(p.readAllStandardError());
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    return r;
}

void writeChatIni(const QString &dir, const QString &host)
{
    QFile f(dir + "/CHAT.INI");
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("[PREFERENCES]\r\nURL=" + host.toUtf8() + "\r\n");
}

}  // namespace

class TestUnattended : public QObject {
    Q_OBJECT
    QTemporaryDir ini_;
    QTemporaryDir files_;

private slots:
    void initTestCase() { QVERIFY(ini_.isValid() && files_.isValid()); }

    void uploadsIntoNewFolder()
    {
        TestFtpServer server;
        QVERIFY2(server.start(), qPrintable(server.lastError()));
        writeChatIni(ini_.path(), server.host());
        const QString local = files_.filePath("Report 1#.zip");
        QVERIFY(test::writePatternFile(local, 3 * 1024 * 1024 + 17));

        const Run r = runTobra({"t3", local}, ini_.path());
        QVERIFY2(r.exitCode == ExitOk, qPrintable(r.err));
        const QString remote = server.root() + "/uploads/T3/REPORT 1#.ZIP";
        QString why;
        QVERIFY2(test::sameFileContents(local, remote, &why), qPrintable(why));
        QVERIFY2(r.err.contains("Transfer Notification: Upload of " + local + " complete"), qPrintable(r.err));
        QVERIFY(!r.err.contains("vintor"));
        QCOMPARE(server.loginCount(), 1);
    }

    void relativeFileAndSwitches()
    {
        TestFtpServer server;
        QVERIFY(server.start());
        writeChatIni(ini_.path(), server.host());
        QVERIFY(test::writePatternFile(files_.filePath("notes"), 1000));
        // Lower-case switch in front, a file word relative to the current folder.
        const Run r = runTobra({"/s", "v7001", "notes"}, ini_.path(), files_.path());
        QVERIFY2(r.exitCode == ExitOk, qPrintable(r.err));
        QVERIFY(test::sameFileContents(files_.filePath("notes"), server.root() + "/uploads/V7001/NOTES."));
    }

    void refusedBeforeConnecting_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("message");
        QTest::newRow("missing file") << QStringList{"T1", "nothing-here.zip"} << int(ExitFileMissing)
                                      << "ERROR: File %1/nothing-here.zip does not exist.";
        QTest::newRow("empty file") << QStringList{"T1", "empty.zip"} << int(ExitFileMissing)
                                    << "ERROR: File %1/empty.zip does not exist.";
        QTest::newRow("code leaving uploads") << QStringList{"..", "full.zip"} << int(ExitUsage)
                                              << "cannot name a folder";
        QTest::newRow("code with a separator") << QStringList{"T1\\..\\..", "full.zip"} << int(ExitUsage)
                                               << "cannot name a folder";
    }
    void refusedBeforeConnecting()
    {
        QFETCH(QStringList, args);
        QFETCH(int, exitCode);
        QFETCH(QString, message);
        TestFtpServer server;
        QVERIFY(server.start());
        writeChatIni(ini_.path(), server.host());
        QFile(files_.filePath("empty.zip")).open(QIODevice::WriteOnly);
        QVERIFY(test::writePatternFile(files_.filePath("full.zip"), 10));
        const Run r = runTobra(args, ini_.path(), files_.path());
        QCOMPARE(r.exitCode, exitCode);
        QVERIFY2(r.err.contains(message.contains("%1") ? message.arg(files_.path()) : message), qPrintable(r.err));
        QCOMPARE(server.loginCount(), 0);
        QVERIFY(!QDir(server.root() + "/uploads").exists());
    }

    void cannotConnect_data()
    {
        QTest::addColumn<bool>("listening");
        QTest::newRow("login refused") << true;
        QTest::newRow("nothing listening") << false;
    }
    void cannotConnect()
    {
        QFETCH(bool, listening);
        TestFtpServer server;
        QString host;
        if (listening) {
            QVERIFY(server.start({"--password", "other"}));
            host = server.host();
        } else {
            const int port = closedPort();
            QVERIFY(port > 0);
            host = QString("127.0.0.1:%1").arg(port);
        }
        writeChatIni(ini_.path(), host);
        QVERIFY(test::writePatternFile(files_.filePath("a.zip"), 100));
        const Run r = runTobra({"T2", files_.filePath("a.zip")}, ini_.path());
        QCOMPARE(r.exitCode, int(ExitNoConnection));
        QVERIFY2(r.err.contains("Tobra: Cannot find (logon) the ftp server."), qPrintable(r.err));
        QVERIFY2(r.err.contains("CONNECTION ERROR: Unable to connect to FTP Server."), qPrintable(r.err));
        QVERIFY(!r.err.contains("complete"));
        if (!listening)
            QVERIFY2(r.ms < 10000, qPrintable(QString::number(r.ms)));
    }

    void droppedMidUpload()
    {
        TestFtpServer server;
        QVERIFY(server.start({"--drop-after", "1000000"}));
        writeChatIni(ini_.path(), server.host());
        const QString local = files_.filePath("big.bin");
        QVERIFY(test::writePatternFile(local, 8 * 1024 * 1024));
        const Run r = runTobra({"T4", local}, ini_.path());
        QCOMPARE(r.exitCode, int(ExitTransferFailed));
        QVERIFY2(r.err.contains("ERROR: Upload of " + local + " failed"), qPrintable(r.err));
        QVERIFY2(r.err.contains("Connection lost: Connection to"), qPrintable(r.err));
        QVERIFY(!r.err.contains("Transfer Notification"));
    }

    void helpAndVersion()
    {
        const Run help = runTobra({"--help"}, ini_.path());
        QCOMPARE(help.exitCode, 0);
        QVERIFY(help.out.contains("Exit status"));
        const Run version = runTobra({"--version"}, ini_.path());
        QCOMPARE(version.exitCode, 0);
        QCOMPARE(version.out.trimmed(), QString("Tobra " TOBRA_VERSION));
    }
};

QTEST_GUILESS_MAIN(TestUnattended)
#include "test_unattended.moc"
