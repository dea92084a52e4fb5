#include "harness/testutil.h"
#include "mainwindow/fileversion.h"
#include "mainwindow/mainlogic.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

using namespace tobra;
using tobra::test::writeBytes;

namespace {

void put16(QByteArray &b, int at, quint16 v) { qToLittleEndian(v, b.data() + at); }
void put32(QByteArray &b, int at, quint32 v) { qToLittleEndian(v, b.data() + at); }

// A minimal Windows program image whose only resource is a version block
// for fileVersion (high word first, e.g. 2,5,0,17). plus64 builds a 64-bit
// image. The layout: headers, then one ".rsrc" section at file offset 0x200
// mapped to RVA 0x1000.
QByteArray makePe(const QList<quint16> &fileVersion, bool plus64 = false)
{
    QByteArray b(0x400, '\0');
    b[0] = 'M';
    b[1] = 'Z';
    put32(b, 0x3C, 0x40);
    b.replace(0x40, 4, QByteArray("PE\0\0", 4));
    const int coff = 0x44;
    put16(b, coff, plus64 ? 0x8664 : 0x14C);
    put16(b, coff + 2, 1);                        // one section
    const int optSize = plus64 ? 240 : 224;
    put16(b, coff + 16, quint16(optSize));
    const int opt = coff + 20;
    put16(b, opt, plus64 ? 0x20B : 0x10B);
    const int dirs = opt + (plus64 ? 108 : 92);
    put32(b, dirs, 16);                           // data directories
    put32(b, dirs + 4 + 2 * 8, 0x1000);           // resources at RVA 0x1000
    put32(b, dirs + 4 + 2 * 8 + 4, 0x100);
    const int sec = opt + optSize;
    b.replace(sec, 5, QByteArray(".rsrc"));
    put32(b, sec + 8, 0x200);                     // virtual size
    put32(b, sec + 12, 0x1000);                   // RVA
    put32(b, sec + 16, 0x200);                    // raw size
    put32(b, sec + 20, 0x200);                    // raw offset

    const int rs = 0x200;
    // Root: one id entry, type 16 (version), pointing at a sub-directory.
    put16(b, rs + 14, 1);
    put32(b, rs + 16, 16);
    put32(b, rs + 20, 0x80000000u | 0x18);
    // Names: one entry (id 1).
    put16(b, rs + 0x18 + 14, 1);
    put32(b, rs + 0x18 + 16, 1);
    put32(b, rs + 0x18 + 20, 0x80000000u | 0x30);
    // Languages: one entry (0x409) pointing at a data entry.
    put16(b, rs + 0x30 + 14, 1);
    put32(b, rs + 0x30 + 16, 0x409);
    put32(b, rs + 0x30 + 20, 0x48);
    // Data entry: RVA and size of the version block.
    put32(b, rs + 0x48, 0x1000 + 0x58);
    put32(b, rs + 0x48 + 4, 92);
    // VS_VERSIONINFO: header, key, padding, fixed part.
    const int vi = rs + 0x58;
    put16(b, vi, 92);
    put16(b, vi + 2, 52);
    const QString key = QStringLiteral("VS_VERSION_INFO");
    for (int i = 0; i < key.size(); ++i)
        put16(b, vi + 6 + 2 * i, key.at(i).unicode());
    const int fixed = vi + 40;
    put32(b, fixed, 0xFEEF04BD);
    put32(b, fixed + 4, 0x10000);
    put32(b, fixed + 8, quint32(fileVersion[0]) << 16 | fileVersion[1]);
    put32(b, fixed + 12, quint32(fileVersion[2]) << 16 | fileVersion[3]);
    return b;
}

FtpListEntry entry(const QString &name, int isFile, qint64 size, const QString &when)
{
    FtpListEntry e;
    e.Name = name;
    e.IsFile = isFile;
    e.Size = size;
    e.DateTime = when;
    return e;
}

}  // namespace

