#include "backup/productwindow.h"
#include "ftp/ftpclient.h"
#include "harness/testutil.h"
#include "support/globals.h"
#include "support/messages.h"
#include "support/ui/inputblocker.h"
#include "support/ui/msfgrid.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QtTest>

#include <algorithm>
#include <functional>
#include <memory>
#include <utility>

using namespace tobra;

Q_DECLARE_METATYPE(tobra::Product)

namespace {

// One product installed on a temporary machine, backing up to a local server.
struct BackupMachine : test::Machine {
    // The product's INI (company, data folder) and its get.INI list.
    bool install(Product product, const QString &company, const QStringList &files, QString folder = {})
    {
        const ProductProfile &p = productProfile(product);
        QByteArray list = "[" + p.fileListSection.toUtf8() + "]\r\n";
        for (int i = 0; i < files.size(); ++i)
            list += "FILE" + QByteArray::number(i + 1) + "=" + files.at(i).toUtf8() + "\r\n";
        if (folder.isNull())
            folder = local.path();
        return test::writeBytes(ini.filePath(p.iniFile), "[company name]\r\ncompany=" + company.toUtf8()
                                                              + "\r\n[directories]\r\ndatadir=" + folder.toUtf8()
                                                              + "\r\n")
            && test::writeBytes(ini.filePath("get.INI"), list);
    }
    bool dataFile(const QString &rel, qint64 size) { return test::writePatternFile(local.filePath(rel), size); }
    bool dataFiles(const QStringList &rels, qint64 size)
    {
        return std::all_of(rels.begin(), rels.end(), [&](const QString &r) { return dataFile(r, size); });
    }
    QString remote(const QString &rel) const { return server.root() + "/uploads/" + rel; }
    QStringList remoteEntries(const QString &folder) const
    {
        return QDir(remote(folder)).entryList(QDir::AllEntries | QDir::NoDotAndDotDot, QDir::Name);
    }
    QStringList loginFolderFiles() const { return QDir(server.root()).entryList(QDir::Files); }
    bool same(const QString &localRel, const QString &remoteRel) const
    {
        QString why;
        const bool ok = test::sameFileContents(local.filePath(localRel), remote(remoteRel), &why);
        if (!ok)
            qWarning("%s: %s", qPrintable(remoteRel), qPrintable(why));
        return ok;
    }
};

template <typename T = QWidget>
T *ctl(QWidget *w, const QString &name)
{
    T *c = w->findChild<T *>(name);
    if (!c)
        qWarning("no control %s", qPrintable(name));
    return c;
}
bool shown(QWidget *w, const char *name)
{
    QWidget *c = ctl(w, name);
    return c && !c->isHidden();
}
QString text(QWidget *w, const char *name)
{
    if (auto *l = w->findChild<QLabel *>(name))
        return l->text();
    auto *e = ctl<QLineEdit>(w, name);
    return e ? e->text() : QString();
}
QStringList items(QWidget *w, const char *name)
{
    QStringList out;
    if (auto *l = ctl<QListWidget>(w, name))
        for (int i = 0; i < l->count(); ++i)
            out << l->item(i)->text();
    return out;
}
// Grid rows below the header as "name|size", sorted.
QStringList gridRows(QWidget *w)
{
    QStringList rows;
    if (auto *g = ctl<FlexGrid>(w, "MSFDir"))
        for (int r = 1; r < g->Rows(); ++r)
            rows << g->TextMatrix(r, 0) + "|" + g->TextMatrix(r, 1);
    rows.sort();
    return rows;
}
bool okEnabled(QWidget *w)
{
    auto *b = ctl<QPushButton>(w, "cmdOk");
    return b && b->isEnabled();
}

}  // namespace

class TestBackupWindow : public QObject {
    Q_OBJECT

private slots:
    void init() { program().SafetyOn = false; }

