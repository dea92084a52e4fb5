#include "harness/testutil.h"

#include <QtTest>

#include <csignal>

using namespace tobra;
using namespace tobra::test;

class TestUnattended : public QObject {
    Q_OBJECT
    QTemporaryDir ini_;
    QTemporaryDir files_;

    QString file(const QString &name) const { return files_.filePath(name); }
    bool chat(const QString &host, const QByteArray &more = {})
    {
        return writeBytes(ini_.filePath("CHAT.INI"), "[PREFERENCES]\r\nURL=" + host.toUtf8() + "\r\n" + more);
    }
    // The program without a display, pointed at host by CHAT.INI.
    Run run(const QString &host, const QStringList &args, const QString &workDir = {}, const QByteArray &moreIni = {})
    {
        return chat(host, moreIni) ? runTobra(args, ini_.path(), ini_.filePath("system"), workDir) : Run{};
    }

private slots:
    void initTestCase() { QVERIFY(ini_.isValid() && files_.isValid()); }

    // Runs in the files' folder: a lower-case switch in front and a file
    // word relative to the current folder upload; a missing or empty file,
    // or a code that names a folder, ends before connecting.
    void runsInTheFilesFolder()
    {
        TestFtpServer server;
        QVERIFY2(server.start(), qPrintable(server.lastError()));
        QVERIFY(writePatternFile(file("Report 1#.zip"), 3 * 1024 * 1024 + 17) && writePatternFile(file("notes"), 1000));
        QVERIFY(writeBytes(file("empty.zip"), QByteArray()));
        const QString done = "Transfer Notification: Upload of ";
        // Arguments, exit status, what it says, where the file lands (empty: nowhere).
        const struct { QStringList args; int exitCode; QString says, local = {}, remote = {}; } rows[] = {
            {{"t3", file("Report 1#.zip")}, 0, done + file("Report 1#.zip") + " complete", "Report 1#.zip", "T3/REPORT 1#.ZIP"},
            {{"/s", "v7001", "notes"}, 0, done + file("notes") + " complete", "notes", "V7001/NOTES."},
            {{"T1", "nothing-here.zip"}, 3, "ERROR: File " + file("nothing-here.zip") + " does not exist."},
            {{"T1", "empty.zip"}, 3, "ERROR: File " + file("empty.zip") + " does not exist."},
            {{"..", "notes"}, 2, "cannot name a folder"},
            {{"T1\\..\\..", "notes"}, 2, "cannot name a folder"},
        };
        for (const auto &row : rows) {
            const Run r = run(server.host(), row.args, files_.path());
            QVERIFY2(r.exitCode == row.exitCode && r.err.contains(row.says), qPrintable(r.err));
            QVERIFY(row.remote.isEmpty() || sameFileContents(file(row.local), server.root() + "/uploads/" + row.remote));
            QVERIFY(!r.err.contains(TestFtpServer::password()));
        }
        // One login per upload, none and nothing made for the others.
        QCOMPARE(server.loginCount(), 2);
        QCOMPARE(QDir(server.root() + "/uploads").entryList(QDir::Dirs | QDir::NoDotAndDotDot), QStringList({"T3", "V7001"}));
    }

    // One message with the system's text and, on its second line, why.
    void cannotConnect()
    {
        TestFtpServer server;
        QVERIFY(server.start({"--password", "other"}));
        QVERIFY(writePatternFile(file("a.zip"), 100));
        const struct { QString host, why; } rows[] = {
            {server.host(), "The server refused the login: 530 "},
            {QString("127.0.0.1:%1").arg(closedPort()), "refused the connection."},
        };
        for (const auto &row : rows) {
            QVERIFY(!row.host.endsWith(":0"));
            const Run r = run(row.host, {"T2", file("a.zip")});
            QCOMPARE(r.exitCode, 4);
            const QStringList lines = r.err.trimmed().split('\n');
            QCOMPARE(lines.size(), 2);
            QCOMPARE(lines[0], QString("CONNECTION ERROR: Unable to connect to FTP Server."));
            QVERIFY2(lines[1].contains(row.why), qPrintable(lines[1]));
            QVERIFY2(r.ms < 10000, qPrintable(QString::number(r.ms)));
        }
    }

