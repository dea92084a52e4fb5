#include "harness/testutil.h"
#include "support/inifile.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

using namespace tobra;
using namespace tobra::test;

class TestIniFile : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;
    QString file_;

private slots:
    void initTestCase()
    {
        QVERIFY(dir_.isValid());
        qputenv("TOBRA_WINDIR", dir_.path().toLocal8Bit());
        file_ = dir_.filePath("read.ini");
        QVERIFY(writeBytes(file_,
                           "; a comment line\r\n"
                           "[Preferences]\r\n"
                           "  URL  =  ftp.example.com  \r\n"
                           "Quoted=\"  spaced value  \"\r\n"
                           "Single='x'\r\n"
                           "Half=\"open\r\n"
                           "Empty=\r\n"
                           ";URL=commented.example\r\n"
                           "#Hash=skipped\r\n"
                           "url=second.example\r\n"
                           "no equals sign here\r\n"
                           "[ company name ]\r\n"
                           "company=Acme Realty, Inc.\r\n"
                           "[PREFERENCES]\r\n"
                           "Later=from second section\r\n"
                           "[lf]\n"
                           "key=value with lf\n"
                           "[Brackets]\r\n"
                           "Path=C:\\qof\\[x]\r\n"
                           "Eq=a=b\r\n"));
    }

    void read_data()
    {
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("def");
        QTest::addColumn<QString>("expected");
        QTest::newRow("case and blanks in names") << " PREFERENCES " << "url" << "d" << "ftp.example.com";
        QTest::newRow("first key wins") << "Preferences" << "URL" << "d" << "ftp.example.com";
        QTest::newRow("quotes removed, inside kept") << "Preferences" << "Quoted" << "d" << "  spaced value  ";
        QTest::newRow("single quotes") << "Preferences" << "Single" << "d" << "x";
        QTest::newRow("unbalanced quote kept") << "Preferences" << "Half" << "d" << "\"open";
        QTest::newRow("empty value is empty, not default") << "Preferences" << "Empty" << "d" << "";
        QTest::newRow("missing key gives default") << "Preferences" << "Nope" << "dflt" << "dflt";
        QTest::newRow("commented keys skipped") << "Preferences" << "#Hash" << "d" << "d";
        QTest::newRow("first section wins") << "Preferences" << "Later" << "d" << "d";
        QTest::newRow("section with blank inside") << "company name" << "COMPANY" << "" << "Acme Realty, Inc.";
        QTest::newRow("lf lines") << "LF" << "key" << "" << "value with lf";
        QTest::newRow("brackets in value") << "Brackets" << "Path" << "" << "C:\\qof\\[x]";
        QTest::newRow("equals in value") << "Brackets" << "Eq" << "" << "a=b";
        QTest::newRow("missing section") << "Nowhere" << "URL" << "def" << "def";
        QTest::newRow("empty key name") << "Preferences" << "" << "def" << "def";
    }
    void read()
    {
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(QString, def);
        QTEST(ReadIni(file_, section, key, def), "expected");
    }

    void missingFileAndBareName()
    {
        QCOMPARE(ReadIni(dir_.filePath("absent.ini"), "A", "B", "fallback"), QString("fallback"));
        QVERIFY(writeBytes(dir_.filePath("CHAT.INI"), "[PREFERENCES]\nURL=bare.example\n"));
        // A bare name is looked up in the Windows directory, in any letter case.
        QCOMPARE(ReadIni("CHAT.INI", "PREFERENCES", "URL", ""), QString("bare.example"));
        QCOMPARE(ReadIni("chat.ini", "preferences", "url", ""), QString("bare.example"));
        QCOMPARE(ReadIni("", "PREFERENCES", "URL", "d"), QString("d"));
    }

    void longValue()
    {
        const QString big(40000, 'v');
        QVERIFY(writeBytes(dir_.filePath("long.ini"), "[S]\nK=" + big.toLatin1() + "\n"));
        QCOMPARE(ReadIni(dir_.filePath("long.ini"), "S", "K", ""), big);
        QVERIFY(WriteIni(dir_.filePath("long.ini"), "S", "K2", big));
        QCOMPARE(ReadIni(dir_.filePath("long.ini"), "S", "K2", ""), big);
    }

    void windows1252Fallback()
    {
        // "Café" in Windows-1252, not valid UTF-8.
        QVERIFY(writeBytes(dir_.filePath("cp.ini"), "[S]\r\nName=Caf\xe9 \x80\r\nOther=1\r\n"));
        QCOMPARE(ReadIni(dir_.filePath("cp.ini"), "S", "Name", ""), QString::fromUtf8("Caf\xc3\xa9 \xe2\x82\xac"));
        QVERIFY(WriteIni(dir_.filePath("cp.ini"), "S", "Other", QString::fromUtf8("\xc3\xa9")));
        QCOMPARE(readBytes(dir_.filePath("cp.ini")), QByteArray("[S]\r\nName=Caf\xe9 \x80\r\nOther=\xe9\r\n"));
        QVERIFY(writeBytes(dir_.filePath("bom.ini"), "\xef\xbb\xbf[S]\nK=v\n"));
        QCOMPARE(ReadIni(dir_.filePath("bom.ini"), "S", "K", ""), QString("v"));
    }

    void writeKeepsOtherBytes_data()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QByteArray>("after");
        const QByteArray crlf = "; keep me\r\n[PREFERENCES]\r\nURL=old.example\r\nGETSAFETY=1\r\n\r\n[Other]\r\nA=1\r\n";
        QTest::newRow("replace one line, CRLF kept")
            << crlf << "preferences" << "url" << "new.example"
            << QByteArray("; keep me\r\n[PREFERENCES]\r\nURL=new.example\r\nGETSAFETY=1\r\n\r\n[Other]\r\nA=1\r\n");
        QTest::newRow("key appended after last entry of section")
            << crlf << "PREFERENCES" << "Port" << "21"
            << QByteArray("; keep me\r\n[PREFERENCES]\r\nURL=old.example\r\nGETSAFETY=1\r\nPort=21\r\n\r\n[Other]\r\nA=1\r\n");
        QTest::newRow("section appended, LF file")
            << QByteArray("[A]\nx=1\n") << "PREFERENCES" << "URL" << "h"
            << QByteArray("[A]\nx=1\n[PREFERENCES]\nURL=h\n");
        QTest::newRow("no final line end")
            << QByteArray("[PREFERENCES]\r\nOther=1") << "PREFERENCES" << "URL" << "h"
            << QByteArray("[PREFERENCES]\r\nOther=1\r\nURL=h\r\n");
        QTest::newRow("only first of duplicated sections")
            << QByteArray("[S]\nK=1\n[S]\nK=2\n") << "S" << "K" << "9" << QByteArray("[S]\nK=9\n[S]\nK=2\n");
        QTest::newRow("line break in value cannot add an entry")
            << QByteArray("[S]\nK=1\n") << "S" << "K" << "a\r\n[Evil]\nX=1" << QByteArray("[S]\nK=a  [Evil] X=1\n");
        QTest::newRow("empty file") << QByteArray() << "S" << "K" << "v" << QByteArray("[S]\nK=v\n");
    }
    void writeKeepsOtherBytes()
    {
        QFETCH(QByteArray, before);
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(QString, value);
        QFETCH(QByteArray, after);
        const QString path = dir_.filePath("w.ini");
        QVERIFY(writeBytes(path, before));
        QVERIFY(WriteIni(path, section, key, value));
        QCOMPARE(readBytes(path), after);
    }

    void writeNewFileAndFolder()
    {
        const QString path = dir_.filePath("sub/dir/new.ini");
        QVERIFY(WriteIni(path, "PREFERENCES", "URL", "made.example"));
        QCOMPARE(ReadIni(path, "PREFERENCES", "URL", ""), QString("made.example"));
        QVERIFY(!WriteIni("", "S", "K", "v"));
        QVERIFY(!WriteIni(path, "", "K", "v"));
        QVERIFY(!WriteIni(path, "S", "", "v"));
        // A folder that is a file: nothing can be written, and the caller
        // learns it instead of believing the value was saved.
        QVERIFY(writeBytes(dir_.filePath("plainfile"), "x"));
        QVERIFY(!WriteIni(dir_.filePath("plainfile/x.ini"), "S", "K", "v"));
        QCOMPARE(readBytes(dir_.filePath("plainfile")), QByteArray("x"));
    }

    void atomicReplace()
    {
        // The file is replaced by a new one (rename), never rewritten in
        // place, so a reader holding the old file sees the old bytes whole
        // and no temporary file is left behind.
        const QString path = dir_.filePath("atomic.ini");
        QVERIFY(writeBytes(path, "[S]\nK=old\n"));
        ::chmod(QFile::encodeName(path).constData(), 0640);
        struct stat before {};
        QCOMPARE(::stat(QFile::encodeName(path).constData(), &before), 0);
        QFile held(path);
        QVERIFY(held.open(QIODevice::ReadOnly));
        QVERIFY(WriteIni(path, "S", "K", "new"));
        QCOMPARE(held.readAll(), QByteArray("[S]\nK=old\n"));
        struct stat after {};
        QCOMPARE(::stat(QFile::encodeName(path).constData(), &after), 0);
        QVERIFY(before.st_ino != after.st_ino);
        QCOMPARE(after.st_mode & 0777, mode_t(0640));
        QCOMPARE(readBytes(path), QByteArray("[S]\nK=new\n"));
        const QStringList left = QDir(dir_.path()).entryList({"atomic.ini*"}, QDir::Files | QDir::Hidden);
        QCOMPARE(left, QStringList{"atomic.ini"});
    }
};

QTEST_GUILESS_MAIN(TestIniFile)
#include "test_inifile.moc"
