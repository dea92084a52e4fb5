#include "harness/testutil.h"
#include "support/inifile.h"

#include <QtTest>

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

    void read()
    {
        const struct { const char *section, *key, *def, *value; } rows[] = {
            {" PREFERENCES ", "url", "d", "ftp.example.com"},   // any case, blanks around
            {"Preferences", "URL", "d", "ftp.example.com"},     // the first of two keys
            {"Preferences", "Quoted", "d", "  spaced value  "},
            {"Preferences", "Single", "d", "x"},
            {"Preferences", "Half", "d", "\"open"},
            {"Preferences", "Empty", "d", ""},
            {"Preferences", "Nope", "dflt", "dflt"},
            {"Preferences", "#Hash", "d", "d"},                 // a comment, not a key
            {"Preferences", "Later", "d", "d"},                 // only the first section counts
            {"company name", "COMPANY", "", "Acme Realty, Inc."},
            {"LF", "key", "", "value with lf"},
            {"Brackets", "Path", "", "C:\\qof\\[x]"},
            {"Brackets", "Eq", "", "a=b"},
            {"Nowhere", "URL", "def", "def"},
            {"Preferences", "", "def", "def"},
        };
        for (const auto &r : rows)
            QCOMPARE(ReadIni(file_, r.section, r.key, r.def), QString(r.value));
        QCOMPARE(ReadIni(dir_.filePath("absent.ini"), "A", "B", "fallback"), QString("fallback"));
        QVERIFY(writeBytes(dir_.filePath("CHAT.INI"), "[PREFERENCES]\nURL=bare.example\n"));
        // A bare name is looked up in the Windows directory, in any letter case.
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

    // Bytes in, at most one write, exact bytes and values out.
    void bytes()
    {
        const auto utf16 = [](const QString &s) {
            QByteArray b("\xFF\xFE");
            for (const QChar c : s)
                b.append(char(c.unicode() & 0xFF)).append(char(c.unicode() >> 8));
            return b;
        };
        const QByteArray crlf =
            "; keep me\r\n[PREFERENCES]\r\nURL=old.example\r\nGETSAFETY=1\r\n\r\n[Other]\r\nA=1\r\n";
        const QString undefined1252 = QString::fromUtf16(u"\u0081\u008D\u008F\u0090\u009D");

        // Before, the write (section, key, value; none: read only), after,
        // reads afterwards ("section|key|value").
        const struct { const char *name; QByteArray before; QStringList write; QByteArray after; QStringList reads = {}; }
            rows[] = {
            {"replace one line, CRLF kept", crlf, {"preferences", "url", "new.example"},
             "; keep me\r\n[PREFERENCES]\r\nURL=new.example\r\nGETSAFETY=1\r\n\r\n[Other]\r\nA=1\r\n"},
            {"key appended after last entry of section", crlf, {"PREFERENCES", "Port", "21"},
             "; keep me\r\n[PREFERENCES]\r\nURL=old.example\r\nGETSAFETY=1\r\nPort=21\r\n\r\n[Other]\r\nA=1\r\n"},
            {"section appended, LF file", "[A]\nx=1\n", {"PREFERENCES", "URL", "h"}, "[A]\nx=1\n[PREFERENCES]\nURL=h\n"},
            {"no final line end", "[PREFERENCES]\r\nOther=1", {"PREFERENCES", "URL", "h"},
             "[PREFERENCES]\r\nOther=1\r\nURL=h\r\n"},
            {"only first of duplicated sections", "[S]\nK=1\n[S]\nK=2\n", {"S", "K", "9"}, "[S]\nK=9\n[S]\nK=2\n"},
            {"line break in value cannot add an entry", "[S]\nK=1\n", {"S", "K", "a\r\n[Evil]\nX=1"},
             "[S]\nK=a  [Evil] X=1\n", {"Evil|X|dflt"}},
            {"empty file", "", {"S", "K", "v"}, "[S]\nK=v\n"},
            {"[ without ] is no header", "[s]\na=1\n[t\nb=2\n", {"s", "b", "3"}, "[s]\na=1\n[t\nb=3\n",
             {"s|a|1", "s|b|3", "t|b|dflt"}},
            {"header closes at its last ]", "[a]b]\nk=1\n", {}, {}, {"a]b|k|1", "a|k|dflt"}},
            {"CR alone ends a line", "[s]\rk=1\r", {"s", "n", "2"}, "[s]\rk=1\rn=2\r", {"s|k|1", "s|n|2"}},
            {"CR file gets CR", "[a]\rx=1", {"b", "y", "2"}, "[a]\rx=1\r[b]\ry=2\r", {"a|x|1", "b|y|2"}},
            {"NUL ends a value", QByteArray("[s]\nk=a\0b\nm=1\n", 14), {"s", "m", "2"},
             QByteArray("[s]\nk=a\0b\nm=2\n", 14), {"s|k|a", "s|m|2"}},
            {"Windows-1252", "[S]\r\nName=Caf\xe9 \x80\r\nOther=1\r\n", {"S", "Other", "\u00e9"},
             "[S]\r\nName=Caf\xe9 \x80\r\nOther=\xe9\r\n", {"S|Name|Caf\u00e9 \u20ac"}},
            {"bytes undefined in Windows-1252 kept", "[s]\nk=\xe9\n", {"s", "k", undefined1252},
             "[s]\nk=\x81\x8d\x8f\x90\x9d\n", {"s|k|" + undefined1252}},
            {"Windows-1252 file stays one", "[s]\r\nA=\xc3\xa9\r\nB=\xe9\r\n", {"s", "B", "x"},
             "[s]\r\nA=\xc3\xa9\r\nB=x\xa0\r\n", {"s|A|\u00c3\u00a9", "s|B|x"}},
            {"character Windows-1252 lacks", "[s]\nA=\xe9\n", {"s", "B", "\u0141x"}, "[s]\nA=\xe9\nB=?x\n",
             {"s|A|\u00e9", "s|B|?x"}},
            {"UTF-16LE", utf16("[s]\r\nk=v\r\n"), {"s", "n", "\u00e9\u20ac"}, utf16("[s]\r\nk=v\r\nn=\u00e9\u20ac\r\n"),
             {"s|k|v", "s|n|\u00e9\u20ac"}},
            {"byte-order mark of a joined file", "[a]\nk=1\n\xef\xbb\xbf[b]\nk=2\n", {"b", "k", "3"},
             "[a]\nk=1\n\xef\xbb\xbf[b]\nk=3\n", {"a|k|1", "b|k|3"}},
            {"lines before the first header", "k=top\n[s]\nk=in\n", {"", "j", "1"}, "k=top\nj=1\n[s]\nk=in\n",
             {"|k|top", "|j|1", "s|k|in", "s|j|dflt"}},
            {"section \"\" ahead of the first header", "\xef\xbb\xbf[s]\nk=1\n", {"", "k", "0"},
             "\xef\xbb\xbfk=0\n[s]\nk=1\n", {"|k|0", "s|k|1"}},
            {"key led by a byte-order mark", "[s]\n \xef\xbb\xbfk=1\n", {"s", QChar(0xfeff) + QString("k"), "2"},
             "[s]\n \xef\xbb\xbfk=2\n", {"s|\ufeffk|2", "s|k|dflt"}},
            {"key \"\"", "[s]\n=v\nk=1\n", {"s", "", "w"}, "[s]\n=w\nk=1\n", {"s||w", "s|k|1"}},
        };
        const QString path = dir_.filePath("bytes.ini");
        for (const auto &r : rows) {
            QVERIFY(writeBytes(path, r.before));
            if (!r.write.isEmpty()) {
                QVERIFY(WriteIni(path, r.write[0], r.write[1], r.write[2]));
                QVERIFY2(readBytes(path) == r.after, r.name);
            }
            for (const QString &read : r.reads) {
                const QStringList f = read.split('|');
                // Windows drops the default's trailing blanks and its quotes.
                QVERIFY2(ReadIni(path, f[0], f[1], "\"dflt\"  ") == f[2], qPrintable(r.name + (": " + read)));
            }
        }
    }

    void folders()
    {
        // A folder that does not exist is a wrong name: nothing is made.
        QVERIFY(!WriteIni(dir_.filePath("sub/dir/new.ini"), "S", "K", "v"));
        QVERIFY(!QFileInfo::exists(dir_.filePath("sub")));
        QVERIFY(!WriteIni("", "S", "K", "v"));
        // A folder that is a file: the caller learns nothing was saved.
        QVERIFY(writeBytes(dir_.filePath("plainfile"), "x"));
        QVERIFY(!WriteIni(dir_.filePath("plainfile/x.ini"), "S", "K", "v"));
        QCOMPARE(readBytes(dir_.filePath("plainfile")), QByteArray("x"));
        // A fresh account has no Windows directory yet, by either name.
        const QString windows = dir_.filePath("fresh/windows");
        qputenv("TOBRA_WINDIR", windows.toLocal8Bit());
        const auto restore = qScopeGuard([this] { qputenv("TOBRA_WINDIR", dir_.path().toLocal8Bit()); });
        QVERIFY(WriteIni("BARE.INI", "S", "K", "v"));
        QVERIFY(QDir(windows).removeRecursively());
        QVERIFY(WriteIni(windows + "/full.ini", "S", "K", "v"));
        QCOMPARE(readBytes(windows + "/full.ini"), QByteArray("[S]\nK=v\n"));
    }

    // The file is replaced by a new one (rename), never rewritten in place:
    // a reader holding the old file sees the old bytes whole, the
    // permissions stay, and no temporary file is left behind.
    void atomicReplace()
    {
        const QString path = dir_.filePath("atomic.ini");
        QVERIFY(writeBytes(path, "[S]\nK=old\n"));
        QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup));
        const QFile::Permissions permissions = QFileInfo(path).permissions();
        QFile held(path);
        QVERIFY(held.open(QIODevice::ReadOnly));
        QVERIFY(WriteIni(path, "S", "K", "new"));
        QVERIFY(held.readAll() == "[S]\nK=old\n" && readBytes(path) == "[S]\nK=new\n");
        QCOMPARE(QFileInfo(path).permissions(), permissions);
        QCOMPARE(QDir(dir_.path()).entryList({"atomic.ini*"}, QDir::Files | QDir::Hidden), QStringList{"atomic.ini"});
    }
};

QTEST_GUILESS_MAIN(TestIniFile)
#include "test_inifile.moc"
