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
    // the run resumes by itself from what the server holds, as long as each
    // attempt gets further, and never leaves a partial file under the final
    // name.
    void resumesAfterDrops()
    {
        // Drops, bytes into each faulty transfer.
        const struct { int drops, dropAfter; } rows[] = {{2, 20000000}, {9, 5000000}};
        for (const auto [drops, dropAfter] : rows) {
            TestFtpServer server;
            QVERIFY(server.start({"--drop-after", QString::number(dropAfter), "--fault-uploads", QString::number(drops)}));
            const QString local = file("big.bin");
            const qint64 size = 64 * 1024 * 1024;
            QVERIFY(writePatternFile(local, size));
            qputenv("TOBRA_RETRY_BASE_MS", "50");
            const Run r = run(server.host(), {"T4", local});
            qunsetenv("TOBRA_RETRY_BASE_MS");
            QVERIFY2(r.exitCode == 0, qPrintable(r.err));
            const QString remote = server.root() + "/uploads/T4/BIG.BIN";
            QCOMPARE(r.err.count("Connection lost; retrying in 0.05 s"), drops);
            QVERIFY(sameFileContents(local, remote));
            QVERIFY2(server.bytesReceived() < size + 1024 * 1024, qPrintable(QString::number(server.bytesReceived())));
            QCOMPARE(server.loginCount(), 1 + drops);
            QFile::remove(local);
        }
    }

    // Two customers on one login send the same name into the same folder at
    // once (a slow server keeps both on the line together): each upload is
    // its own, the final file is one of them whole, a cancelled one leaves
    // nothing, and other uploads' temporary files are never touched.
    void twoCustomersAtOnce()
    {
        const QString foreign = "REPORT.ZIP.00000000deadbeef.tobra-part";
        // Sizes of A and B, server arguments, SIGTERM to B, exit statuses.
        const struct { qint64 a, b; QStringList args; bool cancelB; int exitA, exitB; } rows[] = {
            {3 << 20, 3 << 20, {}, false, 0, 0},
            {3 << 20, 1 << 20, {}, false, 0, 0},
            {3 << 20, 3 << 20, {"--drop-after", "1000000", "--fault-uploads", "1"}, false, 0, 0},
            {3 << 20, 3 << 20, {}, true, 0, 7},
        };
        for (const auto &r : rows) {
            TestFtpServer server;
            QVERIFY(server.start(QStringList{"--read-limit", "1000000"} + r.args));
            const QString folder = server.root() + "/uploads/T6/";
            QVERIFY(writeBytes(folder + foreign, "someone else's"));
            QVERIFY(writePatternFile(file("a/report.zip"), r.a));
            QByteArray other(int(r.b), Qt::Uninitialized);
            QRandomGenerator(7).fillRange(reinterpret_cast<quint32 *>(other.data()), other.size() / 4);
            QVERIFY(writeBytes(file("b/report.zip"), other) && chat(server.host()));
            QProcess a, b;
            qputenv("TOBRA_RETRY_BASE_MS", "50");
            for (QProcess *p : {&a, &b}) {
                p->setProcessEnvironment(tobraEnvironment(ini_.path(), ini_.filePath("system")));
                p->start(TOBRA_BINARY, {"T6", file(p == &a ? "a/report.zip" : "b/report.zip")});
            }
            qunsetenv("TOBRA_RETRY_BASE_MS");
            if (r.cancelB) {
                QTRY_VERIFY_WITH_TIMEOUT(partFiles(folder).size() == 3, 10000);
                ::kill(pid_t(b.processId()), SIGTERM);
            }
            QVERIFY(a.waitForFinished(30000) && b.waitForFinished(30000));
            QCOMPARE(a.exitCode(), r.exitA);
            QCOMPARE(b.exitCode(), r.exitB);
            const QString stored = folder + "REPORT.ZIP";
            const bool isA = sameFileContents(file("a/report.zip"), stored), isB = readBytes(stored) == other;
            QVERIFY(r.cancelB ? isA : isA != isB);
            QCOMPARE(partFiles(folder), QStringList{foreign});
            QCOMPARE(readBytes(folder + foreign), QByteArray("someone else's"));
        }
    }

    // A run killed outright (power cut, closed laptop) is resumed by the
    // next run of the same file from what the server holds, after the first
    // bytes are compared; a file changed meanwhile starts over, and the old
    // temporary file goes; a beginning changed on the server starts over.
    void resumesAcrossRuns()
    {
        const qint64 size = 4 << 20;
        for (const QString how : {"unchanged", "changed", "tampered"}) {
            const bool changed = how == "changed", again = how != "unchanged";
            TestFtpServer server;
            QVERIFY(server.start({"--read-limit", "1000000", "--hash", "HASH"}));
            const QString local = file("across.bin"), folder = server.root() + "/uploads/T2/";
            QVERIFY(writePatternFile(local, size) && chat(server.host()));
            QProcess first;
            first.setProcessEnvironment(tobraEnvironment(ini_.path(), ini_.filePath("system")));
            first.start(TOBRA_BINARY, {"T2", local});
            // Killed once the upload is in the journal (after its first second).
            const QString journal = ini_.filePath("state/tobra/uploads.journal");
            QTRY_VERIFY_WITH_TIMEOUT(readBytes(journal).contains("ACROSS.BIN") && partFiles(folder).size() == 1
                                         && QFileInfo(folder + partFiles(folder).first()).size() > (1 << 20),
                                     10000);
            first.kill();
            QVERIFY(first.waitForFinished(5000));
            // The server reads what the dead connection left in its buffers.
            QTRY_VERIFY_WITH_TIMEOUT(server.uploadsEnded() == 1, 10000);
            const QString stale = partFiles(folder).first();
            const qint64 firstSent = server.bytesReceived();
            if (how == "tampered") {
                QFile f(folder + stale);
                QVERIFY(f.open(QIODevice::ReadWrite) && f.seek(1000) && f.write("X") == 1);
            }
            if (changed) {
                QFile f(local);
                QVERIFY(f.open(QIODevice::ReadWrite) && f.write("changed") == 7);
                QVERIFY(f.setFileTime(QDateTime::currentDateTime().addSecs(60), QFileDevice::FileModificationTime));
            }
            const QString log = file("across.log");
            QFile::remove(log);
            const Run second = run(server.host(), {"T2", local, "--log", log});
            QVERIFY2(second.exitCode == 0, qPrintable(second.err));
            QVERIFY(sameFileContents(local, folder + "ACROSS.BIN") && partFiles(folder).isEmpty());
            const qint64 secondSent = server.bytesReceived() - firstSent;
            const QString text = QString::fromUtf8(readBytes(log));
            QVERIFY2(again ? secondSent == size : secondSent < size - (1 << 20),
                     qPrintable(QString::number(secondSent) + "\n" + QStringList(text.split('\n')).filter(" retry ").join('\n')));
            QVERIFY(text.contains(changed ? "cmd DELE " + QString("/uploads/T2/") + stale : "from an earlier run at byte "));
            QCOMPARE(text.contains("from an earlier run at byte 0"), how == "tampered");
            QVERIFY2(text.contains("proven by size and SHA-256 (HASH)"), qPrintable(text));
        }
    }

    // A server that keeps stalling is given up within RETRYFOR and one
    // STALLTIMEOUT; a signal during a wait cancels at once.
    void outageBudget()
    {
        TestFtpServer server;
        QVERIFY(server.start({"--stall-after", "0"}));
        QVERIFY(writePatternFile(file("outage.bin"), 48 << 20));
        qputenv("TOBRA_RETRY_BASE_MS", "100");
        const Run r = run(server.host(), {"T3", file("outage.bin")}, {}, "RETRYFOR=3\r\nSTALLTIMEOUT=1\r\n");
        qunsetenv("TOBRA_RETRY_BASE_MS");
        QCOMPARE(r.exitCode, 5);
        QVERIFY2(r.err.count("Connection lost; retrying in") >= 2, qPrintable(r.err));
        // The first stall, then the budget and at most one more stall.
        QVERIFY2(r.ms >= 4000 && r.ms < 4000 + 1000 + 1500, qPrintable(QString::number(r.ms)));

        QVERIFY(chat(server.host(), "STALLTIMEOUT=1\r\n"));
        QProcess p;
        QProcessEnvironment env = tobraEnvironment(ini_.path(), ini_.filePath("system"));
        env.insert("TOBRA_RETRY_BASE_MS", "5000");
        p.setProcessEnvironment(env);
        p.start(TOBRA_BINARY, {"T3", file("outage.bin")});
        QByteArray err;
        QTRY_VERIFY_WITH_TIMEOUT((err += p.readAllStandardError()).contains("retrying in 5 s"), 10000);
        QElapsedTimer t;
        t.start();
        ::kill(pid_t(p.processId()), SIGTERM);
        QVERIFY(p.waitForFinished(5000) && p.exitCode() == 7);
        QVERIFY2(t.elapsed() < 1000, qPrintable(QString::number(t.elapsed())));
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
        // A server that refuses the clean-up keeps the file, and the log says so.
        for (bool refuseDele : {false, true}) {
            TestFtpServer server;
            QVERIFY(server.start(refuseDele ? QStringList{"--stall-after", "2000000", "--refuse-dele"}
                                            : QStringList{"--stall-after", "2000000"}));
            const QString local = file("stop.bin"), log = file("stop.log");
            QVERIFY(writePatternFile(local, 48 * 1024 * 1024));
            QVERIFY(chat(server.host()));
            QFile::remove(log);
            QProcess p;
            p.setProcessEnvironment(tobraEnvironment(ini_.path(), ini_.filePath("system")));
            p.start(TOBRA_BINARY, {"T7", local, "--log", log});
            QVERIFY(p.waitForStarted(5000));
            const QString folder = server.root() + "/uploads/T7/";
            QTRY_VERIFY_WITH_TIMEOUT(partFiles(folder).size() == 1 && QFileInfo(folder + partFiles(folder).first()).size() >= 1000000,
                                     10000);
            QElapsedTimer t;
            t.start();
            ::kill(pid_t(p.processId()), SIGTERM);
            QVERIFY(p.waitForFinished(10000));
            QVERIFY2(t.elapsed() < 1500, qPrintable(QString::number(t.elapsed())));
            QVERIFY(p.exitStatus() == QProcess::NormalExit && p.exitCode() == 7);
            const QString err = QString::fromUtf8(p.readAllStandardError());
            QVERIFY2(err.contains("Cancelling upload of " + local), qPrintable(err));
            QCOMPARE(partFiles(folder).size(), refuseDele ? 1 : 0);
            QVERIFY(!QFile::exists(folder + "STOP.BIN"));
            const QString text = QString::fromUtf8(readBytes(log));
            const QString temp = "/uploads/T7/" + (refuseDele ? partFiles(folder).first() : QString("STOP.BIN."));
            QVERIFY2(text.contains(refuseDele ? " warning " + temp + " is left on the server: 550 Deleting is not allowed here."
                                              : " transfer removed " + temp),
                     qPrintable(text.right(600)));
            QVERIFY(server.stop());
        }
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
