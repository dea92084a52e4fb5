#include "backup/backuprun.h"
#include "backup/productprofile.h"

#include <QtTest>

using namespace tobra;

class TestBackupRules : public QObject {
    Q_OBJECT

private slots:
    void companyFolderName()
    {
        const struct { Product product; QString company; const char *folder; } rows[] = {
            {Product::Qof, "Acme Realty, Inc.", "QOFAcmeRealtyInc"},
            {Product::Qof, "", "QOF"},
            {Product::Qofp, "", "QOFP"},
            {Product::Qsnp, "", "QSNP"},
            {Product::Qofp, " .,&_ !? ", "QOFP"},
            {Product::Qof, "acme", "QOFacme"},
            {Product::Qsnp, "Smith-Jones & Co. 42", "QSNPSmith-JonesCo42"},
            {Product::Qof, QString::fromUtf8("Café Øst Straße"), "QOFCafstStrae"},
            {Product::Qof, QString::fromUtf8("aſbıc"), "QOFabc"},   // look-alikes of ASCII letters
            {Product::Qof, QString::fromUtf8("A１２"), "QOFA"},      // full-width digits
            {Product::Qof, "../..\\etc/x", "QOFetcx"},
            {Product::Qofp, "A\tB\nC\r", "QOFPABC"},
            {Product::Qsnp, "   Zed   ", "QSNPZed"},
        };
        for (const auto &r : rows) {
            QCOMPARE(tobra::companyFolderName(productProfile(r.product).code, r.company), QString(r.folder));
            // The window applies the rule again to a finished name: no change.
            QCOMPARE(ReturnAlphaNumbersOnly(r.folder), QString(r.folder));
        }
    }

    void sessionsSetting()
    {
        // CHAT.INI SESSIONS: 1 to 4; anything else gives the default, 3.
        const struct { const char *text; int sessions; } rows[] = {
            {"", 3}, {"1", 1}, {" 2 ", 2}, {"4", 4}, {"0", 3}, {"5", 3}, {"-1", 3}, {"two", 3}, {"3x", 3}};
        for (const auto &r : rows)
            QCOMPARE(parseBackupSessions(r.text), r.sessions);
    }

    void entryInsideDataFolder()
    {
        for (const char *in : {"DATA.DB", "sub/x.db", "sub\\x.db", "a..b.db"})
            QVERIFY2(isEntryInsideDataFolder(in), in);
        for (const char *out : {"../x.db", "sub\\..\\..\\x.db", "sub/ .. /x.db", "/etc/passwd", "\\x.db", "C:\\x.db", "  "})
            QVERIFY2(!isEntryInsideDataFolder(out), out);
    }

    void gridAndFolderEntries()
    {
        const QList<FtpListEntry> entries{{"A.DB", -1, 1024, "Jan 02 2025"}, {"..", 0, 0, ""},
                                          {"OLD", 0, 0, ""}, {".", 0, 0, ""}, {"E.DB", -1, 0, "x"},
                                          {"N", -1, -5, ""}};  // a sign takes the blank's place
        for (bool folders : {true, false}) {
            QStringList got;
            for (const BackupGridRow &r : backupGridRows(entries, folders))
                got << r.name + "|" + r.size + "|" + r.dateTime;
            QStringList want{"A.DB| 1024|2025-01-02 00:00:00", "OLD| 0|", "E.DB| 0|x", "N|-5|"};
            if (!folders)   // only frmQof lists sub-folders
                want.removeAt(1);
            QCOMPARE(got, want);
        }
        const QList<FtpListEntry> listing{
            {"QOFFILE", -1, 1, ""}, {"QOFAcme", 0, 0, ""}, {"QOFACME2", 0, 0, ""}, {"QOFACME", 0, 0, ""}};
        const struct { const char *name, *found; } rows[] = {
            {"QOFAcme", "QOFAcme"}, {"QOFACME", "QOFAcme"}, {"  qofacme ", "QOFAcme"},
            {"QOFFILE", ""},   // a file is no folder
            {"QOFAc", ""},
        };
        for (const auto &r : rows)
            QCOMPARE(findFolderEntry(listing, r.name), QString(r.found));
    }