    // The server resets the connection in the middle of the first K uploads;
    // the run resumes by itself (up to three times) from what the server
    // holds, and never leaves a partial file under the final name.
    void resumesAfterDrops()
    {
        // Drops, bytes into each faulty transfer, exit status.
        const struct { int drops, dropAfter, exitCode; } rows[] = {{2, 20000000, 0}, {9, 5000000, 5}};
        for (const auto [drops, dropAfter, exitCode] : rows) {
            TestFtpServer server;
            QVERIFY(server.start({"--drop-after", QString::number(dropAfter), "--fault-uploads", QString::number(drops)}));
            const QString local = file("big.bin");
            const qint64 size = 64 * 1024 * 1024;
            QVERIFY(writePatternFile(local, size));
            qputenv("TOBRA_RETRY_BASE_MS", "50");
            const Run r = run(server.host(), {"T4", local});
            qunsetenv("TOBRA_RETRY_BASE_MS");
            QCOMPARE(r.exitCode, exitCode);
            const QString remote = server.root() + "/uploads/T4/BIG.BIN";
            QCOMPARE(r.err.count("Connection lost; resuming in"), qMin(drops, 3));
            if (r.exitCode == 0) {
                QVERIFY(sameFileContents(local, remote));
                QVERIFY2(server.bytesReceived() < size + 1024 * 1024, qPrintable(QString::number(server.bytesReceived())));
                QCOMPARE(server.loginCount(), 3);
            } else {
                QVERIFY2(r.err.contains("ERROR: Upload of " + local + " failed.\nThe connection to"), qPrintable(r.err));
                QVERIFY(!r.err.contains("Transfer Notification"));
                QVERIFY(!QFile::exists(remote));
                QCOMPARE(server.loginCount(), 4);
            }
            QFile::remove(local);
        }
    }

    // A server that answers every command late is slow, not unreachable:
    // only reaching it and logging in is bounded by CONNECTTIMEOUT.
    void slowServerIsNotAConnectFailure()
    {
        TestFtpServer server;
        QVERIFY(server.start({"--reply-delay", "0.25"}));
        QVERIFY(writePatternFile(file("slow.zip"), 5000));
        const Run r = run(server.host(), {"T5", file("slow.zip")}, {}, "CONNECTTIMEOUT=2\r\n");
        QVERIFY2(r.exitCode == 0, qPrintable(r.err));
        QVERIFY2(r.ms > 2000, qPrintable(QString::number(r.ms)));   // longer than the connect limit
        QCOMPARE(QFileInfo(server.root() + "/uploads/T5/SLOW.ZIP").size(), 5000);
    }

