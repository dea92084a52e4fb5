#include "app/cmdline.h"
#include "app/unattended.h"
#include "ftp/remotepath.h"
#include "harness/testutil.h"

#include <QtTest>

using namespace tobra;

class TestCmdLine : public QObject {
    Q_OBJECT
private slots:
    // Code, file, /S, and whether the upload runs without a window.
    void grammar()
    {
        const struct { QStringList args; const char *tech, *file; bool safety, unattended; } rows[] = {
            {{"T3", "/data/Report.zip"}, "T3", "/data/Report.zip", false, true},
            {{"t3", "report.zip", "/s"}, "T3", "report.zip", true, true},
            {{"Q7", "/data/r.zip"}, "Q7", "/data/r.zip", false, true},   // any code
            {{"T3", "/data/r.zip", "/B"}, "T3", "/data/r.zip", false, false},
            {{"T3", "/data/r.zip", "/b"}, "T3", "/data/r.zip", false, false},
            {{"/S", "T3", "/home/ann/my files/a.zip"}, "T3", "/home/ann/my files/a.zip", true, true},
            {{"/data/r.zip"}, "", "", false, false},
            {{}, "", "", false, false},
            {{"T1", "/srv/backup/s/bin/b.zip"}, "T1", "/srv/backup/s/bin/b.zip", false, true},
            {{"T1", "/s/b/x.zip"}, "T1", "/s/b/x.zip", false, true},
            {{"T2", "C:\\MY", "/S", "FILES\\A.ZIP"}, "T2", "C:\\MY FILES\\A.ZIP", true, true},
            {{"/S", "T2", "a.zip", "/S"}, "T2", "a.zip /S", true, true},   // the second /S is part of the file
            {{"/b", "/s", "V7123", "f.zip"}, "V7123", "f.zip", true, false},
        };
        for (const auto &r : rows) {
            const CommandLine cl = parseCommandLine(r.args);
            const QByteArray what = r.args.join(' ').toUtf8();
            QVERIFY2(cl.tech == r.tech && cl.file == r.file, what);
            QVERIFY2(cl.safety == r.safety && cl.unattended() == r.unattended, what);
            QVERIFY2(!cl.help && !cl.version && !cl.badOption, what);
        }
    }

    // Only a lone --help or --version is an option; a dash in the code's
    // place or a known dash form out of place is a usage error.
    void dashOptions()
    {
        const struct { QStringList args; bool help, version, bad; const char *file; } rows[] = {
            {{"--help"}, true, false, false, ""},
            {{"--version"}, false, true, false, ""},
            {{"-h"}, false, false, true, ""},
            {{"-v"}, false, false, true, ""},
            {{"--bogus"}, false, false, true, ""},
            {{"-"}, false, false, true, ""},
            {{"-T1", "a.zip"}, false, false, true, "a.zip"},
            {{"/S", "--x", "a.zip"}, false, false, true, "a.zip"},
            {{"T1", "--help"}, false, false, true, "--help"},
            {{"--version", "--version"}, false, false, true, "--version"},
            {{"T1", "-v"}, false, false, true, "-v"},
            {{"T1", "a.zip", "--log"}, false, false, true, "a.zip --log"},
            {{"T1", "-notes.txt"}, false, false, false, "-notes.txt"},
            {{"T1", "my", "-notes.txt"}, false, false, false, "my -notes.txt"},
            {{"T1", "/d/--x.zip"}, false, false, false, "/d/--x.zip"},
        };
        for (const auto &r : rows) {
            const CommandLine cl = parseCommandLine(r.args);
            QVERIFY2(cl.help == r.help && cl.version == r.version && cl.badOption == r.bad && cl.file == r.file,
                     qPrintable(r.args.join(' ')));
            QVERIFY(!r.bad || !cl.unattended());
        }
        // The program refuses them before anything else: usage on standard
        // error, nothing on standard output, status 2. --help and --version
        // answer on standard output; the version names the build it came from.
        QTemporaryDir ini;
        const QString usage = "(?s)^Usage: tobra.*Exit status";
        const struct { QStringList args; int exitCode; QString out, err; } runs[] = {
            {{"-h"}, 2, "^$", usage}, {{"/B", "--bogus"}, 2, "^$", usage}, {{"--log"}, 2, "^$", usage},
            {{"T1", "a.zip", "-v"}, 2, "^$", usage}, {{"--help"}, 0, "Exit status", ""},
            {{"--version"}, 0, "^Tobra " TOBRA_VERSION " \\(\\S+\\)\n$", ""},
        };
        for (const auto &r : runs) {
            const test::Run run = test::runTobra(r.args, ini.path(), ini.path());
            QVERIFY2(run.exitCode == r.exitCode && QRegularExpression(r.out).match(run.out).hasMatch()
                         && QRegularExpression(r.err).match(run.err).hasMatch(),
                     qPrintable(r.args.join(' ') + ": " + run.out + run.err));
        }
    }

    // Accepted for the automatic upload, and usable as a folder name.
    void codes()
    {
        const struct { QString code; bool legit, safe; } rows[] = {
            {"T1", true, true},      {"T9", true, true},        {"T10", false, true},   {"T0", false, true},
            {"t1", false, true},     {"V7", true, true},        {"V712345", true, true}, {"Q7", false, true},
            {" T1", false, true},    {"ACME-01", false, true},  {"*", false, true},     {"", false, false},
            {"..", false, false},    {".", false, false},       {"A..B", false, false},
            {"T3/../../ETC", false, false}, {"T3\\X", false, false}, {"V7\\..\\X", true, false},
            {"T3\r\nDELE X", false, false}, {"T\t3", false, false},
        };
        for (const auto &r : rows) {
            QVERIFY2(IsLegit(r.code) == r.legit, qPrintable(r.code));
            QVERIFY2(isSafeTechFolder(r.code) == r.safe, qPrintable(r.code));
        }
    }
};

QTEST_GUILESS_MAIN(TestCmdLine)
#include "test_cmdline.moc"
