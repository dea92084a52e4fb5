#include "backup/productprofile.h"

#include <QtTest>

using namespace tobra;

Q_DECLARE_METATYPE(tobra::Product)

class TestBackupRules : public QObject {
    Q_OBJECT

private slots:
    void companyFolderName_data()
    {
        QTest::addColumn<Product>("product");
        QTest::addColumn<QString>("company");
        QTest::addColumn<QString>("folder");

        QTest::newRow("punctuation and blanks go") << Product::Qof << "Acme Realty, Inc." << "QOFAcmeRealtyInc";
        QTest::newRow("empty company, bare code") << Product::Qof << "" << "QOF";
        QTest::newRow("empty company, plus") << Product::Qofp << "" << "QOFP";
        QTest::newRow("empty company, snapfolio") << Product::Qsnp << "" << "QSNP";
        QTest::newRow("only punctuation and blanks") << Product::Qofp << " .,&_ !? " << "QOFP";
        QTest::newRow("lower case kept") << Product::Qof << "acme" << "QOFacme";
        QTest::newRow("hyphen and digits kept") << Product::Qsnp << "Smith-Jones & Co. 42" << "QSNPSmith-JonesCo42";
        QTest::newRow("letters outside A-Z dropped") << Product::Qof << QString::fromUtf8("Café Øst Straße")
                                                     << "QOFCafstStrae";
        // Look-alikes whose upper case is an ASCII letter stay out too.
        QTest::newRow("long s and dotless i") << Product::Qof << QString::fromUtf8("aſbıc") << "QOFabc";
        QTest::newRow("full-width digits") << Product::Qof << QString::fromUtf8("A１２") << "QOFA";
        QTest::newRow("path characters cannot escape") << Product::Qof << "../..\\etc/x" << "QOFetcx";
        QTest::newRow("control characters") << Product::Qofp << "A\tB\nC\r" << "QOFPABC";
        QTest::newRow("surrounding blanks") << Product::Qsnp << "   Zed   " << "QSNPZed";
    }
    void companyFolderName()
    {
        QFETCH(Product, product);
        QFETCH(QString, company);
        QFETCH(QString, folder);
        QCOMPARE(tobra::companyFolderName(productProfile(product).code, company), folder);
        // Applying the rule to a finished name changes nothing: the window
        // applies it again when it opens the folder.
        QCOMPARE(ReturnAlphaNumbersOnly(folder), folder);
    }

    void entryInsideDataFolder_data()
    {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<bool>("inside");
        QTest::newRow("plain name") << "DATA.DB" << true;
        QTest::newRow("sub-folder") << "sub/x.db" << true;
        QTest::newRow("sub-folder, backslash") << "sub\\x.db" << true;
        QTest::newRow("dots in a name") << "a..b.db" << true;
        QTest::newRow("parent") << "../x.db" << false;
        QTest::newRow("parent in the middle") << "sub\\..\\..\\x.db" << false;
        QTest::newRow("parent with blanks") << "sub/ .. /x.db" << false;
        QTest::newRow("absolute") << "/etc/passwd" << false;
        QTest::newRow("absolute, backslash") << "\\x.db" << false;
        QTest::newRow("drive letter") << "C:\\x.db" << false;
        QTest::newRow("blank") << "  " << false;
    }
    void entryInsideDataFolder()
    {
        QFETCH(QString, entry);
        QTEST(isEntryInsideDataFolder(entry), "inside");
    }

    void gridRows_data()
    {
        QTest::addColumn<bool>("listFolders");
        QTest::addColumn<QStringList>("rows");
        QTest::newRow("files and folders (frmQof)")
            << true << QStringList{"A.DB| 1024|2025-01-02 03:04:05", "OLD| 0|", "E.DB| 0|x", "N|-5|"};
        QTest::newRow("files only (the others)")
            << false << QStringList{"A.DB| 1024|2025-01-02 03:04:05", "E.DB| 0|x", "N|-5|"};
    }
    void gridRows()
    {
        QFETCH(bool, listFolders);
        const QList<FtpListEntry> entries{{"A.DB", -1, 1024, "2025-01-02 03:04:05"},
                                          {"..", 0, 0, ""},
                                          {"OLD", 0, 0, ""},
                                          {".", 0, 0, ""},
                                          {"E.DB", -1, 0, "x"},
                                          {"N", -1, -5, ""}};  // a sign takes the blank's place
        QStringList got;
        for (const BackupGridRow &r : backupGridRows(entries, listFolders))
            got << r.name + "|" + r.size + "|" + r.dateTime;
        QTEST(got, "rows");
    }

