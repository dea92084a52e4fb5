#include "harness/testutil.h"
#include "support/errorhandler.h"
#include "support/messages.h"
#include "support/modcommon.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace tobra;
using tobra::test::writeBytes;

class TestModCommon : public QObject {
    Q_OBJECT
private slots:
    void returnPart_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("side");
        QTest::addColumn<QString>("sep");
        QTest::addColumn<QString>("expected");
        QTest::newRow("right of first") << "a|b|c" << "R" << "|" << "b|c";
        QTest::newRow("left of first") << "a|b|c" << "L" << "|" << "a";
        QTest::newRow("lower-case side") << "a|b" << "left" << "|" << "a";
        QTest::newRow("missing sep, right") << "abc" << "R" << "|" << "";
        QTest::newRow("missing sep, left") << "abc" << "L" << "|" << "";
        QTest::newRow("two-char sep") << "T3/SC:\\A" << "R" << "/S" << "C:\\A";
        QTest::newRow("other side") << "a|b" << "X" << "|" << "";
        QTest::newRow("case-sensitive sep") << "a/sb" << "L" << "/S" << "";
    }
    void returnPart()
    {
        QFETCH(QString, text);
        QFETCH(QString, side);
        QFETCH(QString, sep);
        QTEST(ReturnPart(text, side, sep), "expected");
    }

    void slashes_data()
    {
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("ck");        // CkRSlash result
        QTest::addColumn<QString>("ckArg");     // argument afterwards
        QTest::addColumn<QString>("strip");     // StripRChar result
        QTest::newRow("windows folder with blanks") << "  C:\\DATA  " << "C:\\DATA\\" << "C:\\DATA\\" << "C:\\DATA";
        QTest::newRow("linux folder") << "/home/ann" << "/home/ann/" << "/home/ann/" << "/home/ann";
        QTest::newRow("already ended") << "/srv/" << "/srv/" << "/srv/" << "/srv";
        QTest::newRow("blank leaves argument") << "   " << "" << "   " << "";
        QTest::newRow("lone backslash") << "\\" << "\\" << "\\" << "";
        QTest::newRow("two trailing keep one") << "C:\\A\\\\" << "C:\\A\\\\" << "C:\\A\\\\" << "C:\\A\\";
        QTest::newRow("drive root") << "C:\\" << "C:\\" << "C:\\" << "C:";
        QTest::newRow("bare name gets native") << "data" << QString("data") + QDir::separator()
                                                << QString("data") + QDir::separator() << "data";
    }
    void slashes()
    {
        QFETCH(QString, input);
        QString arg = input;
        QTEST(CkRSlash(arg), "ck");
        QTEST(arg, "ckArg");
        arg = input;
        QTEST(StripRChar(arg), "strip");
        QTEST(arg, "strip");
    }

    void parseFileName_data()
    {
        QTest::addColumn<QString>("full");
        QTest::addColumn<QString>("drive");
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("ext");
        QTest::newRow("windows, case kept") << "c:\\data\\file.txt" << "c:" << "\\data\\" << "file" << "txt";
        QTest::newRow("linux") << "/home/ann/Report.zip" << "" << "/home/ann/" << "Report" << "zip";
        QTest::newRow("dotted folder stays folder") << "/srv/my.data/a.tar.gz" << "" << "/srv/my.data/" << "a"
                                                   << "tar.gz";
        QTest::newRow("windows dotted folder") << "C:\\A.B\\C.TXT" << "C:" << "\\A.B\\" << "C" << "TXT";
        QTest::newRow("bare name") << "FILE" << "" << "" << "FILE" << "";
        QTest::newRow("trailing dot") << "x." << "" << "" << "x" << "";
        QTest::newRow("unc") << "\\\\SERVER\\SHARE\\A.TXT" << "" << "\\\\SERVER\\SHARE\\" << "A" << "TXT";
        QTest::newRow("drive only") << "C:" << "C:" << "" << "" << "";
        QTest::newRow("blank") << "   " << "" << "" << "" << "";
        QTest::newRow("trimmed") << "  /tmp/a b.zip  " << "" << "/tmp/" << "a b" << "zip";
        QTest::newRow("mixed separators") << "C:\\data/sub\\x.db" << "C:" << "\\data/sub\\" << "x" << "db";
        QTest::newRow("bracket prefix") << "NODE]DIR\\F.TXT" << "" << "DIR\\" << "F" << "TXT";
        QTest::newRow("folder only") << "/var/tmp/" << "" << "/var/tmp/" << "" << "";
        QTest::newRow("hidden file") << "/home/a/.profile" << "" << "/home/a/" << "" << "profile";
    }
    void parseFileName()
    {
        QFETCH(QString, full);
        const FileNameParts p = ParseFileName(full);
        QTEST(p.drive, "drive");
        QTEST(p.folder, "folder");
        QTEST(p.name, "name");
        QTEST(p.ext, "ext");
    }

    void stringHelpers()
    {
        QCOMPARE(StripChar("FILE##|", '#'), QString("FILE|"));
        QCOMPARE(StripChar("none", '#'), QString("none"));
        QCOMPARE(CountChar("a\\b\\c", '\\'), 2);
        QString s = "hello", blank = "   ", digit = "9x", accented = QString::fromUtf8("\xc3\xa9t\xc3\xa9");
        QVERIFY(IsAlphaChar(s) && !IsAlphaChar(blank) && !IsAlphaChar(digit) && !IsAlphaChar(accented));
        QCOMPARE(s, QString("h"));
        QCOMPARE(blank, QString("   "));
        QVERIFY(IsDigitOrDash('-') && IsDigitOrDash('0') && !IsDigitOrDash('_') && !IsDigitOrDash(' '));
    }

    void fileExists()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QVERIFY(writeBytes(dir.filePath("full.zip"), "x") && writeBytes(dir.filePath("empty.zip"), "")
                && writeBytes(dir.filePath(".hidden"), "data"));
        QVERIFY(FileExists(dir.filePath("full.zip")));
        QVERIFY(!FileExists(dir.filePath("empty.zip")));
        QVERIFY(!FileExists(dir.filePath(".hidden")));
        QVERIFY(!FileExists(dir.filePath("missing.zip")));
        QVERIFY(!FileExists(dir.path()) && !FileExists("") && !FileExists("   "));
        // Backslashes written on Windows reach the same file.
        QString windowsStyle = dir.filePath("full.zip");
        windowsStyle.replace('/', '\\');
        QVERIFY(FileExists(windowsStyle));
        QVERIFY(PathExists(dir.path()) && PathExists(dir.filePath("empty.zip")));
        QVERIFY(FolderExists(dir.path()) && !FolderExists(dir.filePath("full.zip")));
    }

    void errorHandler_data()
    {
        QTest::addColumn<int>("number");
        QTest::addColumn<int>("answer");   // MsgAnswer given, 0 for none asked
        QTest::addColumn<int>("action");
        QTest::newRow("file not found raises silently") << 53 << 0 << int(ErrRaise);
        QTest::newRow("device i/o retry") << kErrDeviceIO << int(MsgAnswer::Retry) << int(ErrRetry);
        QTest::newRow("disk full ignore") << kErrDiskFull << int(MsgAnswer::Ignore) << int(ErrIgnore);
        QTest::newRow("device unavailable abort") << kErrDeviceUnavailable << int(MsgAnswer::Abort) << int(ErrLeave);
        QTest::newRow("not ready retry") << kErrDiskNotReady << int(MsgAnswer::Retry) << int(ErrRetry);
    }
    void errorHandler()
    {
        QFETCH(int, number);
        QFETCH(int, answer);
        auto face = std::make_shared<ScriptedFace>();
        auto old = Messages::setFace(face);
        if (answer)
            face->answerNext(MsgAnswer(answer));
        setCurrentProcName("LoadFileGrid");
        QTEST(int(ErrorHandler(number, "Disk full")), "action");
        QTEST(int(lastErrorAction()), "action");
        if (answer) {
            QCOMPARE(face->shown.size(), 1);
            QCOMPARE(face->shown[0].text,
                     QString("Disk full.\r\nError # %1 in module LoadFileGrid.").arg(number));
            QCOMPARE(face->shown[0].style, int(MsgStyle::AbortRetryIgnore));
            QCOMPARE(face->shown[0].title, QString("Error"));
        } else {
            QVERIFY(face->shown.isEmpty());
        }
        Messages::setFace(old);
    }

    void errnoMapping()
    {
        QCOMPARE(errorNumberFromErrno(EIO), kErrDeviceIO);
        QCOMPARE(errorNumberFromErrno(ENOSPC), kErrDiskFull);
        QCOMPARE(errorNumberFromErrno(ENODEV), kErrDeviceUnavailable);
        QCOMPARE(errorNumberFromErrno(ENOENT), 0);
        setCurrentProcName("AVeryLongProcedureNameIndeed");
        QCOMPARE(CurrentProcName(), QString("AVeryLongProcedureNa"));
        setCurrentProcName("Short");
        QCOMPARE(CurrentProcName().size(), 20);
    }
};

QTEST_GUILESS_MAIN(TestModCommon)
#include "test_modcommon.moc"