    void firstBackup()
    {
        // Product, company, company folder, data folder (empty: the local one;
        // brackets in a name are part of it).
        const struct { Product product; QString company, folder, data; } rows[] = {
            {Product::Qof, "Acme Realty, Inc.", "QOFAcmeRealtyInc", "Qof Data [2024]/"},
            {Product::Qofp, "Smith-Jones & Co.", "QOFPSmith-JonesCo", ""},
            {Product::Qsnp, "", "QSNP", ""},
        };
        for (const auto &[product, company, folder, data] : rows) {
            BackupMachine m;
            QVERIFY2(m.start(), qPrintable(m.server.lastError()));
            const QStringList files{"Main.db", "images.dat", "Index.idx"};
            QVERIFY(m.install(product, company, files, data.isEmpty() ? QString() : m.local.filePath(data)));
            QVERIFY(m.dataFile(data + "Main.db", 300 * 1024 + 7) && m.dataFile(data + "images.dat", 1)
                    && m.dataFile(data + "Index.idx", 4096));

            ProductWindow w(product);
            QVERIFY(w.Form_Load());
            QCOMPARE(text(&w, "txtCompany"), folder);
            QCOMPARE(items(&w, "lstQOFFiles"), files);
            // Opening made the company folder and made it the current one.
            QCOMPARE(w.ftp().currentDirectory(), "/uploads/" + folder);
            QVERIFY(!shown(&w, "MSFDir") && !shown(&w, "txtCompany") && shown(&w, "lstQOFFiles"));
            QCOMPARE(text(&w, "lblDataTransferWarning"), w.profile().warningText);

            w.cmdOk_Click();
            QVERIFY(m.same(data + "Main.db", folder + "/MAIN.DB") && m.same(data + "images.dat", folder + "/IMAGES.DAT")
                    && m.same(data + "Index.idx", folder + "/INDEX.IDX"));
            QCOMPARE(m.loginFolderFiles(), QStringList());
            // Done: the grid lists what is there now, sizes with a leading blank.
            QCOMPARE(gridRows(&w), QStringList({"IMAGES.DAT| 1", "INDEX.IDX| 4096", "MAIN.DB| 307207"}));
            QCOMPARE(text(&w, "lblDataTransferWarning"), completionText(w.profile()));
            QVERIFY(shown(&w, "MSFDir") && shown(&w, "txtCompany") && shown(&w, "lblFTP"));
            QVERIFY(!shown(&w, "lstQOFFiles") && !shown(&w, "lblLocal") && !okEnabled(&w));
            QVERIFY(ctl<QPushButton>(&w, w.profile().closeButtonName)->isEnabled());
            // The status bar names the folder.
            QCOMPARE(ctl<QLabel>(&w, "ftpconnection")->text(), "/uploads/" + folder + " on " + m.server.host());
            QCOMPARE(items(&w, "lstMessages").filter(QRegularExpression("^Upload of .* complete$")).size(), 3);
            // One login served opening, run and listing.
            QVERIFY(w.ftp().loginCount() == 1 && m.server.loginCount() == 1);
            QCOMPARE(m.texts(), QStringList());
        }
    }

    // Of a.db b.db c.db d.db the named ones are missing, the last one empty.
    // With the last file present the earlier gaps must still be reported.
    void missingAndEmptyFiles()
    {
        const struct { Product product; QStringList missing; } rows[] = {
            {Product::Qof, {"b.db", "c.db"}}, {Product::Qofp, {"b.db", "c.db"}}, {Product::Qofp, {"a.db"}},
            {Product::Qsnp, {"a.db", "c.db"}}, {Product::Qof, {"d.db"}},
        };
        for (const auto &[product, missing] : rows) {
            BackupMachine m;
            QVERIFY2(m.start(), qPrintable(m.server.lastError()));
            const QStringList all{"a.db", "b.db", "c.db", "d.db"};
            QVERIFY(m.install(product, "Co", all));
            QStringList sent;
            for (const QString &f : all)
                if (!missing.contains(f) && m.dataFile(f, 1000))
                    sent << f.toUpper();
            QVERIFY(test::writeBytes(m.local.filePath(missing.last()), QByteArray()));

            ProductWindow w(product);
            QVERIFY(w.Form_Load());
            w.cmdOk_Click();
            QCOMPARE(m.remoteEntries(productProfile(product).code + "Co"), sent);
            const QString warning = text(&w, "lblDataTransferWarning");
            QVERIFY2(!warning.contains(completionText(w.profile())), qPrintable(warning));
            if (product == Product::Qof) {
                QCOMPARE(warning, QString("Following files are missing in your Quillon Office Database."));
                QCOMPARE(items(&w, "lstMissingFiles"), missing);
                QVERIFY(shown(&w, "lstMissingFiles") && shown(&w, "lblTransferCompletion"));
            } else {
                // Every gap, in list order, with its full path (the sentence
                // itself is checked in test_backuprules).
                QStringList paths;
                for (const QString &f : missing)
                    paths << m.local.filePath(f);
                QVERIFY2(warning.startsWith(missingMessage(w.profile(), paths)), qPrintable(warning));
            }
            QCOMPARE(m.texts(), QStringList());
        }
    }