    void resultTexts()
    {
        const QString done = "Your %1 DataBase now has been transfered to Halvex FTP site.";
        // Listed, sent, missing paths, failures; how the headings and the
        // warning start, whether the completion label is used, entries of the lists.
        const struct { Product product; int listed, sent; QStringList missing; int failures; QString warning;
                       bool completion; int listEntries; } rows[] = {
            {Product::Qof, 3, 3, {}, 0, done.arg("Quillon Office"), false, 0},
            {Product::Qofp, 2, 2, {}, 0, done.arg("Quillon Office Plus"), false, 0},
            {Product::Qsnp, 1, 1, {}, 0, done.arg("Quillon Snapfolio"), false, 0},
            {Product::Qof, 3, 1, {"/d/a.db", "/d/b.db"}, 0, "Following files are missing in your Quillon Office Database.", false, 2},
            {Product::Qof, 2, 1, {}, 1, "Following files could not be sent to Halvex FTP site.", false, 1},
            {Product::Qofp, 2, 1, {"/d/a.db"}, 0,
             "/d/a.db is missing in your Quillon Office database. No Data transfer has been completed.", false, 0},
            {Product::Qsnp, 3, 1, {"/d/a.db", "/d/c.db"}, 0,
             "/d/a.db, /d/c.db are missing in your Quillon Snapfolio Database. No transfer has been completed.", false, 0},
            {Product::Qsnp, 2, 1, {}, 1, "/d/f1.db could not be sent: refused", false, 0},
            {Product::Qof, 0, 0, {}, 0, "No database files of Quillon Office are listed in get.INI (section QofFILES).", false, 0},
            {Product::Qofp, 0, 0, {}, 0,
             "No database files of Quillon Office Plus are listed in get.INI (section QofpFILES).", false, 0},
        };
        for (const auto &row : rows) {
            const ProductProfile &p = productProfile(row.product);
            RunRecord r;
            r.listed = row.listed;
            r.sent = row.sent;
            r.missingPaths = row.missing;
            for (const QString &m : row.missing)
                r.missingNames << m.section('/', -1);
            for (int i = 1; i <= row.failures; ++i)
                r.failures.append({QStringLiteral("/d/f%1.db").arg(i), QStringLiteral("f%1.db").arg(i), "refused"});
            const RunResult res = runResult(p, r);
            const QString said = res.missingHeading + res.notSentHeading + res.warning;
            QVERIFY2(said.startsWith(row.warning), qPrintable(said));
            QCOMPARE(!res.completion.isEmpty(), row.completion);
            QCOMPARE(int(res.missingList.size() + res.notSentList.size()), row.listEntries);
            // Never the completion text when anything was left behind.
            const bool whole = row.listed > 0 && row.missing.isEmpty() && row.failures == 0;
            QCOMPARE(res.warning.contains(completionText(p)) || res.completion.contains(completionText(p)), whole);
            const QString count = QStringLiteral("%1 of %2 files").arg(row.sent).arg(row.listed);
            if (!whole && row.listed > 0)
                QVERIFY2(res.warning.contains(count) || res.completion.contains(count), qPrintable(res.warning));
        }
        // Missing and not sent stay apart, each under its heading; a name the
        // server still holds is said to be an older copy there.
        RunRecord both;
        both.listed = 3;
        both.missingPaths = {"/d/a.db"};
        both.missingNames = {"a.db"};
        both.failures.append({"/d/b.db", "B.DB", "not sent: the backup was cancelled"});
        const RunResult res = runResult(productProfile(Product::Qof), both, {"A.DB", "B.DB", "C.DB"});
        QCOMPARE(res.missingList, QStringList{"a.db (the server keeps an older copy)"});
        QCOMPARE(res.notSentList, QStringList{"B.DB: not sent: the backup was cancelled (the server keeps an older copy)"});
        QVERIFY(res.missingHeading.contains("missing") && res.notSentHeading.contains("could not be sent")
                && !res.warning.contains("Following"));
        QCOMPARE(runResult(productProfile(Product::Qof), both).notSentList, QStringList{"B.DB: not sent: the backup was cancelled"});

        // Long lists are cut to ten names.
        QStringList paths;
        for (int i = 0; i < 40; ++i)
            paths << QStringLiteral("/data/file%1.db").arg(i);
        const QString text = missingMessage(productProfile(Product::Qofp), paths);
        QVERIFY(text.contains("/data/file9.db") && !text.contains("/data/file10.db"));
        QVERIFY2(text.contains("30 other files are missing"), qPrintable(text));
    }
};

QTEST_GUILESS_MAIN(TestBackupRules)
#include "test_backuprules.moc"
