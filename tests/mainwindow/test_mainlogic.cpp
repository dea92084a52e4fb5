#include "ftp/ftpevents.h"
#include "harness/testutil.h"
#include "mainwindow/fileversion.h"
#include "mainwindow/mainlogic.h"

#include <QtTest>

#include <time.h>

using namespace tobra;
using tobra::test::writeBytes;

namespace {

void put16(QByteArray &b, int at, quint16 v) { qToLittleEndian(v, b.data() + at); }
void put32(QByteArray &b, int at, quint32 v) { qToLittleEndian(v, b.data() + at); }

// A minimal Windows program image whose only resource is a version block
// for fileVersion (high word first, e.g. 2,5,0,17). plus64 builds a 64-bit
// image. The layout: headers, then one ".rsrc" section at file offset 0x200
// mapped to RVA 0x1000.
QByteArray makePe(const QList<quint16> &v, bool plus64 = false)
{
    QByteArray b(0x400, '\0');
    const int opt = 0x58, optSize = plus64 ? 240 : 224, dirs = opt + (plus64 ? 108 : 92), sec = opt + optSize;
    const int rs = 0x200, vi = rs + 0x58;
    // Offset, width in bytes, value.
    const struct { int at, width; quint32 value; } fields[] = {
        {0, 2, 0x5A4D}, {0x3C, 4, 0x40}, {0x40, 4, 0x4550},   // "MZ", where the PE header is, "PE"
        {0x44, 2, plus64 ? 0x8664u : 0x14Cu}, {0x46, 2, 1}, {0x54, 2, quint32(optSize)},   // one section
        {opt, 2, plus64 ? 0x20Bu : 0x10Bu}, {dirs, 4, 16}, {dirs + 20, 4, 0x1000}, {dirs + 24, 4, 0x100},   // resources
        {sec, 4, 0x7273722E}, {sec + 4, 2, 'c'},   // ".rsrc"
        {sec + 8, 4, 0x200}, {sec + 12, 4, 0x1000}, {sec + 16, 4, 0x200}, {sec + 20, 4, 0x200},   // sizes, RVA, offset
        // Type 16 (version), then name 1, then language 0x409, then the data entry.
        {rs + 14, 2, 1}, {rs + 16, 4, 16}, {rs + 20, 4, 0x80000018},
        {rs + 0x26, 2, 1}, {rs + 0x28, 4, 1}, {rs + 0x2C, 4, 0x80000030},
        {rs + 0x3E, 2, 1}, {rs + 0x40, 4, 0x409}, {rs + 0x44, 4, 0x48},
        {rs + 0x48, 4, 0x1000 + 0x58}, {rs + 0x4C, 4, 92},
        // VS_VERSIONINFO: its lengths, and after its key the fixed part.
        {vi, 2, 92}, {vi + 2, 2, 52}, {vi + 40, 4, 0xFEEF04BD}, {vi + 44, 4, 0x10000},
        {vi + 48, 4, quint32(v[0]) << 16 | v[1]}, {vi + 52, 4, quint32(v[2]) << 16 | v[3]},
    };
    for (const auto &f : fields)
        f.width == 2 ? put16(b, f.at, quint16(f.value)) : put32(b, f.at, f.value);
    const QString key = QStringLiteral("VS_VERSION_INFO");
    for (int i = 0; i < key.size(); ++i)
        put16(b, vi + 6 + 2 * i, key.at(i).unicode());
    return b;
}

}  // namespace