    // List: newsub/x.db (its folder missing), one.db (present). A file the
    // user kept back is not sent, and the run says so.
    void safetyQuestions()
    {
        const MsgAnswer y = MsgAnswer::Yes, n = MsgAnswer::No;
        const QString skipped = ": not sent: skipped at your answer";
        // Safety, answers, questions (C create, O overwrite, O2 overwrite
        // again), folder made, one.db sent, lstMissingFiles.
        const struct { bool safety; QList<MsgAnswer> answers; QStringList questions; bool folderMade, uploaded;
                       QStringList reported; } rows[] = {
            {false, {}, {}, true, true, {"x.db"}},
            {true, {y, y, y}, {"C", "O", "O2"}, true, true, {"x.db"}},
            {true, {n, n}, {"C", "O"}, false, false, {"x.db" + skipped, "one.db" + skipped}},
            {true, {y, y, n}, {"C", "O", "O2"}, true, false, {"x.db", "one.db" + skipped}},
        };
        for (const auto &r : rows) {
            BackupMachine m;
            QVERIFY2(m.start(), qPrintable(m.server.lastError()));
            QVERIFY(m.install(Product::Qof, "S", {"newsub/x.db", "one.db"}) && m.dataFile("one.db", 5000));
            program().SafetyOn = r.safety;
            for (MsgAnswer a : r.answers)
                m.face->answerNext(a);

            ProductWindow w(Product::Qof);
            QVERIFY(w.Form_Load());
            w.cmdOk_Click();
            const QString p = m.local.filePath("one.db");
            const QMap<QString, QString> texts{{"C", "Create the directory " + m.local.filePath("newsub") + "/?"},
                                               {"O", "Overwrite " + p + ". Are you sure?"},
                                               {"O2", "Overwrite " + p + ".  Are you sure?"}};
            QStringList expected;
            for (const QString &q : r.questions)
                expected << texts.value(q);
            QCOMPARE(m.texts(), expected);
            QCOMPARE(QFileInfo(m.local.filePath("newsub")).isDir(), r.folderMade);
            QCOMPARE(m.remoteEntries("QOFS"), r.uploaded ? QStringList{"ONE.DB"} : QStringList{});
            // A made folder has no file in it: missing.
            QCOMPARE(items(&w, "lstMissingFiles"), r.reported);
            QVERIFY(text(&w, "lblDataTransferWarning") != completionText(w.profile()));
        }
    }

    void subFolders_data()
    {
        QTest::addColumn<Product>("product");
        QTest::addColumn<QStringList>("rows");
        QTest::newRow("qof lists sub-folders") << Product::Qof << QStringList{"OLDER|", "X.DB| 777", "Y.DB| 888"};
        QTest::newRow("qsnp lists files only") << Product::Qsnp << QStringList{"X.DB| 777", "Y.DB| 888"};
    }
    void subFolders()
    {
        QFETCH(Product, product);
        QFETCH(QStringList, rows);
        BackupMachine m;
        QVERIFY2(m.start(), qPrintable(m.server.lastError()));
        const QString folder = productProfile(product).code + "Sub";
        QVERIFY(QDir().mkpath(m.remote(folder + "/OLDER")));
        QVERIFY(m.install(product, "Sub", {"sub/x.db", "sub\\deeper\\y.db", "../outside.db"}));
        QVERIFY(m.dataFile("sub/x.db", 777) && m.dataFile("sub/deeper/y.db", 888));

        ProductWindow w(product);
        QVERIFY(w.Form_Load());
        w.cmdOk_Click();
        // Bare names in the company folder; no sub-folder is made there.
        QCOMPARE(m.remoteEntries(folder), QStringList({"OLDER", "X.DB", "Y.DB"}));
        QVERIFY(m.same("sub/x.db", folder + "/X.DB") && m.same("sub/deeper/y.db", folder + "/Y.DB"));
        QStringList got = gridRows(&w);
        for (QString &r : got)
            if (r.startsWith("OLDER|"))
                r = "OLDER|";  // a folder's size is the server's business
        QCOMPARE(got, rows);
        // An entry leading out of the data folder is refused and reported.
        QVERIFY(w.lastRun().failures.size() == 1 && w.lastRun().failures.first().name == "../outside.db");
    }

