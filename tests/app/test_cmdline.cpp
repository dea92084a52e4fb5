#include "app/cmdline.h"
#include "app/exitcodes.h"
#include "app/unattended.h"
#include "ftp/remotepath.h"
#include "harness/testutil.h"

#include <QtTest>

using namespace tobra;

class TestCmdLine : public QObject {
    Q_OBJECT
private slots:
    void grammar_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("tech");
        QTest::addColumn<QString>("file");
        QTest::addColumn<bool>("safety");
        QTest::addColumn<bool>("unattended");
        QTest::newRow("code and file") << QStringList{"T3", "/data/Report.zip"} << "T3" << "/data/Report.zip" << false
                                       << true;
        QTest::newRow("lower-case code and switch") << QStringList{"t3", "report.zip", "/s"} << "T3" << "report.zip"
                                                    << true << true;
        QTest::newRow("any code unattended") << QStringList{"Q7", "/data/r.zip"} << "Q7" << "/data/r.zip" << false
                                             << true;
        QTest::newRow("/B: window road") << QStringList{"T3", "/data/r.zip", "/B"} << "T3" << "/data/r.zip" << false
                                         << false;
        QTest::newRow("/b lower case") << QStringList{"T3", "/data/r.zip", "/b"} << "T3" << "/data/r.zip" << false
                                       << false;
        QTest::newRow("switch first, blank in file") << QStringList{"/S", "T3", "/home/ann/my files/a.zip"} << "T3"
                                                     << "/home/ann/my files/a.zip" << true << true;
        QTest::newRow("one word: window road") << QStringList{"/data/r.zip"} << "" << "" << false << false;
        QTest::newRow("empty") << QStringList{} << "" << "" << false << false;
        QTest::newRow("/srv and /bin paths stay whole") << QStringList{"T1", "/srv/backup/s/bin/b.zip"} << "T1"
                                                        << "/srv/backup/s/bin/b.zip" << false << true;
        QTest::newRow("path starting /s and /b words") << QStringList{"T1", "/s/b/x.zip"} << "T1" << "/s/b/x.zip"
                                                       << false << true;
        QTest::newRow("switch between file words") << QStringList{"T2", "C:\\MY", "/S", "FILES\\A.ZIP"} << "T2"
                                                   << "C:\\MY FILES\\A.ZIP" << true << true;
        QTest::newRow("second /S stays in the file") << QStringList{"/S", "T2", "a.zip", "/S"} << "T2" << "a.zip /S"
                                                     << true << true;
        QTest::newRow("both switches") << QStringList{"/b", "/s", "V7123", "f.zip"} << "V7123" << "f.zip" << true
                                       << false;
        QTest::newRow("windows path") << QStringList{"T3", "C:\\DATA\\REPORT.ZIP"} << "T3" << "C:\\DATA\\REPORT.ZIP"
                                      << false << true;
    }
    void grammar()
    {
        QFETCH(QStringList, args);
        const CommandLine cl = parseCommandLine(args);
        QTEST(cl.tech, "tech");
        QTEST(cl.file, "file");
        QTEST(cl.safety, "safety");
        QTEST(cl.unattended(), "unattended");
        QVERIFY(!cl.help && !cl.version && !cl.badOption);
    }

    // Dash words: only a lone --help or --version is an option; a dash in the
    // code's place or a known dash form out of place is a usage error.
    void dashOptions_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<bool>("help");
        QTest::addColumn<bool>("version");
        QTest::addColumn<bool>("bad");
        QTest::addColumn<QString>("file");
        QTest::newRow("--help") << QStringList{"--help"} << true << false << false << "";
        QTest::newRow("--version") << QStringList{"--version"} << false << true << false << "";
        QTest::newRow("-h") << QStringList{"-h"} << false << false << true << "";
        QTest::newRow("-v") << QStringList{"-v"} << false << false << true << "";
        QTest::newRow("--bogus") << QStringList{"--bogus"} << false << false << true << "";
        QTest::newRow("lone dash") << QStringList{"-"} << false << false << true << "";
        QTest::newRow("dash code with file") << QStringList{"-T1", "a.zip"} << false << false << true << "a.zip";
        QTest::newRow("dash code after switch") << QStringList{"/S", "--x", "a.zip"} << false << false << true
                                                << "a.zip";
        QTest::newRow("--help after code") << QStringList{"T1", "--help"} << false << false << true << "--help";
        QTest::newRow("--version twice") << QStringList{"--version", "--version"} << false << false << true
                                         << "--version";
        QTest::newRow("-v as file") << QStringList{"T1", "-v"} << false << false << true << "-v";
        QTest::newRow("--log left without file") << QStringList{"T1", "a.zip", "--log"} << false << false << true
                                                 << "a.zip --log";
        QTest::newRow("dash file word") << QStringList{"T1", "-notes.txt"} << false << false << false << "-notes.txt";
        QTest::newRow("dash later in file") << QStringList{"T1", "my", "-notes.txt"} << false << false << false
                                            << "my -notes.txt";
        QTest::newRow("dashes inside a path") << QStringList{"T1", "/d/--x.zip"} << false << false << false
                                              << "/d/--x.zip";
    }
    void dashOptions()
    {
        QFETCH(QStringList, args);
        QFETCH(bool, bad);
        const CommandLine cl = parseCommandLine(args);
        QTEST(cl.help, "help");
        QTEST(cl.version, "version");
        QCOMPARE(cl.badOption, bad);
        QTEST(cl.file, "file");
        if (bad)
            QVERIFY(!cl.unattended());
    }

    // The program refuses them before anything else: usage on standard
    // error, nothing on standard output, status 2.
    void dashOptionsRun_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("-h") << QStringList{"-h"};
        QTest::newRow("--bogus after switch") << QStringList{"/B", "--bogus"};
        QTest::newRow("--log without file") << QStringList{"--log"};
        QTest::newRow("-v after code and file") << QStringList{"T1", "a.zip", "-v"};
    }
    void dashOptionsRun()
    {
        QFETCH(QStringList, args);
        QTemporaryDir ini;
        const test::Run r = test::runTobra(args, ini.path(), ini.path());
        QCOMPARE(r.exitCode, int(ExitUsage));
        QVERIFY2(r.out.isEmpty(), qPrintable(r.out));
        QVERIFY2(r.err.startsWith("Usage: tobra") && r.err.contains("Exit status"), qPrintable(r.err));
    }

    void helpersAndOptions()
    {
        QVERIFY(GetSafety("T3 A.ZIP /S"));
        QVERIFY(!GetSafety("T3 /SRV/A.ZIP"));
        QVERIFY(!GetBypass("/B T3 A.ZIP"));
        QVERIFY(GetBypass("T3 /BIN/A.ZIP"));
        QCOMPARE(StripSafety("T3 /S A.ZIP"), QString("T3 A.ZIP"));
        QCOMPARE(StripBypass("T3 A.ZIP /B"), QString("T3 A.ZIP"));
        QCOMPARE(StripSafety("T3 A.ZIP"), QString("T3 A.ZIP"));
        QCOMPARE(GetTech("T3 MY FILE.ZIP"), QString("T3"));
        QCOMPARE(GetFILENAME("T3 MY FILE.ZIP"), QString("MY FILE.ZIP"));
        QCOMPARE(GetTech("ONEWORD"), QString());
        QCOMPARE(completeFileWord("report.zip", "/work"), QString("/work/report.zip"));
        QCOMPARE(completeFileWord("sub/report.zip", "/work/"), QString("/work/sub/report.zip"));
        QCOMPARE(completeFileWord("/abs/report.zip", "/work"), QString("/abs/report.zip"));
    }

    // Accepted for the automatic upload, and usable as a folder name.
    void codes_data()
    {
        QTest::addColumn<QString>("code");
        QTest::addColumn<bool>("legit");
        QTest::addColumn<bool>("safe");
        QTest::newRow("T1") << "T1" << true << true;
        QTest::newRow("T9") << "T9" << true << true;
        QTest::newRow("T10") << "T10" << false << true;
        QTest::newRow("T0") << "T0" << false << true;
        QTest::newRow("lower t1") << "t1" << false << true;
        QTest::newRow("V7 alone") << "V7" << true << true;
        QTest::newRow("V7 code") << "V712345" << true << true;
        QTest::newRow("Q7") << "Q7" << false << true;
        QTest::newRow("blank around") << " T1" << false << true;
        QTest::newRow("customer code") << "ACME-01" << false << true;
        QTest::newRow("star") << "*" << false << true;
        QTest::newRow("empty") << "" << false << false;
        QTest::newRow("parent") << ".." << false << false;
        QTest::newRow("dot") << "." << false << false;
        QTest::newRow("dots inside") << "A..B" << false << false;
        QTest::newRow("slash") << "T3/../../ETC" << false << false;
        QTest::newRow("backslash") << "T3\\X" << false << false;
        QTest::newRow("V7 with a parent") << "V7\\..\\X" << true << false;
        QTest::newRow("control") << QString("T3\r\nDELE X") << false << false;
        QTest::newRow("tab") << QString("T\t3") << false << false;
    }
    void codes()
    {
        QFETCH(QString, code);
        QTEST(IsLegit(code), "legit");
        QTEST(isSafeTechFolder(code), "safe");
    }
};

QTEST_GUILESS_MAIN(TestCmdLine)
#include "test_cmdline.moc"
