#include "ftp/ftplisting.h"

#include <QtTest>

using namespace tobra;

namespace {

// One entry as "name|isfile|size|datetime", so a table row reads at a glance.
QStringList describe(const QList<FtpListEntry> &entries)
{
    QStringList out;
    for (const FtpListEntry &e : entries)
        out << QStringLiteral("%1|%2|%3|%4").arg(e.Name).arg(e.IsFile).arg(e.Size).arg(e.DateTime);
    return out;
}

}  // namespace

class TestFtpListing : public QObject {
    Q_OBJECT

private slots:
    void mlsd()
    {
        const struct { QByteArray text; QStringList expected; } rows[] = {
            {QByteArray("type=file;size=1234;modify=20260102123456; REPORT.ZIP\r\n"
             "type=dir;modify=20251231235959; T3\r\n"), {"REPORT.ZIP|-1|1234|2026-01-02 12:34:56", "T3|0|0|2025-12-31 23:59:59"}},
            {QByteArray("type=cdir;modify=20260102123456; .\r\n"
             "type=pdir;modify=20260102123456; ..\r\n"
             "type=file;size=1; A\r\n"), {"A|-1|1|"}},
            {QByteArray("type=file;size=5; my file; v2 .txt\r\n"
             "type=file;size=6;  leading\r\n"), {"my file; v2 .txt|-1|5|", " leading|-1|6|"}},
            {QByteArray("type=file;modify=20260102123456; NOSIZE\n"
             "type=dir;sizd=4096; D\n"), {"NOSIZE|-1|0|2026-01-02 12:34:56", "D|0|4096|"}},
            {QByteArray("Modify=20260102123456.789;UNIX.mode=0644;Size=77;Type=File; X\r\n"), {"X|-1|77|2026-01-02 12:34:56"}},
            {QByteArray("type=file;size=3;modify=20261302123456; BADMONTH\r\n"
             "type=file;size=3;modify=2026; SHORT\r\n"), {"BADMONTH|-1|3|", "SHORT|-1|3|"}},
            {QByteArray("type=OS.unix=slink:/srv/x;size=9; link\r\n"), {"link|-1|9|"}},
            {QByteArray("type=file;size=5000000000; BIG\r\n"), {"BIG|-1|5000000000|"}},
            {QByteArray("type=file;size=-5; NEG\r\n"
             "type=file;size=99999999999999999999999; HUGE\r\n"
             "type=file;size=12abc; MIXED\r\n"
             "type=file;size=1; OK\r\n"), {"OK|-1|1|"}},
            {QByteArray("hello world\r\n"
             "nospace\r\n"
             "type=file;size=1 missing-semicolon\r\n"
             "novalue;size=1; X\r\n"
             "type=file;size=2; \r\n"
             "type=file;size=3; GOOD\r\n"), {"GOOD|-1|3|"}},
            {QByteArray("type=file;size=1; A\x1b[2JB\x07\r\n"
             "type=file;size=1; \x01\x02\r\n"), {"A[2JB|-1|1|"}},
            // U+2028, U+2029, U+202E (override), U+2066 and U+2069 (isolates):
            // a name must not fake a line or show "exe.txt" for "txt.exe".
            {QByteArray("type=file;size=1; a\xe2\x80\xa8" "b\xe2\x80\xa9" "c\r\n"
             "type=file;size=1; report\xe2\x80\xaetxt.exe\r\n"
             "type=file;size=1; \xe2\x81\xa6x\xe2\x81\xa9\r\n"), {"abc|-1|1|", "reporttxt.exe|-1|1|", "x|-1|1|"}},
            // Every other Bidi_Control character: U+061C, U+200E, U+200F,
            // U+202A-U+202D, U+2067, U+2068; then characters that hide
            // text: U+200B, U+FEFF, U+00AD, U+FE0F, the tag U+E0041.
            {QByteArray("type=file;size=1; a\xd8\x9c" "b\xe2\x80\x8e" "c\xe2\x80\x8f" "d\xe2\x80\xaa" "e\xe2\x80\xab"
                        "f\xe2\x80\xac" "g\xe2\x80\xad" "h\xe2\x81\xa7" "i\xe2\x81\xa8" "j\r\n"
             "type=file;size=1; v\xe2\x80\x8b" "w\xef\xbb\xbf" "x\xc2\xad" "y\xef\xb8\x8f" "z\xf3\xa0\x81\x81" ".txt\r\n"),
             {"abcdefghij|-1|1|", "vwxyz.txt|-1|1|"}},
            {QByteArray("type=file;size=1; Gr\xc3\xbc\xc3\x9f\x65.txt\r\n"
             "type=file;size=1; caf\xe9\r\n"), {QString::fromUtf8("Grüße.txt|-1|1|"), QString::fromUtf8("café|-1|1|")}},
            {(QByteArray("type=file;size=1; ") + QByteArray(100000, 'x') + "\r\ntype=file;size=2; SHORT\r\n"), {"SHORT|-1|2|"}},
            {QByteArray("type=file;size=1; A\r\ntype=file;size=2; B"), {"A|-1|1|", "B|-1|2|"}},
            {QByteArray(), {}},
            {QByteArray("\r\n\n\r\n"), {}},
        };
        for (const auto &r : rows)
            QVERIFY2(describe(parseMlsd(r.text)) == r.expected, r.text.left(80).constData());
    }