    void connectionLostMidRun_data()
    {
        QTest::addColumn<bool>("serverDrops");  // else the session is cut after a.db
        QTest::addColumn<int>("answer");
        QTest::addColumn<QStringList>("sent");
        QTest::addColumn<QStringList>("reported");
        QTest::addColumn<int>("logins");
        const int yes = int(MsgAnswer::Yes), no = int(MsgAnswer::No);
        QTest::newRow("cut, reconnect") << false << yes << QStringList{"A.DB", "B.DB", "C.DB"} << QStringList{} << 2;
        QTest::newRow("cut, stay disconnected") << false << no << QStringList{"A.DB"}
                                                << QStringList{"b.db", "c.db"} << 1;
        // The server itself breaks off the upload of b.db: Yes resumes it.
        QTest::newRow("server drops, resume") << true << yes << QStringList{"A.DB", "B.DB", "C.DB"} << QStringList{} << 2;
        QTest::newRow("server drops, stay disconnected") << true << no << QStringList{"A.DB"}
                                                         << QStringList{"b.db", "c.db"} << 1;
    }
    void connectionLostMidRun()
    {
        QFETCH(bool, serverDrops);
        QFETCH(int, answer);
        QFETCH(QStringList, sent);
        QFETCH(QStringList, reported);
        QFETCH(int, logins);
        BackupMachine m;
        // The first upload larger than this breaks the server's connection.
        QVERIFY2(m.start(serverDrops ? QStringList{"--drop-after", "200000", "--fault-uploads", "2"} : QStringList{}),
                 qPrintable(m.server.lastError()));
        QVERIFY(m.install(Product::Qof, "Drop", {"a.db", "b.db", "c.db"}));
        QVERIFY(m.dataFiles({"a.db", "c.db"}, 1000) && m.dataFile("b.db", serverDrops ? 2 << 20 : 1000));
        m.face->answerNext(MsgAnswer(answer));

        ProductWindow w(Product::Qof);
        QVERIFY(w.Form_Load());
        if (!serverDrops) {
            // The session goes away after a.db and the component reports it
            // lost: what follows starts in a new session, in the login folder.
            connect(&w.ftp(), &FtpClient::TransferComplete, &w, [&w](const QString &remote) {
                if (remote == "A.DB") {
                    w.ftp().Disconnect();
                    emit w.ftp().ConnectionStateChanged(FtpStateLost);
                }
            });
        }
        w.cmdOk_Click();
        QCOMPARE(m.texts(), QStringList{"Connection to " + m.server.host()
                                        + " has been lost - would you like to reconnect?"});
        QStringList there = m.remoteEntries("QOFDrop");
        // Never a partial file under its final name; the temporary one of a
        // file given up stays until the next upload of it.
        there.removeAll("B.DB.tobra-part");
        QCOMPARE(there, sent);
        QCOMPARE(m.loginFolderFiles(), QStringList());
        QCOMPARE(m.server.loginCount(), logins);
        QStringList got;
        for (const QString &r : items(&w, "lstMissingFiles"))
            got << r.section(':', 0, 0);
        QCOMPARE(got, reported);
        if (reported.isEmpty()) {
            QCOMPARE(text(&w, "lblDataTransferWarning"), completionText(w.profile()));
        } else {
            QCOMPARE(text(&w, "lblDataTransferWarning"), QString("Following files could not be sent to Halvex FTP site."));
            QVERIFY(text(&w, "lblTransferCompletion").startsWith(QString::number(sent.size()) + " of 3 files"));
        }
    }