class TestMainLogic : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // The grids show local time; the tables are written for UTC.
        qputenv("TZ", "UTC");
        tzset();
    }

    void buttonAndGrid()
    {
        // Code, picked in the list, file box names a regular file, enabled.
        const struct { const char *tech; bool picked, file, enabled; } rows[] = {
            {"T1", true, true, true}, {"T1", false, true, false}, {"", true, true, false}, {"   ", true, true, false},
            {"*", true, true, true}, {"", false, true, false}, {"T1", true, false, false},
        };
        for (const auto &r : rows) {
            QCOMPARE(putButtonRule(r.tech, r.picked, r.file), r.enabled);
            QCOMPARE(restingStatusText(r.file), QString(r.file ? "Ready" : "Choose a file to send"));
        }
        const QList<FtpListEntry> listing = {{"B.ZIP", -1, 1024, "Jan 02 12:34"}, {"sub", 0, 4096, "Jan 01 10:00"},
                                             {"..", 0, 0, ""}, {"EMPTY.TXT", -1, 0, "2025-01-02 03:04:05"},
                                             {"A.ZIP", -1, 5000000000LL, "01-02-26 03:04PM"}};
        QStringList got;
        for (const RemoteRow &r : remoteGridRows(listing, QDateTime(QDate(2026, 3, 1), QTime(12, 0), Qt::UTC)))
            got << r.name + "|" + r.size + "|" + r.date;
        QCOMPARE(got, (QStringList{"B.ZIP|1024 bytes|2026-01-02 12:34:00", "EMPTY.TXT|0 bytes|2025-01-02 03:04:05",
                                   "A.ZIP|5000000000 bytes|2026-01-02 15:04:00"}));
        // An empty code lists uploads itself (the codes that leave it are in
        // test_cmdline).
        QVERIFY(techFolderUsable("") && techFolderUsable("*") && !techFolderUsable(".."));
        QCOMPARE(versionCaption("Tobra", 10, 0, 120), QString("Tobra - Version: 10.0.120"));
    }

    // Every listing form, one format: local time (here UTC), seconds included.
    void oneDateFormat()
    {
        const QDateTime now(QDate(2026, 3, 1), QTime(12, 0), Qt::UTC);
        const struct { const char *listed, *shown; } rows[] = {
            {"2025-01-02 03:04:05", "2025-01-02 03:04:05"},   // MLSD
            {"Jan 02 12:34", "2026-01-02 12:34:00"}, {"Mar 02 09:00", "2026-03-02 09:00:00"},   // a day's grace
            {"Dec 31 23:59", "2025-12-31 23:59:00"},   // no year: not after now
            {"Jan 02 2024", "2024-01-02 00:00:00"}, {"2024-07-08 10:11", "2024-07-08 10:11:00"},
            {"01-02-26 03:04PM", "2026-01-02 15:04:00"}, {"12-31-1999 12:00AM", "1999-12-31 00:00:00"},
            {"01-02-26 12:30PM", "2026-01-02 12:30:00"}, {"07-04-99 18:05", "1999-07-04 18:05:00"},
            // Not a date: shown as listed.
            {"Foo 02 12:34", "Foo 02 12:34"}, {"13-40-26 03:04PM", "13-40-26 03:04PM"}, {"01-02-26 13:04PM", "01-02-26 13:04PM"},
            {"", ""},
        };
        for (const auto &r : rows)
            QCOMPARE(remoteDateText(r.listed, now), QString(r.shown));
        const QDateTime local(QDate(2025, 6, 7), QTime(8, 9, 10));
        QCOMPARE(localDateText(local), QString("2025-06-07 08:09:10"));
    }

    // The lines that end an upload, and the next step a failure gets.
    void stopLinesAndNextSteps()
    {
        QCOMPARE(notSentLine("Report.zip", PutStop::Cancelled, "ignored"), QString("Report.zip was not sent: the upload was cancelled."));
        QCOMPARE(notSentLine("a b.zip", PutStop::Declined), QString("a b.zip was not sent: the connection to the server was lost."));
        QCOMPARE(notSentLine("x", PutStop::Failed, "The server refused STOR X: 550 No."), QString("x was not sent: The server refused STOR X: 550 No."));
        QCOMPARE(notSentLine("x", PutStop::Failed), QString("x was not sent: the upload failed."));
        QCOMPARE(storedAsLine("/uploads/T3", "APPRAISAL-0415.ZIP"), QString("Stored as /uploads/T3/APPRAISAL-0415.ZIP"));

        // The session's reasons of each kind (as ftpsession.cpp words them).
        using enum FailureKind;
        const struct { int number; const char *reason; FailureKind kind; } rows[] = {
            {kErrCannotConnect, "The name ftp.example.com did not resolve to an address.", Offline},
            {kErrCannotConnect, "10.0.0.1 (port 21) cannot be reached: Network is unreachable.", Offline},
            {kErrCannotConnect, "127.0.0.1 (port 1) refused the connection.", NotAnswering},
            {kErrCannotConnect, "No answer from 127.0.0.1 (port 21) within 15 s.", NotAnswering},
            {kErrCannotConnect, "The server refused the login: 530 Login incorrect.", LoginRefused},
            {kErrTransfer, "The connection to h was lost: Send failure", NotAnswering},
            {kErrTransfer, "The server refused STOR A.tobra-part: 553 No.", ServerRefused},
            {kErrRemoteFolder, "The server refused MKD T9: 550 ", ServerRefused},
            {kErrLocalFile, "The local file /a cannot be read: Permission denied.", LocalFile},
            {kErrCannotConnect, "The TLS handshake with h failed: x", Other},
            {kErrListing, "The folder listing is larger than 64 MiB.", Other},
        };
        QSet<QString> steps;
        for (const auto &r : rows) {
            const FtpError e(r.number, QString("Upload of a: ") + r.reason, r.reason);
            QVERIFY2(failureKindOf(e) == r.kind, r.reason);
            const QString text = failureMessage("First line.", e);
            QCOMPARE(text, "First line.\n" + QString(r.reason) + "\n" + nextStepText(r.kind));
            steps << nextStepText(r.kind);
            // A first line that holds the reason does not repeat it.
            QCOMPARE(failureMessage(e.description(), e), e.description() + "\n" + nextStepText(r.kind));
        }
        QCOMPARE(steps.size(), 6);   // a line of its own for each kind
        QVERIFY(nextStepText(LoginRefused).contains("support") && nextStepText(Offline).contains("Internet"));
    }

    // The code read out to support: the first 16 hex digits of the key's
    // SHA-256, in four groups.
    void trustCode()
    {
        const QByteArray digest = QByteArray::fromHex("3f2a9c01b7e4d5660123456789abcdef0123456789abcdef0123456789abcdef");
        QCOMPARE(pinShortCode("sha256//" + digest.toBase64()), QString("3F2A 9C01 B7E4 D566"));
        QCOMPARE(pinShortCode(digest.toBase64()), QString());
        QCOMPARE(pinShortCode("sha256//AAAA"), QString());
        QCOMPARE(defaultAnswer(MsgStyle::YesNo | MsgStyle::Exclamation | MsgStyle::DefaultButton2), MsgAnswer::No);
        QCOMPARE(defaultAnswer(MsgStyle::YesNo | MsgStyle::Exclamation), MsgAnswer::Yes);
    }

    // One string in, one string out: fn names the rule.
    void pathRules()
    {
        const QChar override(0x202E), lineSep(0x2028);
        const struct { const char *fn; QString in, out; } rows[] = {
            {"folder", "T3", "/uploads/T3"}, {"folder", "V7ACME", "/uploads/V7ACME"}, {"folder", "*", "/uploads/*"},
            {"folder", "", "/uploads/"},
            {"box", "", "/ini/"},   // no file: the INI folder
            {"box", "report.zip", "/ini/report.zip"}, {"box", "/data/Report.zip", "/data/Report.zip"},
            {"box", "sub/Report.zip", "sub/Report.zip"}, {"box", "C:\\DATA\\A.ZIP", "C:\\DATA\\A.ZIP"},
            {"box", "C:A.ZIP", "C:A.ZIP"},
            {"name", "/home/ann/Report.zip", "Report.zip"}, {"name", "C:\\DATA\\REPORT.ZIP", "REPORT.ZIP"},
            {"name", "/tmp/notes", "notes"}, {"name", "C:A.ZIP", "A.ZIP"}, {"name", "a.b.c", "a.b.c"},
            {"name", "/tmp/", ""}, {"name", "/data/qof[2]/a.zip", "a.zip"},   // "]" is part of a folder name
            {"join", "/home/ann", "/home/ann/a.zip"}, {"join", "/home/ann/", "/home/ann/a.zip"},
            {"join", "/", "/a.zip"}, {"join", "C:\\DATA", "C:\\DATA\\a.zip"}, {"join", "", "a.zip"},
            {"plain", "REPORT 1.ZIP", "yes"}, {"plain", "..\\..\\..\\secret\\KEY.TXT", "no"},
            {"plain", "a/b", "no"}, {"plain", ".", "no"}, {"plain", "..", "no"}, {"plain", "", "no"},
            {"plain", QString("a") + override + "txt.exe", "no"}, {"plain", QString("a") + lineSep + "b", "no"},
            {"plain", QString("a") + QChar(0x061C) + "b", "no"}, {"plain", QString("a") + QChar(0x200E) + "b", "no"},
            {"plain", QString("a") + QChar(0x200F) + "b", "no"}, {"plain", "a" + QString::fromUcs4(U"\U000E0041") + "b", "no"},
            {"plain", QString::fromUtf8("Grüße.txt"), "yes"},
        };
        for (const auto &r : rows) {
            const QString fn = r.fn;
            if (fn == "folder") {
                QVERIFY(techFolderUsable(r.in));
                QCOMPARE(remoteTechFolder(r.in), r.out);
            } else if (fn == "box") {
                QCOMPARE(startFileBox(r.in, "/ini/"), r.out);
                QCOMPARE(startFileBox(r.in, "/ini"), r.out);
            } else if (fn == "plain") {
                QCOMPARE(isPlainServerName(r.in) ? QString("yes") : QString("no"), r.out);
            } else {
                QCOMPARE(fn == "name" ? localFileNameOf(r.in) : joinLocal(r.in, "a.zip"), r.out);
            }
        }
    }

    void quillonIniAndNames()
    {
        const QString appraise = "C:\\APPRAISE\\quillon.ini", system = "C:\\WINDOWS\\SYSTEM32\\quillon.ini";
        const struct { QString sysDir; QStringList present; QString chosen; } rows[] = {
            {"C:\\WINDOWS\\SYSTEM32", {system, appraise}, system},   // the system folder first
            {"/etc/tobra/", {"/etc/tobra/quillon.ini"}, "/etc/tobra/quillon.ini"},
            {"C:\\WINDOWS\\SYSTEM32", {appraise}, appraise},
            {"/etc/tobra", {}, ""},
            {"", {"quillon.ini"}, ""},
        };
        for (const auto &r : rows) {
            QStringList asked;
            QCOMPARE(quillonIniPath(r.sysDir, [&](const QString &p) { asked << p; return r.present.contains(p); }),
                     r.chosen);
            QVERIFY(r.chosen.isEmpty() || asked.last() == r.chosen);
        }
        const struct { QStringList entries; const char *name; int index; } names[] = {
            {{"a.zip", "Report.zip"}, "Report.zip", 1}, {{"a.zip", "Report.zip"}, "REPORT.ZIP", 1},
            {{"REPORT.ZIP", "report.zip"}, "report.zip", 1},   // exact wins over case
            {{"a.zip"}, "b.zip", -1}, {{}, "a", -1},
        };
        for (const auto &n : names)
            QCOMPARE(findNameIndex(n.entries, n.name), n.index);
    }

    void localFolders()
    {
        QTemporaryDir dir;
        QDir(dir.path()).mkpath("my.data");
        const QString sub = dir.filePath("my.data") + "/";
        QCOMPARE(startFolderFor(sub + "missing.zip", "/prog/"), sub);
        QCOMPARE(startFolderFor(sub, "/prog/"), sub);
        QCOMPARE(startFolderFor(dir.filePath("nowhere/a.zip"), "/prog/"), QString("/prog/"));
        QCOMPARE(startFolderFor("", "/prog/"), QString("/prog/"));
        QVERIFY(writeBytes(dir.filePath("Report.zip"), "x"));
        QCOMPARE(storedLocalName(dir.path(), "REPORT.ZIP"), QString("Report.zip"));
        QCOMPARE(storedLocalName(dir.path(), "OTHER.ZIP"), QString("OTHER.ZIP"));
    }

    void localRows()
    {
        QTemporaryDir dir;
        QVERIFY(writeBytes(dir.filePath("b.txt"), "hello"));
        // Program versions, 32 and 64 bit; broken version resources show none.
        const QByteArray pe = makePe({1, 1, 2, 0});
        QByteArray loop = pe, many = pe, cut = pe.left(0x260);
        put32(loop, 0x200 + 20, 0x80000000u | 0x0);   // a directory pointing at itself
        put16(many, 0x200 + 14, 0xFFFF);               // an absurd entry count
        QVERIFY(writeBytes(dir.filePath("A.exe"), pe) && writeBytes(dir.filePath("B.exe"), makePe({10, 0, 19041, 1}, true)));
        QVERIFY(writeBytes(dir.filePath("C.exe"), loop) && writeBytes(dir.filePath("D.exe"), many)
                && writeBytes(dir.filePath("E.exe"), cut));
        QVERIFY(writeBytes(dir.filePath("empty.dat"), ""));
        QVERIFY(QDir(dir.path()).mkdir("folder"));
        bool ok = false;
        QStringList got;
        for (const LocalRow &r : localFolderRows(dir.path(), &ok))
            got << r.name + "|" + r.size + "|" + r.version;
        QVERIFY(ok);
        QCOMPARE(got,
                 (QStringList{"A.exe|1024 bytes|1.1.2.0", "B.exe|1024 bytes|10.0.19041.1", "b.txt|5 bytes|     n/a",
                              "C.exe|1024 bytes|     n/a", "D.exe|1024 bytes|     n/a", "E.exe|608 bytes|     n/a",
                              "empty.dat|0 bytes|     n/a"}));
        const QString date = localFolderRows(dir.path(), &ok).value(2).date;
        QVERIFY(!date.isEmpty());
        QCOMPARE(date, localDateText(QFileInfo(dir.filePath("b.txt")).lastModified()));

        localFolderRows(dir.filePath("missing"), &ok);
        QVERIFY(!ok);
        localFolderRows("", &ok);
        QVERIFY(!ok);
    }
};

QTEST_MAIN(TestMainLogic)
#include "test_mainlogic.moc"
