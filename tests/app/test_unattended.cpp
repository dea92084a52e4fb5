#include "app/exitcodes.h"
#include "harness/testutil.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

using namespace tobra;
using namespace tobra::test;

class TestUnattended : public QObject {
    Q_OBJECT
    QTemporaryDir ini_;
    QTemporaryDir files_;

    QString file(const QString &name) const { return files_.filePath(name); }
    // The program without a display, pointed at host by CHAT.INI.
    Run run(const QString &host, const QStringList &args, const QString &workDir = QString())
    {
        if (!writeBytes(ini_.filePath("CHAT.INI"), "[PREFERENCES]\r\nURL=" + host.toUtf8() + "\r\n"))
            return Run{};
        return runTobra(args, ini_.path(), ini_.filePath("system"), workDir);
    }

private slots:
    void initTestCase() { QVERIFY(ini_.isValid() && files_.isValid()); }

    void uploadsIntoNewFolder_data()
    {
        QTest::addColumn<QStringList>("args");  // run in the files' folder
        QTest::addColumn<QString>("local");
        QTest::addColumn<qint64>("size");
        QTest::addColumn<QString>("remote");
        QTest::newRow("code and full path") << QStringList{"t3", file("Report 1#.zip")} << "Report 1#.zip"
                                            << qint64(3 * 1024 * 1024 + 17) << "T3/REPORT 1#.ZIP";
        // Lower-case switch in front, a file word relative to the current folder.
        QTest::newRow("relative file and switch") << QStringList{"/s", "v7001", "notes"} << "notes" << qint64(1000)
                                                  << "V7001/NOTES.";
    }
    void uploadsIntoNewFolder()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, local);
        QFETCH(qint64, size);
        QFETCH(QString, remote);
        TestFtpServer server;
        QVERIFY2(server.start(), qPrintable(server.lastError()));
        QVERIFY(writePatternFile(file(local), size));
        const Run r = run(server.host(), args, files_.path());
        QVERIFY2(r.exitCode == ExitOk, qPrintable(r.err));
        QString why;
        QVERIFY2(sameFileContents(file(local), server.root() + "/uploads/" + remote, &why), qPrintable(why));
        QVERIFY2(r.err.contains("Transfer Notification: Upload of " + file(local) + " complete"), qPrintable(r.err));
        QVERIFY(!r.err.contains(TestFtpServer::password()));
        QCOMPARE(server.loginCount(), 1);
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
        QFETCH(QString, message);
        TestFtpServer server;
        QVERIFY2(server.start(), qPrintable(server.lastError()));
        QVERIFY(writeBytes(file("empty.zip"), QByteArray()) && writePatternFile(file("full.zip"), 10));
        const Run r = run(server.host(), args, files_.path());
        QTEST(r.exitCode, "exitCode");
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
        QVERIFY(!listening || server.start({"--password", "other"}));
        const QString host = listening ? server.host() : QString("127.0.0.1:%1").arg(closedPort());
        QVERIFY(!host.endsWith(":0"));
        QVERIFY(writePatternFile(file("a.zip"), 100));
        const Run r = run(host, {"T2", file("a.zip")});
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
        const QString local = file("big.bin");
        QVERIFY(writePatternFile(local, 8 * 1024 * 1024));
        const Run r = run(server.host(), {"T4", local});
        QCOMPARE(r.exitCode, int(ExitTransferFailed));
        QVERIFY2(r.err.contains("ERROR: Upload of " + local + " failed"), qPrintable(r.err));
        QVERIFY2(r.err.contains("Connection lost: Connection to"), qPrintable(r.err));
        QVERIFY(!r.err.contains("Transfer Notification"));
    }

    void helpAndVersion()
    {
        const Run help = runTobra({"--help"}, ini_.path(), ini_.path());
        QCOMPARE(help.exitCode, 0);
        QVERIFY(help.out.contains("Exit status"));
        const Run version = runTobra({"--version"}, ini_.path(), ini_.path());
        QCOMPARE(version.exitCode, 0);
        QCOMPARE(version.out.trimmed(), QString("Tobra " TOBRA_VERSION));
    }
};

QTEST_GUILESS_MAIN(TestUnattended)
#include "test_unattended.moc"