    // A 200-character data path: the window keeps its size and EXIT stays
    // inside it; Tab walks the list and the buttons; the progress says
    // which file of how many.
    void longDataPathAndKeyboard()
    {
        BackupMachine m;
        QVERIFY2(m.start(), qPrintable(m.server.lastError()));
        QString data = m.local.path();
        while (data.size() < 200)
            data += "/a-rather-long-folder-name";
        QVERIFY(m.install(Product::Qsnp, "Long", {"a.db", "b.db"}, data));
        QVERIFY(test::writePatternFile(data + "/a.db", 100) && test::writePatternFile(data + "/b.db", 100));
        ProductWindow w(Product::Qsnp);
        QVERIFY(w.Form_Load());
        w.show();
        const int width = w.width();
        QStringList counts;
        int widest = 0;
        connect(&w.ftp(), &FtpClient::TransferStarting, &w, [&] {
            counts << ctl<QLabel>(&w, "general")->text();
            widest = qMax(widest, w.minimumSizeHint().width());
        });
        w.cmdOk_Click();
        // The first at once; later ones at most ten times a second, the
        // newest winning.
        QCOMPARE(counts.value(0), QString("File 1 of 2"));
        QCOMPARE(ctl<QProgressBar>(&w, "ProgressBar1")->format(), QString("File 2 of 2: %p%"));
        QVERIFY2(widest <= width, qPrintable(QString("%1 > %2").arg(widest).arg(width)));
        QCOMPARE(w.width(), width);
        QPushButton *exit = ctl<QPushButton>(&w, w.profile().closeButtonName);
        QVERIFY(w.rect().contains(exit->geometry()));

        ProductWindow k(Product::Qsnp);
        QVERIFY(k.Form_Load());
        k.show();
        QApplication::setActiveWindow(&k);
        QVERIFY(QTest::qWaitForWindowActive(&k));
        ctl<QWidget>(&k, "lstQOFFiles")->setFocus();
        QStringList seen;
        for (int i = 0; i < 10; ++i) {
            seen << QApplication::focusWidget()->objectName();
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            if (QApplication::focusWidget()->objectName() == "lstQOFFiles")
                break;
        }
        QCOMPARE(seen, (QStringList{"lstQOFFiles", "cmdOk", k.profile().closeButtonName}));
    }

    // Cancel during a run: the file being sent and the rest of the list are
    // reported as not sent, with no completion text and no message.
    void cancelStopsTheRun()
    {
        BackupMachine m;
        QVERIFY2(m.start({"--stall-after", "1000000"}), qPrintable(m.server.lastError()));
        QVERIFY(m.install(Product::Qof, "Stop", {"a.db", "b.db", "c.db"}));
        QVERIFY(m.dataFiles({"a.db", "c.db"}, 1000) && m.dataFile("b.db", 48 << 20));
        ProductWindow w(Product::Qof);
        QVERIFY(w.Form_Load());
        auto *cancel = ctl<QPushButton>(&w, "cmdCancel");
        QVERIFY(!cancel->isEnabled());
        connect(&w.ftp(), &FtpClient::TransferStarting, &w, [&](const QString &local) {
            if (local.endsWith("b.db"))
                QTimer::singleShot(800, cancel, [cancel] { QTest::mouseClick(cancel, Qt::LeftButton); });
        });
        w.cmdOk_Click();
        QCOMPARE(m.remoteEntries("QOFStop"), QStringList{"A.DB"});
        QCOMPARE(items(&w, "lstMissingFiles"),
                 (QStringList{"b.db: not sent: the backup was cancelled", "c.db: not sent: the backup was cancelled"}));
        QVERIFY(text(&w, "lblTransferCompletion").startsWith("1 of 3 files"));
        QVERIFY(m.texts().isEmpty() && !cancel->isEnabled() && ctl<QPushButton>(&w, "cmdExit")->isEnabled());
    }