class TestMainLogic : public QObject {
    Q_OBJECT

private slots:
    void putButton_data()
    {
        QTest::addColumn<QString>("tech");
        QTest::addColumn<bool>("selected");
        QTest::addColumn<bool>("enabled");
        QTest::newRow("code and pick") << "T1" << true << true;
        QTest::newRow("code, no pick") << "T1" << false << false;
        QTest::newRow("pick, empty code") << "" << true << false;
        QTest::newRow("pick, blank code") << "   " << true << false;
        QTest::newRow("customer star") << "*" << true << true;
        QTest::newRow("nothing") << "" << false << false;
    }
    void putButton()
    {
        QFETCH(QString, tech);
        QFETCH(bool, selected);
        QTEST(putButtonRule(tech, selected), "enabled");
    }

    void remoteRows()
    {
        const QList<FtpListEntry> listing = {
            entry("B.ZIP", -1, 1024, "Jan 02 12:34"),  entry("sub", 0, 4096, "Jan 01 10:00"),
            entry("..", 0, 0, ""),                      entry("EMPTY.TXT", -1, 0, "2025-01-02 03:04:05"),
            entry("A.ZIP", -1, 5000000000LL, "01-02-26 03:04PM"),
        };
        QStringList got;
        for (const RemoteRow &r : remoteGridRows(listing))
            got << r.name + "|" + r.size + "|" + r.date;
        QCOMPARE(got, (QStringList{"B.ZIP|1024 bytes|Jan 02 12:34", "EMPTY.TXT|0 bytes|2025-01-02 03:04:05",
                                   "A.ZIP|5000000000 bytes|01-02-26 03:04PM"}));
        QVERIFY(remoteGridRows({}).isEmpty());
        // An empty code lists uploads itself; a code that leaves it is refused
        // (the full table of such codes is in test_cmdline).
        QVERIFY(techFolderUsable("") && techFolderUsable("*") && !techFolderUsable(".."));
        QCOMPARE(versionCaption("Tobra", 10, 0, 120), QString("Tobra - Version: 10.0.120"));
    }

