#include "mainwindow/fileversion.h"
#include "mainwindow/mainlogic.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

using namespace tobra;

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

bool writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
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
        QFETCH(bool, enabled);
        QCOMPARE(putButtonRule(tech, selected), enabled);
    }

    void captions_data()
    {
        QTest::addColumn<int>("major");
        QTest::addColumn<int>("minor");
        QTest::addColumn<int>("revision");
        QTest::addColumn<QString>("caption");
        QTest::newRow("3.0.1") << 3 << 0 << 1 << "Tobra - Version: 3.0.1";
        QTest::newRow("1.1.2") << 1 << 1 << 2 << "Tobra - Version: 1.1.2";
        QTest::newRow("plain decimals") << 10 << 0 << 120 << "Tobra - Version: 10.0.120";
    }
    void captions()
    {
        QFETCH(int, major);
        QFETCH(int, minor);
        QFETCH(int, revision);
        QFETCH(QString, caption);
        QCOMPARE(versionCaption("Tobra", major, minor, revision), caption);
    }

    void remoteRows()
    {
        const QList<FtpListEntry> listing = {
            entry("B.ZIP", -1, 1024, "Jan 02 12:34"),  entry("sub", 0, 4096, "Jan 01 10:00"),
            entry("..", 0, 0, ""),                      entry("EMPTY.TXT", -1, 0, "2025-01-02 03:04:05"),
            entry("A.ZIP", -1, 5000000000LL, "01-02-26 03:04PM"),
        };
        const QList<RemoteRow> rows = remoteGridRows(listing);
        QCOMPARE(rows.size(), 3);
        QCOMPARE(rows[0].name, QString("B.ZIP"));
        QCOMPARE(rows[0].size, QString("1024 bytes"));
        QCOMPARE(rows[0].date, QString("Jan 02 12:34"));
        QCOMPARE(rows[1].name, QString("EMPTY.TXT"));
        QCOMPARE(rows[1].size, QString("0 bytes"));
        QCOMPARE(rows[1].date, QString("2025-01-02 03:04:05"));
        QCOMPARE(rows[2].size, QString("5000000000 bytes"));
        QVERIFY(remoteGridRows({}).isEmpty());
    }

    void techFolders_data()
    {
        QTest::addColumn<QString>("code");
        QTest::addColumn<bool>("usable");
        QTest::addColumn<QString>("folder");
        QTest::newRow("T3") << "T3" << true << "/uploads/T3";
        QTest::newRow("customer code") << "V7ACME" << true << "/uploads/V7ACME";
        QTest::newRow("star") << "*" << true << "/uploads/*";
        QTest::newRow("empty lists uploads") << "" << true << "/uploads/";
        QTest::newRow("parent") << ".." << false << "";
        QTest::newRow("slash") << "V7/../../etc" << false << "";
        QTest::newRow("backslash") << "V7\\X" << false << "";
        QTest::newRow("control") << QString("T1\r\nDELE x") << false << "";
    }
    void techFolders()
    {
        QFETCH(QString, code);
        QFETCH(bool, usable);
        QFETCH(QString, folder);
        QCOMPARE(techFolderUsable(code), usable);
        if (usable)
            QCOMPARE(remoteTechFolder(code), folder);
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

    void startFileBoxes_data()
    {
        QTest::addColumn<QString>("word");
        QTest::addColumn<QString>("box");
        QTest::newRow("no file: the INI folder") << "" << "/ini/";
        QTest::newRow("bare name") << "report.zip" << "/ini/report.zip";
        QTest::newRow("full path kept") << "/data/Report.zip" << "/data/Report.zip";
        QTest::newRow("relative folder kept") << "sub/Report.zip" << "sub/Report.zip";
        QTest::newRow("drive path kept") << "C:\\DATA\\A.ZIP" << "C:\\DATA\\A.ZIP";
        QTest::newRow("drive only kept") << "C:A.ZIP" << "C:A.ZIP";
    }
    void startFileBoxes()
    {
        QFETCH(QString, word);
        QFETCH(QString, box);
        QCOMPARE(startFileBox(word, "/ini/"), box);
        QCOMPARE(startFileBox(word, "/ini"), box);
    }

    void startFolders()
    {
        QTemporaryDir dir;
        QDir(dir.path()).mkpath("my.data");
        const QString sub = dir.filePath("my.data") + "/";
        QCOMPARE(startFolderFor(sub + "missing.zip", "/prog/"), sub);
        QCOMPARE(startFolderFor(sub, "/prog/"), sub);
        QCOMPARE(startFolderFor(dir.filePath("nowhere/a.zip"), "/prog/"), QString("/prog/"));
        QCOMPARE(startFolderFor("", "/prog/"), QString("/prog/"));
    }

    void localNames_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("name");
        QTest::newRow("unix") << "/home/ann/Report.zip" << "Report.zip";
        QTest::newRow("windows") << "C:\\DATA\\REPORT.ZIP" << "REPORT.ZIP";
        QTest::newRow("no extension") << "/tmp/notes" << "notes";
        QTest::newRow("drive without folder") << "C:A.ZIP" << "A.ZIP";
        QTest::newRow("bare") << "a.b.c" << "a.b.c";
        QTest::newRow("folder only") << "/tmp/" << "";
    }
    void localNames()
    {
        QFETCH(QString, path);
        QFETCH(QString, name);
        QCOMPARE(localFileNameOf(path), name);
    }

    void joins_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("joined");
        QTest::newRow("without separator") << "/home/ann" << "/home/ann/a.zip";
        QTest::newRow("with separator") << "/home/ann/" << "/home/ann/a.zip";
        QTest::newRow("root") << "/" << "/a.zip";
        QTest::newRow("windows") << "C:\\DATA" << "C:\\DATA\\a.zip";
        QTest::newRow("no folder") << "" << "a.zip";
    }
    void joins()
    {
        QFETCH(QString, folder);
        QFETCH(QString, joined);
        QCOMPARE(joinLocal(folder, "a.zip"), joined);
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
        QFETCH(int, index);
        QCOMPARE(findNameIndex(entries, name), index);
    }

    void storedNames()
    {
        QTemporaryDir dir;
        QVERIFY(writeBytes(dir.filePath("Report.zip"), "x"));
        QCOMPARE(storedLocalName(dir.path(), "REPORT.ZIP"), QString("Report.zip"));
        QCOMPARE(storedLocalName(dir.path(), "Report.zip"), QString("Report.zip"));
        QCOMPARE(storedLocalName(dir.path(), "OTHER.ZIP"), QString("OTHER.ZIP"));
    }

    void uploadFolders_data()
    {
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("folder");
        QTest::newRow("unix") << "/home/ann/a.zip" << "/home/ann";
        QTest::newRow("windows") << "C:\\DATA\\A.ZIP" << "C:\\DATA";
        QTest::newRow("drive root") << "C:\\A.ZIP" << "C:";
        QTest::newRow("unix root keeps its separator") << "/a.zip" << "/";
        QTest::newRow("bare name has none") << "A.ZIP" << "";
        QTest::newRow("blanks trimmed") << "  /tmp/x.zip  " << "/tmp";
    }
    void uploadFolders()
    {
        QFETCH(QString, box);
        QFETCH(QString, folder);
        QCOMPARE(uploadLocalDirectory(box), folder);
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
        QFETCH(QString, version);
        QTemporaryDir dir;
        const QString path = dir.filePath("prog.exe");
        QVERIFY(writeBytes(path, bytes));
        QCOMPARE(fileVersionString(path), version);
    }

    void localRows()
    {
        QTemporaryDir dir;
        QVERIFY(writeBytes(dir.filePath("b.txt"), "hello"));
        QVERIFY(writeBytes(dir.filePath("A.exe"), makePe({1, 1, 2, 0})));
        QVERIFY(writeBytes(dir.filePath("empty.dat"), ""));
        QVERIFY(QDir(dir.path()).mkdir("folder"));
        bool ok = false;
        const QList<LocalRow> rows = localFolderRows(dir.path(), &ok);
        QVERIFY(ok);
        QCOMPARE(rows.size(), 3);
        QCOMPARE(rows[0].name, QString("A.exe"));
        QCOMPARE(rows[0].version, QString("1.1.2.0"));
        QCOMPARE(rows[1].name, QString("b.txt"));
        QCOMPARE(rows[1].size, QString("5 bytes"));
        QCOMPARE(rows[1].version, QString("     n/a"));
        QCOMPARE(rows[1].date, localDateText(QFileInfo(dir.filePath("b.txt")).lastModified()));
        QVERIFY(!rows[1].date.isEmpty());
        QCOMPARE(rows[2].name, QString("empty.dat"));
        QCOMPARE(rows[2].size, QString("0 bytes"));

        localFolderRows(dir.filePath("missing"), &ok);
        QVERIFY(!ok);
        localFolderRows("", &ok);
        QVERIFY(!ok);
    }
};

QTEST_MAIN(TestMainLogic)
#include "test_mainlogic.moc"