    // SIGTERM in the middle of an upload: status 7 within a second, and
    // nothing left on the server.
    void terminatedByASignal()
    {
        TestFtpServer server;
        QVERIFY(server.start({"--stall-after", "2000000"}));
        const QString local = file("stop.bin");
        QVERIFY(writePatternFile(local, 48 * 1024 * 1024));
        QVERIFY(chat(server.host()));
        QProcess p;
        p.setProcessEnvironment(tobraEnvironment(ini_.path(), ini_.filePath("system")));
        p.start(TOBRA_BINARY, {"T7", local});
        QVERIFY(p.waitForStarted(5000));
        const QString temp = server.root() + "/uploads/T7/STOP.BIN.tobra-part";
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(temp).size() >= 1000000, 10000);
        QElapsedTimer t;
        t.start();
        ::kill(pid_t(p.processId()), SIGTERM);
        QVERIFY(p.waitForFinished(10000));
        QVERIFY2(t.elapsed() < 1500, qPrintable(QString::number(t.elapsed())));
        QVERIFY(p.exitStatus() == QProcess::NormalExit && p.exitCode() == 7);
        const QString err = QString::fromUtf8(p.readAllStandardError());
        QVERIFY2(err.contains("Cancelling upload of " + local), qPrintable(err));
        QVERIFY(!QFile::exists(temp) && !QFile::exists(server.root() + "/uploads/T7/STOP.BIN"));
        QVERIFY(server.stop());
    }

    // A certificate that neither verifies nor is pinned: status 4, no login
    // sent, and the exact line that would trust it. With that line, the
    // upload goes through encrypted.
    void untrustedServerThenPinned()
    {
        TestCertificate cert;
        QVERIFY(makeTestCertificate(ini_.path(), "localhost", &cert));
        TestFtpServer server;
        QVERIFY(server.start(cert.serverArgs(true)));
        QVERIFY(writePatternFile(file("tls.zip"), 20000));
        const Run refused = run(server.host(), {"T1", file("tls.zip")});
        QCOMPARE(refused.exitCode, 4);
        QVERIFY2(refused.err.contains("add this line to CHAT.INI [PREFERENCES]: CERT=" + cert.pin + "\n"),
                 qPrintable(refused.err));
        QCOMPARE(server.loginCount(), 0);
        const Run sent = run(server.host(), {"T1", file("tls.zip")}, {}, "TLS=required\r\nCERT=" + cert.pin.toUtf8() + "\r\n");
        QVERIFY2(sent.exitCode == 0, qPrintable(sent.err));
        QVERIFY(sameFileContents(file("tls.zip"), server.root() + "/uploads/T1/TLS.ZIP"));
    }

    // A man in the middle who answers AUTH with 502 on every connection
    // after the first: the run after a TLS run, a pinned key and a misspelt
    // TLS=require send nothing and end with status 4, saying what the server
    // refused and how to go on. Once the server is forgotten, plain FTP.
    void tlsCannotBeStripped()
    {
        TestCertificate cert;
        QVERIFY(makeTestCertificate(files_.path(), "localhost", &cert));
        TestFtpServer server;
        QVERIFY(server.start(cert.serverArgs(false) + QStringList{"--refuse-auth-after", "1"}));
        QVERIFY(writePatternFile(file("strip.zip"), 20000));
        const QString known = ini_.filePath("state/tobra/tls-servers"), log = ini_.filePath("state/tobra/tobra.log");
        const QByteArray pinned = "CERT=" + cert.pin.toUtf8() + "\r\n";
        QFile::remove(known);
        // CHAT.INI, whether the servers known to speak TLS are kept, exit status, why.
        const struct { QByteArray ini; bool keep; int exitCode; QString why; } rows[] = {
            {pinned, true, 0, ""},
            {"", true, 4, "because this computer has logged in to it over TLS before (" + known + ")."},
            {pinned, false, 4, "because CHAT.INI pins the server's key (CERT)."},
            {"TLS=require\r\n", false, 4, "because CHAT.INI says TLS=require, which is none of auto, required and off."},
            {"", false, 0, ""},
        };
        for (const auto &row : rows) {
            if (!row.keep)
                QFile::remove(known);
            const Run r = run(server.host(), {"T6", file("strip.zip")}, {}, row.ini);
            QVERIFY2(r.exitCode == row.exitCode && r.err.contains(row.why), qPrintable(r.err));
            if (r.exitCode == 4)
                QVERIFY2(r.err.contains("refused AUTH TLS (reply 502): it offers no TLS now, and TLS is required " + row.why
                                        + " If that is expected, set TLS=off in CHAT.INI [PREFERENCES]."),
                         qPrintable(r.err));
        }
        // The first run over TLS, the last in clear text once forgotten.
        QVERIFY(server.loginCount() == 2 && server.clearTextLogins() == 1);
        QVERIFY(QString::fromUtf8(readBytes(log)).contains("TLS=require in CHAT.INI is none of auto, required and off: read as required"));
        QFile::remove(known);
    }

    // The run's log: commands, replies and the transfer, never the password.
    void logMasksThePassword()
    {
        TestFtpServer server;
        QVERIFY(server.start());
        QVERIFY(writePatternFile(file("logged.zip"), 100));
        const QString log = ini_.filePath("run.log");
        QFile::remove(log);
        const Run r = run(server.host(), {"T8", file("logged.zip"), "--log", log});
        QCOMPARE(r.exitCode, 0);
        const QString text = QString::fromUtf8(readBytes(log));
        for (const char *expected : {" cmd PASS *****", " reply 230 ", " cmd RNTO /uploads/T8/LOGGED.ZIP", " end exit status 0"})
            QVERIFY2(text.contains(expected), expected);
        QVERIFY(!text.contains(TestFtpServer::password()));
    }
};

QTEST_GUILESS_MAIN(TestUnattended)
#include "test_unattended.moc"
