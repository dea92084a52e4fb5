#include "harness/testutil.h"
#include "support/errorhandler.h"
#include "support/messages.h"
#include "support/modcommon.h"

#include <QtTest>

using namespace tobra;
using tobra::test::writeBytes;

class TestModCommon : public QObject {
    Q_OBJECT
private slots:
    void stringHelpers()
    {
        const struct { const char *text, *side, *sep, *want; } parts[] = {
            {"a|b|c", "R", "|", "b|c"}, {"a|b|c", "L", "|", "a"}, {"a|b", "left", "|", "a"},
            {"abc", "R", "|", ""},      {"abc", "L", "|", ""},     {"T3/SC:\\A", "R", "/S", "C:\\A"},
            {"a|b", "X", "|", ""},      {"a/sb", "L", "/S", ""},   // the separator keeps its case
        };
        for (const auto &r : parts)
            QCOMPARE(ReturnPart(r.text, r.side, r.sep), QString(r.want));
        QCOMPARE(StripChar("FILE##|", '#'), QString("FILE|"));
        QCOMPARE(CountChar("a\\b\\c", '\\'), 2);
        QString s = "hello", blank = "   ", digit = "9x", accented = QString::fromUtf8("\xc3\xa9t\xc3\xa9");
        QVERIFY(IsAlphaChar(s) && !IsAlphaChar(blank) && !IsAlphaChar(digit) && !IsAlphaChar(accented));
        QCOMPARE(s, QString("h"));
        QVERIFY(IsDigitOrDash('-') && IsDigitOrDash('0') && !IsDigitOrDash('_') && !IsDigitOrDash(' '));
    }

    // CkRSlash's result and argument; StripRChar's result (also its argument).
    void slashes()
    {
        const QString sep = QDir::separator();
        const struct { QString in, ck, ckArg, strip; } rows[] = {
            {"  C:\\DATA  ", "C:\\DATA\\", "C:\\DATA\\", "C:\\DATA"},
            {"/home/ann", "/home/ann/", "/home/ann/", "/home/ann"},
            {"/srv/", "/srv/", "/srv/", "/srv"},
            {"   ", "", "   ", ""},
            {"\\", "\\", "\\", ""},
            {"C:\\A\\\\", "C:\\A\\\\", "C:\\A\\\\", "C:\\A\\"},
            {"C:\\", "C:\\", "C:\\", "C:"},
            {"data", "data" + sep, "data" + sep, "data"},
        };
        for (const auto &r : rows) {
            QString arg = r.in;
            QCOMPARE(CkRSlash(arg), r.ck);
            QCOMPARE(arg, r.ckArg);
            arg = r.in;
            QCOMPARE(StripRChar(arg), r.strip);
            QCOMPARE(arg, r.strip);
        }
    }

    // "drive|folder|name|ext".
    void parseFileName()
    {
        const struct { const char *full, *parts; } rows[] = {
            {"c:\\data\\file.txt", "c:|\\data\\|file|txt"},
            {"/home/ann/Report.zip", "|/home/ann/|Report|zip"},
            {"/srv/my.data/a.tar.gz", "|/srv/my.data/|a|tar.gz"},
            {"C:\\A.B\\C.TXT", "C:|\\A.B\\|C|TXT"},
            {"FILE", "||FILE|"},
            {"x.", "||x|"},
            {"\\\\SERVER\\SHARE\\A.TXT", "|\\\\SERVER\\SHARE\\|A|TXT"},
            {"C:", "C:|||"},
            {"   ", "|||"},
            {"  /tmp/a b.zip  ", "|/tmp/|a b|zip"},
            {"C:\\data/sub\\x.db", "C:|\\data/sub\\|x|db"},
            {"NODE]DIR\\F.TXT", "|DIR\\|F|TXT"},
            {"/var/tmp/", "|/var/tmp/||"},
            {"/home/a/.profile", "|/home/a/||profile"},
        };
        for (const auto &r : rows) {
            const FileNameParts p = ParseFileName(r.full);
            QCOMPARE(QStringList({p.drive, p.folder, p.name, p.ext}).join('|'), QString(r.parts));
        }
    }

    void fileExists()
    {
        QTemporaryDir dir;
        QVERIFY(writeBytes(dir.filePath("full.zip"), "x") && writeBytes(dir.filePath("empty.zip"), "")
                && writeBytes(dir.filePath(".hidden"), "data"));
        QVERIFY(FileExists(dir.filePath("full.zip")));
        for (const QString &no : {dir.filePath("empty.zip"), dir.filePath(".hidden"), dir.filePath("missing.zip"),
                                  dir.path(), QString(), QString("   ")})
            QVERIFY2(!FileExists(no), qPrintable(no));
        // Backslashes written on Windows reach the same file.
        QVERIFY(FileExists(dir.filePath("full.zip").replace('/', '\\')));
        QVERIFY(PathExists(dir.path()) && PathExists(dir.filePath("empty.zip")));
        QVERIFY(FolderExists(dir.path()) && !FolderExists(dir.filePath("full.zip")));
    }

    void errorHandler()
    {
        const struct { int number; MsgAnswer answer; ErrorAction action; } rows[] = {
            {53, MsgAnswer(0), ErrRaise},   // file not found: raised, nothing asked
            {kErrDeviceIO, MsgAnswer::Retry, ErrRetry},
            {kErrDiskFull, MsgAnswer::Ignore, ErrIgnore},
            {kErrDeviceUnavailable, MsgAnswer::Abort, ErrLeave},
            {kErrDiskNotReady, MsgAnswer::Retry, ErrRetry},
        };
        auto face = std::make_shared<ScriptedFace>();
        auto old = Messages::setFace(face);
        for (const auto &r : rows) {
            face->shown.clear();
            if (int(r.answer))
                face->answerNext(r.answer);
            setCurrentProcName("LoadFileGrid");
            QCOMPARE(ErrorHandler(r.number, "Disk full"), r.action);
            QCOMPARE(lastErrorAction(), r.action);
            QCOMPARE(face->shown.size(), int(r.answer) ? 1 : 0);
            if (int(r.answer))
                QVERIFY(face->shown[0].text == QString("Disk full.\r\nError # %1 in module LoadFileGrid.").arg(r.number)
                        && face->shown[0].style == 2 + 48 && face->shown[0].title == "Error");   // with its warning icon
        }
        Messages::setFace(old);
        const std::pair<int, int> errnos[] = {
            {EIO, kErrDeviceIO}, {ENOSPC, kErrDiskFull}, {ENODEV, kErrDeviceUnavailable}, {ENOENT, 0}};
        for (const auto &[e, number] : errnos)
            QCOMPARE(errorNumberFromErrno(e), number);
        setCurrentProcName("AVeryLongProcedureNameIndeed");
        QCOMPARE(CurrentProcName(), QString("AVeryLongProcedureNa"));
        setCurrentProcName("Short");
        QCOMPARE(CurrentProcName().size(), 20);
    }
};

QTEST_GUILESS_MAIN(TestModCommon)
#include "test_modcommon.moc"