    void failuresAreReportedAndTheRunGoesOn()
    {
        BackupMachine m;
        QVERIFY2(m.start({"--refuse-stor"}), qPrintable(m.server.lastError()));
        QVERIFY(m.install(Product::Qofp, "R", {"blocker/x.db", "a.db", "b.db"}));
        // A file where the entry's folder should be: the folder cannot be made.
        QVERIFY(m.dataFiles({"blocker", "a.db", "b.db"}, 10));

        ProductWindow w(Product::Qofp);
        QVERIFY(w.Form_Load());
        w.cmdOk_Click();
        QCOMPARE(w.lastRun().sent, 0);
        const QString warning = text(&w, "lblDataTransferWarning");
        for (const QString &why : {QString("blocker/x.db could not be sent: the folder "),
                                   QString("a.db could not be sent: "), QString("b.db could not be sent: "),
                                   QString("0 of 3 files")})
            QVERIFY2(warning.contains(why), qPrintable(warning));
    }

    void serverUnreachable()
    {
        BackupMachine m;
        QVERIFY2(m.start(), qPrintable(m.server.lastError()));
        const int port = m.server.port();
        m.server.stop();  // nothing listens on the port any more
        QVERIFY(m.install(Product::Qsnp, "U", {"a.db", "b.db", "c.db"}));
        QVERIFY(m.dataFiles({"a.db", "b.db", "c.db"}, 10));

        ProductWindow w(Product::Qsnp);
        QVERIFY(w.Form_Load());
        const QString logon = QString("Cannot find (logon) the ftp server.\n127.0.0.1 (port %1) refused the connection.")
                                  .arg(port);
        QCOMPARE(m.texts(), QStringList{logon});
        w.cmdOk_Click();
        // One more try for the run, not one per file; every file reported.
        QCOMPARE(m.texts().count(logon), 2);
        QCOMPARE(w.lastRun().failures.size(), 3);
        QVERIFY(text(&w, "lblDataTransferWarning").contains(m.local.filePath("c.db") + " could not be sent"));
    }