    // One string in, one string out: fn names the rule.
    void pathRules_data()
    {
        QTest::addColumn<QString>("fn");
        QTest::addColumn<QString>("in");
        QTest::addColumn<QString>("out");
        QTest::newRow("folder T3") << "folder" << "T3" << "/uploads/T3";
        QTest::newRow("folder customer code") << "folder" << "V7ACME" << "/uploads/V7ACME";
        QTest::newRow("folder star") << "folder" << "*" << "/uploads/*";
        QTest::newRow("folder empty lists uploads") << "folder" << "" << "/uploads/";
        QTest::newRow("box no file: the INI folder") << "box" << "" << "/ini/";
        QTest::newRow("box bare name") << "box" << "report.zip" << "/ini/report.zip";
        QTest::newRow("box full path kept") << "box" << "/data/Report.zip" << "/data/Report.zip";
        QTest::newRow("box relative folder kept") << "box" << "sub/Report.zip" << "sub/Report.zip";
        QTest::newRow("box drive path kept") << "box" << "C:\\DATA\\A.ZIP" << "C:\\DATA\\A.ZIP";
        QTest::newRow("box drive only kept") << "box" << "C:A.ZIP" << "C:A.ZIP";
        QTest::newRow("name unix") << "name" << "/home/ann/Report.zip" << "Report.zip";
        QTest::newRow("name windows") << "name" << "C:\\DATA\\REPORT.ZIP" << "REPORT.ZIP";
        QTest::newRow("name no extension") << "name" << "/tmp/notes" << "notes";
        QTest::newRow("name drive without folder") << "name" << "C:A.ZIP" << "A.ZIP";
        QTest::newRow("name bare") << "name" << "a.b.c" << "a.b.c";
        QTest::newRow("name folder only") << "name" << "/tmp/" << "";
        QTest::newRow("join without separator") << "join" << "/home/ann" << "/home/ann/a.zip";
        QTest::newRow("join with separator") << "join" << "/home/ann/" << "/home/ann/a.zip";
        QTest::newRow("join root") << "join" << "/" << "/a.zip";
        QTest::newRow("join windows") << "join" << "C:\\DATA" << "C:\\DATA\\a.zip";
        QTest::newRow("join no folder") << "join" << "" << "a.zip";
        QTest::newRow("upload unix") << "upload" << "/home/ann/a.zip" << "/home/ann";
        QTest::newRow("upload windows") << "upload" << "C:\\DATA\\A.ZIP" << "C:\\DATA";
        QTest::newRow("upload drive root") << "upload" << "C:\\A.ZIP" << "C:";
        QTest::newRow("upload unix root keeps its separator") << "upload" << "/a.zip" << "/";
        QTest::newRow("upload bare name has none") << "upload" << "A.ZIP" << "";
        QTest::newRow("upload blanks trimmed") << "upload" << "  /tmp/x.zip  " << "/tmp";
        // A "]" belongs to the folder's name, not to a prefix to drop.
        QTest::newRow("upload folder with brackets") << "upload" << "/data/qof[2]/a.zip" << "/data/qof[2]";
        QTest::newRow("upload folder with a closing bracket") << "upload" << "C:\\Qof Data [2024]\\A.DB"
                                                             << "C:\\Qof Data [2024]";
        QTest::newRow("plain server name") << "plain" << "REPORT 1.ZIP" << "yes";
        QTest::newRow("server name with a backslash path") << "plain" << "..\\..\\..\\secret\\KEY.TXT" << "no";
        QTest::newRow("server name with a slash") << "plain" << "a/b" << "no";
        QTest::newRow("server name dot") << "plain" << "." << "no";
        QTest::newRow("server name dot dot") << "plain" << ".." << "no";
        QTest::newRow("server name empty") << "plain" << "" << "no";
        QTest::newRow("server name with an override") << "plain" << QString("a") + QChar(0x202E) + "txt.exe" << "no";
        QTest::newRow("server name with a line separator") << "plain" << QString("a") + QChar(0x2028) + "b" << "no";
    }
    void pathRules()
    {
        QFETCH(QString, fn);
        QFETCH(QString, in);
        QFETCH(QString, out);
        if (fn == "folder") {
            QVERIFY(techFolderUsable(in));
            QCOMPARE(remoteTechFolder(in), out);
        } else if (fn == "box") {
            QCOMPARE(startFileBox(in, "/ini/"), out);
            QCOMPARE(startFileBox(in, "/ini"), out);
        } else if (fn == "plain") {
            QCOMPARE(isPlainServerName(in) ? QString("yes") : QString("no"), out);
        } else {
            const QString got = fn == "name" ? localFileNameOf(in)
                : fn == "join"               ? joinLocal(in, "a.zip")
                                             : uploadLocalDirectory(in);
            QCOMPARE(got, out);
        }
    }

    void quillonIni_data()
    {
        QTest::addColumn<QString>("sysDir");
        QTest::addColumn<QStringList>("present");
        QTest::addColumn<QString>("chosen");
        const QString appraise = "C:\\APPRAISE\\quillon.ini";
        QTest::newRow("system folder wins") << "C:\\WINDOWS\\SYSTEM32"
                                            << QStringList{"C:\\WINDOWS\\SYSTEM32\\quillon.ini", appraise}
                                            << "C:\\WINDOWS\\SYSTEM32\\quillon.ini";
        QTest::newRow("system folder with separator") << "/etc/tobra/" << QStringList{"/etc/tobra/quillon.ini"}
                                                      << "/etc/tobra/quillon.ini";
        QTest::newRow("then APPRAISE") << "C:\\WINDOWS\\SYSTEM32" << QStringList{appraise} << appraise;
        QTest::newRow("neither") << "/etc/tobra" << QStringList{} << "";
        QTest::newRow("no system folder") << "" << QStringList{"quillon.ini"} << "";
    }
    void quillonIni()
    {
        QFETCH(QString, sysDir);
        QFETCH(QStringList, present);
        QFETCH(QString, chosen);
        QStringList asked;
        const QString got = quillonIniPath(sysDir, [&](const QString &p) {
            asked << p;
            return present.contains(p);
        });
        QCOMPARE(got, chosen);
        // The fixed folder is only a fallback.
        if (!chosen.isEmpty())
            QCOMPARE(asked.last(), chosen);
    }