    void list()
    {
        const struct { QByteArray text; QStringList expected; } rows[] = {
            {QByteArray("total 12\r\n"
             "-rw-r--r--   1 ftpuser  ftpuser      1234 Jan 02 12:34 REPORT.ZIP\r\n"
             "drwxr-xr-x   2 ftpuser  ftpuser      4096 Dec  9  2024 T3\r\n"), {"REPORT.ZIP|-1|1234|Jan 02 12:34", "T3|0|4096|Dec 09 2024"}},
            {QByteArray("drwxr-xr-x 2 u g 4096 Jan 02 12:34 .\r\n"
             "drwxr-xr-x 2 u g 4096 Jan 02 12:34 ..\r\n"
             "-rw-r--r-- 1 u g 1 Jan 02 12:34 a\r\n"), {"a|-1|1|Jan 02 12:34"}},
            {QByteArray("-rw-r--r-- 1 u g 10 Feb 28 09:05 my report 2.zip\r\n"
             "-rw-r--r-- 1 u g 11 Feb 28 09:05  leading blank\r\n"), {"my report 2.zip|-1|10|Feb 28 09:05", " leading blank|-1|11|Feb 28 09:05"}},
            {QByteArray("lrwxrwxrwx 1 u g 7 Mar 01 10:00 current -> /srv/releases/7\r\n"), {"current|-1|7|Mar 01 10:00"}},
            {QByteArray("-rw-r--r--+ 1 1001 55 Apr 30 2023 nogroup.txt\r\n"), {"nogroup.txt|-1|55|Apr 30 2023"}},
            {QByteArray("-rw-r--r-- 1 jan 3 99 May 05 08:00 odd\r\n"), {"odd|-1|99|May 05 08:00"}},
            {QByteArray("-rw-r--r-- 1 u g 5 Jun 06 06:06 Jul 07 07:07 x\r\n"), {"Jul 07 07:07 x|-1|5|Jun 06 06:06"}},
            {QByteArray("-rw-r--r-- 1 u g 42 2026-01-02 12:34 iso.txt\r\n"), {"iso.txt|-1|42|2026-01-02 12:34"}},
            {QByteArray("-rw-r--r-- 1 u g 5000000000 Jan 02 12:34 big.bin\r\n"), {"big.bin|-1|5000000000|Jan 02 12:34"}},
            {QByteArray("01-02-26  03:04PM       <DIR>          T3\r\n"
             "01-02-26  11:59AM                 1234 REPORT.ZIP\r\n"
             "12-31-2025  23:59                  7 my file.txt\r\n"), {"T3|0|0|01-02-26 03:04PM", "REPORT.ZIP|-1|1234|01-02-26 11:59AM", "my file.txt|-1|7|12-31-2025 23:59"}},
            {QByteArray("01-02-26  03:04PM       <DIR>          .\r\n"
             "01-02-26  03:04PM       <DIR>          ..\r\n"), {}},
            {QByteArray("-rw-r--r-- 1 u g -5 Jan 02 12:34 neg\r\n"
             "-rw-r--r-- 1 u g 99999999999999999999999 Jan 02 12:34 huge\r\n"
             "01-02-26  03:04PM   -1 dosneg\r\n"
             "01-02-26  03:04PM   99999999999999999999999 doshuge\r\n"
             "-rw-r--r-- 1 u g 1 Jan 02 12:34 ok\r\n"), {"ok|-1|1|Jan 02 12:34"}},
            {QByteArray("total 0\r\n"
             "hello world this is not a listing\r\n"
             "-rw-r--r-- 1 u g 1 Jan 02 12:34\r\n"
             "-rw-r--r-- 1 u g 1 Foo 02 12:34 badmonth\r\n"
             "-rw-r--r-- 1 u g 1 Jan 32 12:34 badday\r\n"
             "-rw-r--r-- 1 u g 1 Jan 02 25:34 badtime\r\n"
             "xrw-r--r-- 1 u g 1 Jan 02 12:34 badmode\r\n"
             "13-45-26  03:04XM  <DIR> badtime\r\n"
             "-rw-r--r-- 1 u g 1 Jan 02 12:34 fine\r\n"), {"fine|-1|1|Jan 02 12:34"}},
            {QByteArray("-rw-r--r-- 1 u g 1 Jan 02 12:34 a\x1b[31mb\x7f\r\n"
             "01-02-26  03:04PM  5 c\x08\x01\r\n"), {"a[31mb|-1|1|Jan 02 12:34", "c|-1|5|01-02-26 03:04PM"}},
            {(QByteArray("-rw-r--r-- 1 u g 1 Jan 02 12:34 ") + QByteArray(50000, 'y')
             + "\n-rw-r--r-- 1 u g 2 Jan 02 12:34 short\n"), {"short|-1|2|Jan 02 12:34"}},
            {QByteArray(), {}},
        };
        for (const auto &r : rows)
            QVERIFY2(describe(parseList(r.text)) == r.expected, r.text.left(80).constData());
    }

    void oversizedListingIsRefused()
    {
        for (bool mlsd : {true, false}) {
            const QByteArray line = mlsd ? QByteArray("type=file;size=1; name\r\n")
                                         : QByteArray("-rw-r--r-- 1 u g 1 Jan 02 12:34 name\r\n");
            // Blank lines pad cheaply up to the limit exactly: that still parses,
            // one byte more is refused.
            QByteArray text = line + QByteArray(kMaxListingBytes - 2 * line.size(), '\n') + line;
            QCOMPARE(text.size(), kMaxListingBytes);
            QCOMPARE((mlsd ? parseMlsd(text) : parseList(text)).size(), 2);
            text += '\n';
            int error = 0;
            try {
                mlsd ? parseMlsd(text) : parseList(text);
            } catch (const FtpError &e) {
                error = e.number();
            }
            QCOMPARE(error, kErrListing);
        }
    }
};

QTEST_GUILESS_MAIN(TestFtpListing)
#include "test_ftplisting.moc"