    void notInstalled()
    {
        // The message; empty: a data folder that names a file counts as installed.
        const struct { Product product; QString message; } rows[] = {
            {Product::Qof, "You do not have Quillon Office installed!"},
            {Product::Qofp, "You do not have Quillon Office Plus installed!"},
            {Product::Qsnp, "You do not have Quillon Snapfolio installed!"},
            {Product::Qof, ""},
        };
        for (const auto &r : rows) {
            BackupMachine m;
            QVERIFY2(m.start(), qPrintable(m.server.lastError()));
            QVERIFY(m.dataFile("plain.file", 5));
            QVERIFY(m.install(r.product, "N", {"a.db"}, m.local.filePath(r.message.isEmpty() ? "plain.file" : "not-there")));
            ProductWindow w(r.product);
            QCOMPARE(w.Form_Load(), r.message.isEmpty());
            QCOMPARE(m.texts(), r.message.isEmpty() ? QStringList{} : QStringList{r.message});
            // Nothing is connected or made on the server for a missing product.
            QCOMPARE(m.server.loginCount(), r.message.isEmpty() ? 1 : 0);
            if (!r.message.isEmpty()) {
                QVERIFY(m.face->shown.first().style == int(MsgStyle::OkOnly) && w.isHidden());
                QCOMPARE(QDir(m.server.root()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
            }
        }
    }

    void secondRunCannotStart()
    {
        BackupMachine m;
        QVERIFY2(m.start(), qPrintable(m.server.lastError()));
        QVERIFY(m.install(Product::Qof, "Twice", {"a.db", "b.db"}) && m.dataFiles({"a.db", "b.db"}, 4000));
        ProductWindow w(Product::Qof);
        QVERIFY(w.Form_Load());
        int starts = 0;
        bool okOn = true, exitOn = true;
        // Closing asks whether to cancel the run; No lets it go on.
        m.face->answerNext(MsgAnswer::No);
        m.face->answerNext(MsgAnswer::No);
        connect(&w.ftp(), &FtpClient::TransferStarting, &w, [&] {
            ++starts;
            okOn = okEnabled(&w);
            exitOn = ctl<QPushButton>(&w, "cmdExit")->isEnabled();
            // A click that slipped through, and a close of the window.
            w.cmdOk_Click();
            ctl<QPushButton>(&w, "cmdOk")->click();
            w.close();
        });
        w.cmdOk_Click();
        QCOMPARE(starts, 2);
        QVERIFY(!okOn && !exitOn);
        QCOMPARE(m.texts().count(TransferInputBlocker::closeQuestion()), 2);
        QCOMPARE(w.lastRun().sent, 2);
        w.cmdOk_Click();  // Done: Ok waits for the window to be closed
        QCOMPARE(starts, 2);
    }

    void openCloseOpenModeless()
    {
        BackupMachine m;
        QVERIFY2(m.start(), qPrintable(m.server.lastError()));
        QVERIFY(m.install(Product::Qofp, "Acme", {"a.db", "gone.db"}) && m.dataFile("a.db", 100));

        showProductWindow(Product::Qofp, nullptr);
        ProductWindow *w = existingProductWindow(Product::Qofp);
        QVERIFY(w && w->isVisible());  // modeless: the call returned with it open
        QCOMPARE(text(w, "txtCompany"), QString("QOFPAcme"));
        w->cmdOk_Click();
        QVERIFY(text(w, "lblDataTransferWarning").contains("gone.db is missing"));
        ctl<QPushButton>(w, "cmdReturn")->click();
        QVERIFY(!w->isVisible() && w->state() == ProductWindow::State::Ready);

        // The list changed meanwhile; the second opening reads it afresh.
        QVERIFY(m.install(Product::Qofp, "Acme", {"a.db"}));
        showProductWindow(Product::Qofp, nullptr);
        QCOMPARE(existingProductWindow(Product::Qofp), w);
        QCOMPARE(items(w, "lstQOFFiles"), QStringList{"a.db"});
        QCOMPARE(text(w, "lblDataTransferWarning"), w->profile().warningText);
        QVERIFY(shown(w, "lstQOFFiles") && okEnabled(w) && !shown(w, "MSFDir"));
        w->cmdOk_Click();
        QCOMPARE(text(w, "lblDataTransferWarning"), completionText(w->profile()));
        QCOMPARE(m.remoteEntries(""), QStringList{"QOFPAcme"});
        QCOMPARE(m.server.loginCount(), 1);  // the connection outlived the closing
        delete w;
    }

    void openCloseOpenModal()
    {
        BackupMachine m;
        QVERIFY2(m.start(), qPrintable(m.server.lastError()));
        QVERIFY(m.install(Product::Qof, "Modal", {"a.db", "gone.db"}) && m.dataFile("a.db", 100));

        // The window blocks while open; a poller plays the user, and after a
        // minute closes it so a fault cannot hang the test.
        std::function<void(ProductWindow *)> user;
        QDeadlineTimer deadline(60000);
        QTimer poll;
        connect(&poll, &QTimer::timeout, this, [&] {
            ProductWindow *w = existingProductWindow(Product::Qof);
            if (w && w->isVisible() && deadline.hasExpired())
                w->hide();
            if (w && w->isVisible() && user)
                std::exchange(user, nullptr)(w);
        });
        poll.start(20);

        QStringList seen;
        user = [&](ProductWindow *w) {
            seen << QString::number(w->isModal()) << text(w, "txtCompany");
            w->cmdOk_Click();
            seen << items(w, "lstMissingFiles");
            ctl<QPushButton>(w, "cmdExit")->click();
        };
        showProductWindow(Product::Qof, nullptr);
        user = [&](ProductWindow *w) {
            seen << text(w, "txtCompany") << QString::number(shown(w, "lstMissingFiles"))
                 << QString::number(shown(w, "lblTransferCompletion")) << items(w, "lstMissingFiles");
            w->close();  // the title bar's close works as EXIT
        };
        showProductWindow(Product::Qof, nullptr);
        QVERIFY(!deadline.hasExpired());
        QCOMPARE(seen, QStringList({"1", "QOFModal", "gone.db", "QOFModal", "0", "0"}));
        ProductWindow *w = existingProductWindow(Product::Qof);
        QVERIFY(w && !w->isVisible() && w->state() == ProductWindow::State::Ready);
        delete w;
    }
};

QTEST_MAIN(TestBackupWindow)
#include "test_backupwindow.moc"