    void nameLookup_data()
    {
        QTest::addColumn<QStringList>("entries");
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("index");
        QTest::newRow("exact") << QStringList{"a.zip", "Report.zip"} << "Report.zip" << 1;
        QTest::newRow("other case") << QStringList{"a.zip", "Report.zip"} << "REPORT.ZIP" << 1;
        QTest::newRow("exact wins over case") << QStringList{"REPORT.ZIP", "report.zip"} << "report.zip" << 1;
        QTest::newRow("missing") << QStringList{"a.zip"} << "b.zip" << -1;
        QTest::newRow("empty list") << QStringList{} << "a" << -1;
    }
    void nameLookup()
    {
        QFETCH(QStringList, entries);
        QFETCH(QString, name);
        QTEST(findNameIndex(entries, name), "index");
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
        QCOMPARE(storedLocalName(dir.path(), "Report.zip"), QString("Report.zip"));
        QCOMPARE(storedLocalName(dir.path(), "OTHER.ZIP"), QString("OTHER.ZIP"));
    }

    void versions_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("version");
        const QByteArray pe = makePe({2, 5, 0, 17});
        QTest::newRow("32-bit program") << pe << "2.5.0.17";
        QTest::newRow("64-bit program") << makePe({10, 0, 19041, 1}, true) << "10.0.19041.1";
        QTest::newRow("not a program") << QByteArray("PK\x03\x04 zip data") << "";
        QTest::newRow("empty") << QByteArray() << "";
        QTest::newRow("cut in the headers") << pe.left(0x90) << "";
        QTest::newRow("cut in the resources") << pe.left(0x260) << "";
        QByteArray wild = pe;
        put32(wild, 0x3C, 0x7FFFFFF0);
        QTest::newRow("header offset past the end") << wild << "";
        QByteArray loop = pe;
        put32(loop, 0x200 + 20, 0x80000000u | 0x0);
        QTest::newRow("directory pointing at itself") << loop << "";
        QByteArray noSig = pe;
        put32(noSig, 0x200 + 0x58 + 40, 0x12345678);
        QTest::newRow("no fixed part") << noSig << "";
        QByteArray many = pe;
        put16(many, 0x200 + 14, 0xFFFF);
        QTest::newRow("absurd entry count") << many << "";
    }
    void versions()
    {
        QFETCH(QByteArray, bytes);
        QTemporaryDir dir;
        QVERIFY(writeBytes(dir.filePath("prog.exe"), bytes));
        QTEST(fileVersionString(dir.filePath("prog.exe")), "version");
    }

    void localRows()
    {
        QTemporaryDir dir;
        QVERIFY(writeBytes(dir.filePath("b.txt"), "hello"));
        QVERIFY(writeBytes(dir.filePath("A.exe"), makePe({1, 1, 2, 0})));
        QVERIFY(writeBytes(dir.filePath("empty.dat"), ""));
        QVERIFY(QDir(dir.path()).mkdir("folder"));
        bool ok = false;
        QStringList got;
        for (const LocalRow &r : localFolderRows(dir.path(), &ok))
            got << r.name + "|" + r.size + "|" + r.version;
        QVERIFY(ok);
        QCOMPARE(got,
                 (QStringList{"A.exe|1024 bytes|1.1.2.0", "b.txt|5 bytes|     n/a", "empty.dat|0 bytes|     n/a"}));
        const QString date = localFolderRows(dir.path(), &ok).value(1).date;
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