    void folderEntry_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("found");
        QTest::newRow("same spelling") << "QOFAcme" << "QOFAcme";
        QTest::newRow("other letter case") << "QOFACME" << "QOFAcme";
        QTest::newRow("blanks around") << "  qofacme " << "QOFAcme";
        QTest::newRow("a file of that name is no folder") << "QOFFILE" << "";
        QTest::newRow("prefix is not enough") << "QOFAc" << "";
    }
    void folderEntry()
    {
        QFETCH(QString, name);
        const QList<FtpListEntry> entries{
            {"QOFFILE", -1, 1, ""}, {"QOFAcme", 0, 0, ""}, {"QOFACME2", 0, 0, ""}, {"QOFACME", 0, 0, ""}};
        QTEST(findFolderEntry(entries, name), "found");
    }

    void resultTexts_data()
    {
        QTest::addColumn<Product>("product");
        QTest::addColumn<int>("listed");
        QTest::addColumn<int>("sent");
        QTest::addColumn<QStringList>("missing");  // paths
        QTest::addColumn<int>("failures");
        QTest::addColumn<QString>("warningStart");
        QTest::addColumn<bool>("completionLabel");
        QTest::addColumn<int>("listEntries");

        const QString done = "Your %1 DataBase now has been transfered to Halvex FTP site.";
        QTest::newRow("qof all sent") << Product::Qof << 3 << 3 << QStringList{} << 0
                                      << done.arg("Quillon Office") << false << 0;
        QTest::newRow("qofp all sent") << Product::Qofp << 2 << 2 << QStringList{} << 0
                                       << done.arg("Quillon Office Plus") << false << 0;
        QTest::newRow("qsnp all sent") << Product::Qsnp << 1 << 1 << QStringList{} << 0
                                       << done.arg("Quillon Snapfolio") << false << 0;
        QTest::newRow("qof missing") << Product::Qof << 3 << 1 << QStringList{"/d/a.db", "/d/b.db"} << 0
                                     << "Following files are missing in your Quillon Office Database." << true << 2;
        QTest::newRow("qof failed only") << Product::Qof << 2 << 1 << QStringList{} << 1
                                         << "Following files could not be sent to Halvex FTP site." << true << 1;
        QTest::newRow("qofp one missing")
            << Product::Qofp << 2 << 1 << QStringList{"/d/a.db"} << 0
            << "/d/a.db is missing in your Quillon Office database. No Data transfer has been completed." << false
            << 0;
        QTest::newRow("qsnp two missing, first and last")
            << Product::Qsnp << 3 << 1 << QStringList{"/d/a.db", "/d/c.db"} << 0
            << "/d/a.db, /d/c.db are missing in your Quillon Snapfolio Database. No transfer has been completed."
            << false << 0;
        QTest::newRow("qsnp failed only") << Product::Qsnp << 2 << 1 << QStringList{} << 1
                                          << "/d/f1.db could not be sent: refused" << false << 0;
        QTest::newRow("qof nothing listed")
            << Product::Qof << 0 << 0 << QStringList{} << 0
            << "No database files of Quillon Office are listed in get.INI (section QofFILES)." << false << 0;
        QTest::newRow("qofp nothing listed")
            << Product::Qofp << 0 << 0 << QStringList{} << 0
            << "No database files of Quillon Office Plus are listed in get.INI (section QofpFILES)." << false << 0;
    }
    void resultTexts()
    {
        QFETCH(Product, product);
        QFETCH(int, listed);
        QFETCH(int, sent);
        QFETCH(QStringList, missing);
        QFETCH(int, failures);
        QFETCH(QString, warningStart);

        const ProductProfile &p = productProfile(product);
        RunRecord r;
        r.listed = listed;
        r.sent = sent;
        r.missingPaths = missing;
        for (const QString &m : missing)
            r.missingNames << m.section(QLatin1Char('/'), -1);
        for (int i = 1; i <= failures; ++i)
            r.failures.append({QStringLiteral("/d/f%1.db").arg(i), QStringLiteral("f%1.db").arg(i), "refused"});

        const RunResult res = runResult(p, r);
        QVERIFY2(res.warning.startsWith(warningStart), qPrintable(res.warning));
        QTEST(!res.completion.isEmpty(), "completionLabel");
        QTEST(int(res.missingList.size()), "listEntries");
        // Never the completion text when anything was left behind.
        const bool whole = listed > 0 && missing.isEmpty() && failures == 0;
        QCOMPARE(res.warning.contains(completionText(p)) || res.completion.contains(completionText(p)), whole);
        if (!whole && listed > 0) {
            const QString count = QStringLiteral("%1 of %2 files").arg(sent).arg(listed);
            QVERIFY2(res.warning.contains(count) || res.completion.contains(count), qPrintable(res.warning));
        }
    }

    void manyMissingFilesStayReadable()
    {
        const ProductProfile &p = productProfile(Product::Qofp);
        QStringList paths;
        for (int i = 0; i < 40; ++i)
            paths << QStringLiteral("/data/file%1.db").arg(i);
        const QString text = missingMessage(p, paths);
        QVERIFY(text.contains("/data/file0.db"));
        QVERIFY(text.contains("/data/file9.db,") || text.contains("/data/file9.db and"));
        QVERIFY(!text.contains("/data/file10.db"));
        QVERIFY2(text.contains("30 other files are missing"), qPrintable(text));
    }
};

QTEST_GUILESS_MAIN(TestBackupRules)
#include "test_backuprules.moc"
