#include "backup/productwindow.h"
#include "ftp/ftpclient.h"
#include "ftp/ftpevents.h"
#include "harness/testutil.h"
#include "support/globals.h"
#include "support/messages.h"
#include "support/ui/inputblocker.h"
#include "support/ui/msfgrid.h"

#include <QtTest>
#include <QtWidgets>

using namespace tobra;

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
    QStringList remoteEntries(const QString &folder) const
    {
        return QDir(remote(folder)).entryList(QDir::AllEntries | QDir::NoDotAndDotDot, QDir::Name);
    }
    bool same(const QString &localRel, const QString &remoteRel) const
    {
        return test::sameFileContents(local.filePath(localRel), remote(remoteRel));
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

    // One run each, from opening the window to the end: what reaches the
    // server, what the window reports, what it asks.
    void runs()
    {
        using enum MsgAnswer;
        const QString create = "Create the directory %L/newsub/?", over = "Overwrite %L/one.db. Are you sure?",
                      again = "Overwrite %L/one.db.  Are you sure?", skipped = ": not sent: skipped at your answer",
                      lost = "Connection to %H has been lost - would you like to reconnect?",
                      logon = "Cannot find (logon) the ftp server.\n127.0.0.1 (port %P) refused the connection.\n"
                              + nextStepText(FailureKind::NotAnswering),
                      cancelled = ": not sent: the backup was cancelled";
        const QStringList abcd{"a.db", "b.db", "c.db", "d.db"}, abc{"a.db", "b.db", "c.db"}, sent3{"A.DB", "B.DB", "C.DB"},
            bigB{"a.db", "b.db:2097152", "c.db"}, sub{"newsub/x.db", "one.db"},
            drop{"--drop-after", "200000", "--fault-uploads", "2"};
        // A reported entry ending in ": " stands for any reason.
        const struct Row {
            Product product = Product::Qof;
            QString company = "Co", folder = "", data = "";   // folder: the company's (empty: code + "Co"); data folder
            QStringList listed, present;   // get.INI; data files, "name" or "name:size"
            QStringList serverArgs = {};
            enum { Run, Cut, Cancel, Down } how = Run;   // cut: the session goes away after a.db
            bool safety = false;
            QList<MsgAnswer> answers = {};
            QStringList sent = {}, reported = {}, warning = {}, messages = {}, dirs = {};
            int logins = 1;   // -1: a cancel may cost one
            int sessions = 1;   // CHAT.INI SESSIONS; 0: none given (the default, 3)
            qint64 maxBytes = -1;   // the most the server may receive: resumed, not sent again
            bool partLeft = false;   // a temporary file of a file given up may stay
        } rows[] = {
            // Whole backups; brackets in a data folder's name are part of it.
            {.company = "Acme Realty, Inc.", .folder = "QOFAcmeRealtyInc", .data = "Qof Data [2024]/",
             .listed = {"Main.db", "images.dat", "Index.idx"}, .present = {"Main.db:307207", "images.dat:1", "Index.idx:4096"},
             .sent = {"IMAGES.DAT", "INDEX.IDX", "MAIN.DB"}, .dirs = {"Qof Data [2024]"}},
            {.product = Product::Qofp, .company = "Smith-Jones & Co.", .folder = "QOFPSmith-JonesCo", .listed = abc,
             .present = abc, .sent = sent3},
            {.product = Product::Qsnp, .company = "", .folder = "QSNP", .listed = abc, .present = abc, .sent = sent3},
            // Missing files, and empty ones; a gap before the last file is still reported.
            {.listed = abcd, .present = {"a.db", "d.db"}, .sent = {"A.DB", "D.DB"}, .reported = {"b.db", "c.db"},
             .warning = {"Following files are missing in your Quillon Office Database."}},
            {.listed = abcd, .present = {"a.db", "b.db", "c.db", "d.db:0"}, .sent = sent3, .reported = {"d.db"}},
            {.product = Product::Qofp, .listed = abcd, .present = {"a.db", "d.db"}, .sent = {"A.DB", "D.DB"},
             .warning = {"%L/b.db, %L/c.db are missing", "2 of 4 files"}},
            {.product = Product::Qofp, .listed = abcd, .present = {"a.db:0", "b.db", "c.db", "d.db"},
             .sent = {"B.DB", "C.DB", "D.DB"}, .warning = {"%L/a.db is missing in your Quillon Office database."}},
            {.product = Product::Qsnp, .listed = abcd, .present = {"b.db", "c.db:0", "d.db"}, .sent = {"B.DB", "D.DB"},
             .warning = {"%L/a.db, %L/c.db are missing in your Quillon Snapfolio Database."}},
            // Safety questions; a made folder has no file in it: missing.
            {.listed = sub, .present = {"one.db"}, .sent = {"ONE.DB"}, .reported = {"x.db"}, .dirs = {"newsub"}},
            {.listed = sub, .present = {"one.db"}, .safety = true, .answers = {Yes, Yes, Yes}, .sent = {"ONE.DB"},
             .reported = {"x.db"}, .messages = {create, over, again}, .dirs = {"newsub"}},
            {.listed = sub, .present = {"one.db"}, .safety = true, .answers = {No, No},
             .reported = {"x.db" + skipped, "one.db" + skipped}, .messages = {create, over}},
            {.listed = sub, .present = {"one.db"}, .safety = true, .answers = {Yes, Yes, No},
             .reported = {"x.db", "one.db" + skipped}, .messages = {create, over, again}, .dirs = {"newsub"}},
            // The session cut after a.db, or the server breaking off b.db: Yes
            // reconnects (and resumes), No reports the rest.
            {.listed = abc, .present = abc, .how = Row::Cut, .answers = {Yes}, .sent = sent3, .messages = {lost},
             .logins = 2},
            {.listed = abc, .present = abc, .how = Row::Cut, .answers = {No}, .sent = {"A.DB"},
             .reported = {"b.db: ", "c.db: "},
             .warning = {"Following files could not be sent to Halvex FTP site.", "1 of 3 files"}, .messages = {lost}},
            {.listed = abc, .present = bigB, .serverArgs = drop, .answers = {Yes}, .sent = sent3, .messages = {lost},
             .logins = 2},
            {.listed = abc, .present = bigB, .serverArgs = drop, .answers = {No}, .sent = {"A.DB"},
             .reported = {"b.db: ", "c.db: "}, .messages = {lost}, .partLeft = true},
            // Cancel while b.db is sent: it and the rest are not sent, nothing asked.
            {.listed = abc, .present = {"a.db", "b.db:50331648", "c.db"}, .serverArgs = {"--stall-after", "1000000"},
             .how = Row::Cancel, .sent = {"A.DB"}, .reported = {"b.db" + cancelled, "c.db" + cancelled},
             .warning = {"1 of 3 files"}, .logins = -1},
            // Three sessions (the default): every file whole, three logins, the
            // lists in get.INI's order.
            {.listed = {"a.db", "b.db", "gone.db", "c.db", "d.db", "e.db", "sub/f.db", "../out.db"},
             .present = {"a.db:2097152", "b.db:1", "c.db:300000", "d.db:0", "e.db:65536", "sub/f.db:100000"},
             .sent = {"A.DB", "B.DB", "C.DB", "E.DB", "F.DB"}, .reported = {"gone.db", "d.db", "../out.db: "},
             .dirs = {"sub"}, .logins = 3, .sessions = 0},
            // Three sessions: the questions still come in list order before
            // anything is sent; refusals are reported in list order.
            {.listed = sub, .present = {"one.db"}, .safety = true, .answers = {Yes, Yes, Yes}, .sent = {"ONE.DB"},
             .reported = {"x.db"}, .messages = {create, over, again}, .dirs = {"newsub"}, .sessions = 3},
            {.product = Product::Qofp, .listed = {"blocker/x.db", "a.db", "b.db", "c.db"},
             .present = {"blocker", "a.db", "b.db", "c.db"}, .serverArgs = {"--refuse-stor"},
             .warning = {"blocker/x.db could not be sent: the folder ", "a.db could not be sent: ", "0 of 4 files"},
             .logins = 3, .sessions = 3},
            // Two sessions; a bad value gives the default, three.
            {.product = Product::Qsnp, .listed = abc, .present = abc, .sent = sent3, .logins = 2, .sessions = 2},
            {.product = Product::Qofp, .listed = abc, .present = abc, .sent = sent3, .logins = 3, .sessions = 9},
            // The first two uploads break off, on two sessions as a rule: one
            // question for the run; each resumes where it broke off.
            {.listed = {"a.db", "b.db", "c.db", "d.db", "e.db"},
             .present = {"a.db:600000", "b.db:600000", "c.db:600000", "d.db:600000", "e.db:600000"},
             .serverArgs = drop, .answers = {Yes}, .sent = {"A.DB", "B.DB", "C.DB", "D.DB", "E.DB"},
             .messages = {lost}, .logins = 3 + 2, .sessions = 3, .maxBytes = 5 * 600000 + 2 * 65536},
            // Cancel while three sessions send: every session stops, none leaves its temporary file.
            {.listed = {"a.db", "b.db", "c.db", "d.db"},
             .present = {"a.db:16777216", "b.db:16777216", "c.db:16777216", "d.db:16777216"},
             .serverArgs = {"--stall-after", "1000000"}, .how = Row::Cancel,
             .reported = {"a.db" + cancelled, "b.db" + cancelled, "c.db" + cancelled, "d.db" + cancelled},
             .warning = {"0 of 4 files"}, .logins = -1, .sessions = 3},
            // A file where an entry's folder should be, and STOR refused: each said, the run goes on.
            {.product = Product::Qofp, .listed = {"blocker/x.db", "a.db", "b.db"}, .present = {"blocker", "a.db", "b.db"},
             .serverArgs = {"--refuse-stor"},
             .warning = {"blocker/x.db could not be sent: the folder ", "a.db could not be sent: ", "b.db could not be sent: ",
                         "0 of 3 files"}},
            // Nothing listening: one more try for the run, not one per file.
            {.product = Product::Qsnp, .listed = abc, .present = abc, .how = Row::Down,
             .warning = {"%L/c.db could not be sent"}, .messages = {logon, logon}, .logins = 0},
        };
        for (const Row &r : rows) {
            BackupMachine m;
            QVERIFY2(m.start(r.serverArgs), qPrintable(m.server.lastError()));
            const int port = m.server.port();
            if (r.how == Row::Down)
                m.server.stop();
            const QString folder = r.folder.isEmpty() ? productProfile(r.product).code + "Co" : r.folder;
            QVERIFY(m.install(r.product, r.company, r.listed, m.local.filePath(r.data)));
            if (r.sessions > 0)
                QVERIFY(test::writeBytes(m.ini.filePath("CHAT.INI"),
                                         "[PREFERENCES]\r\nSESSIONS=" + QByteArray::number(r.sessions) + "\r\n"));
            for (const QString &f : r.present)
                QVERIFY(m.dataFile(r.data + f.section(':', 0, 0), f.contains(':') ? f.section(':', 1).toLongLong() : 1000));
            program().SafetyOn = r.safety;
            for (MsgAnswer a : r.answers)
                m.face->answerNext(a);
            const auto fill = [&](QString t) {
                return t.replace("%L", m.local.path()).replace("%H", m.server.host()).replace("%P", QString::number(port));
            };

            ProductWindow w(r.product);
            QVERIFY(w.Form_Load());
            // Opening made the company folder and made it the current one.
            QVERIFY(text(&w, "txtCompany") == folder && items(&w, "lstQOFFiles") == r.listed);
            QVERIFY(r.how == Row::Down || w.ftp().currentDirectory() == "/uploads/" + folder);
            QVERIFY(!shown(&w, "MSFDir") && !shown(&w, "txtCompany") && shown(&w, "lstQOFFiles"));
            QCOMPARE(text(&w, "lblDataTransferWarning"), w.profile().warningText);
            // Before Ok a file that is not there (or empty) is marked in its row.
            auto *files = ctl<QListWidget>(&w, "lstQOFFiles");
            for (int i = 0; i < files->count(); ++i) {
                const QString entry = files->item(i)->text();
                const bool there = r.present.contains(entry) || (r.present.filter(QRegularExpression("^" + QRegularExpression::escape(entry) + ":[1-9]")).size() == 1);
                QVERIFY2(files->item(i)->toolTip().startsWith("Missing") != there, qPrintable(entry));
            }
            auto *cancel = ctl<QPushButton>(&w, "cmdCancel");
            connect(&w.ftp(), &FtpClient::TransferComplete, &w, [&](const QString &remote) {
                if (r.how == Row::Cut && remote == "A.DB") {
                    // What follows starts in a new session, in the login folder.
                    w.ftp().Disconnect();
                    emit w.ftp().ConnectionStateChanged(FtpStateLost);
                }
            });
            connect(&w.ftp(), &FtpClient::TransferStarting, &w, [&](const QString &local) {
                // With one session while b.db is sent; with three while the first three are.
                if (r.how == Row::Cancel && local.endsWith(r.sessions == 1 ? "b.db" : "a.db"))
                    QTimer::singleShot(800, cancel, [cancel] { QTest::mouseClick(cancel, Qt::LeftButton); });
            });
            w.cmdOk_Click();
            const QByteArray row = "row " + QByteArray::number(&r - rows);
            QStringList there = m.remoteEntries(folder);
            // Never a partial file under its final name; the temporary one of a
            // file given up may stay, and nothing else.
            const QStringList parts = there.filter(".tobra-part");
            for (const QString &part : parts)
                there.removeAll(part);
            QVERIFY2(there == r.sent && (r.partLeft || parts.isEmpty()), row + ": " + m.remoteEntries(folder).join(',').toUtf8());
            QVERIFY2(r.maxBytes < 0 || m.server.bytesReceived() <= r.maxBytes, row);
            QStringList grid;
            for (const QString &f : r.present) {
                const QString name = f.section(':', 0, 0).section('/', -1).toUpper();
                QVERIFY(!r.sent.contains(name) || m.same(r.data + f.section(':', 0, 0), folder + "/" + name));
                if (r.sent.contains(name))   // sizes with a leading blank
                    grid << name + "| " + QString::number(QFileInfo(m.remote(folder + "/" + name)).size());
            }
            if (r.sent.size() == r.listed.size()) {
                // Done: the grid lists what is there now, the status bar names the folder.
                grid.sort();
                QCOMPARE(gridRows(&w), grid);
                QCOMPARE(text(&w, "lblDataTransferWarning"), completionText(w.profile()));
                QVERIFY(shown(&w, "MSFDir") && shown(&w, "txtCompany") && shown(&w, "lblFTP"));
                QVERIFY(!shown(&w, "lstQOFFiles") && !shown(&w, "lblLocal") && !okEnabled(&w));
                QCOMPARE(ctl<QLabel>(&w, "ftpconnection")->text(), "/uploads/" + folder + " on " + m.server.host());
                QCOMPARE(items(&w, "lstMessages").filter(QRegularExpression("^Upload of .* complete$")).size(),
                         r.sent.size());
            }
            // Missing files, then files not sent: two lists, each under its heading.
            QStringList reported = items(&w, "lstMissingFiles") + items(&w, "lstNotSent");
            QCOMPARE(shown(&w, "lblMissingHeading"), shown(&w, "lstMissingFiles"));
            QCOMPARE(shown(&w, "lblNotSentHeading"), shown(&w, "lstNotSent"));
            for (int i = 0; i < reported.size() && i < r.reported.size(); ++i)
                if (r.reported[i].endsWith(": ") && reported[i].startsWith(r.reported[i]))
                    reported[i] = r.reported[i];
            QVERIFY2(reported == r.reported, row + ": " + reported.join(',').toUtf8());
            const QString said = text(&w, "lblMissingHeading") + '\n' + text(&w, "lblNotSentHeading") + '\n'
                + text(&w, "lblDataTransferWarning") + '\n' + text(&w, "lblTransferCompletion");
            for (const QString &part : r.warning)
                QVERIFY2(said.contains(fill(part)), qPrintable(said));
            // Never the completion text when anything was left behind.
            QVERIFY2(!said.contains(completionText(w.profile())) == (r.sent.size() < r.listed.size()), qPrintable(said));
            // Both lists keep get.INI's order, whichever session ended first.
            QList<qsizetype> at;
            for (const QString &path : w.lastRun().missingPaths)
                at << r.listed.indexOf(path.mid(m.local.filePath(r.data).size() + 1));
            QVERIFY2(std::is_sorted(at.begin(), at.end()) && !at.contains(-1), row);
            at.clear();
            for (const RunRecord::Failure &f : w.lastRun().failures)
                at << r.listed.indexOf(f.path.mid(m.local.filePath(r.data).size() + 1));
            QVERIFY2(std::is_sorted(at.begin(), at.end()) && !at.contains(-1), row);
            QStringList expected;
            for (const QString &t : r.messages)
                expected << fill(t);
            QCOMPARE(m.texts(), expected);
            QCOMPARE(QDir(m.local.path()).entryList(QDir::Dirs | QDir::NoDotAndDotDot), r.dirs);
            QVERIFY2(QDir(m.server.root()).entryList(QDir::Files).isEmpty(), row);
            QVERIFY2(r.logins < 0 || m.server.loginCount() == r.logins, row);
            QVERIFY(!cancel->isEnabled() && ctl<QPushButton>(&w, w.profile().closeButtonName)->isEnabled());
        }
    }

    // Entries in sub-folders go to the company folder under their bare
    // names; only frmQof lists the server's sub-folders.
    void subFolders()
    {
        for (Product product : {Product::Qof, Product::Qsnp}) {
            BackupMachine m;
            QVERIFY2(m.start(), qPrintable(m.server.lastError()));
            const QString folder = productProfile(product).code + "Sub";
            QVERIFY(QDir().mkpath(m.remote(folder + "/OLDER")));
            QVERIFY(m.install(product, "Sub", {"sub/x.db", "sub\\deeper\\y.db", "../outside.db"}));
            QVERIFY(m.dataFile("sub/x.db", 777) && m.dataFile("sub/deeper/y.db", 888));

            ProductWindow w(product);
            QVERIFY(w.Form_Load());
            w.cmdOk_Click();
            QCOMPARE(m.remoteEntries(folder), QStringList({"OLDER", "X.DB", "Y.DB"}));
            QVERIFY(m.same("sub/x.db", folder + "/X.DB") && m.same("sub/deeper/y.db", folder + "/Y.DB"));
            QStringList rows = gridRows(&w), want{"X.DB| 777", "Y.DB| 888"};
            if (product == Product::Qof)   // a folder's size is the server's business
                want.prepend("OLDER|" + rows.value(0).section('|', 1));
            QCOMPARE(rows, want);
            // An entry leading out of the data folder is refused and reported.
            QVERIFY(w.lastRun().failures.size() == 1 && w.lastRun().failures.first().name == "../outside.db");
        }
    }

    // Three sessions share one progress: the bytes of all files, "File n of
    // m" counting the finished ones (a missing file is finished at once).
    // Two entries with one server name go one after the other: the later
    // one stays, as with one session.
    void sessionsShareOneProgress()
    {
        BackupMachine m;
        QVERIFY2(m.start(), qPrintable(m.server.lastError()));
        QVERIFY(m.install(Product::Qof, "Share", {"gone.db", "a.db", "b.db", "sub/a.db"}));
        QVERIFY(m.dataFile("a.db", 300000) && m.dataFile("b.db", 200000) && m.dataFile("sub/a.db", 100000));
        ProductWindow w(Product::Qof);
        QVERIFY(w.Form_Load());
        QStringList counts;
        connect(&w.ftp(), &FtpClient::TransferStarting, &w, [&] { counts << ctl<QLabel>(&w, "general")->text(); });
        w.cmdOk_Click();
        QCOMPARE(counts.value(0), QString("File 2 of 4"));
        auto *bar = ctl<QProgressBar>(&w, "ProgressBar1");
        QCOMPARE(bar->format(), QString("File 4 of 4: %p%"));
        QVERIFY(bar->maximum() == 600000 && bar->value() == bar->maximum());
        QCOMPARE(m.remoteEntries("QOFShare"), QStringList({"A.DB", "B.DB"}));
        QVERIFY(m.same("sub/a.db", "QOFShare/A.DB") && m.same("b.db", "QOFShare/B.DB"));
        QCOMPARE(items(&w, "lstMissingFiles"), QStringList{"gone.db"});
        QCOMPARE(items(&w, "lstMessages").filter(QRegularExpression("^Upload of .* complete$")).size(), 3);
        QCOMPARE(m.server.loginCount(), 3);
        QCOMPARE(w.lastRun().sent, 3);
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
        QCOMPARE(test::tabWalk(&w, ctl(&w, "lstQOFFiles")),
                 (QStringList{"lstQOFFiles", "cmdOk", w.profile().closeButtonName}));
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
        QVERIFY2(widest <= width && w.width() == width, qPrintable(QString("%1 > %2").arg(widest).arg(width)));
        QVERIFY(w.rect().contains(ctl(&w, w.profile().closeButtonName)->geometry()));
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
                QVERIFY(m.face->shown.first().style == 48 && w.isHidden());   // with its warning icon
                QCOMPARE(QDir(m.server.root()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
            }
        }
    }

    void secondRunCannotStart()
    {
        BackupMachine m;
        QVERIFY2(m.start(), qPrintable(m.server.lastError()));
        QVERIFY(m.install(Product::Qof, "Twice", {"a.db", "b.db"}) && m.dataFile("a.db", 4000) && m.dataFile("b.db", 4000));
        // One session: both files pass through the window's own.
        QVERIFY(test::writeBytes(m.ini.filePath("CHAT.INI"), "[PREFERENCES]\r\nSESSIONS=1\r\n"));
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
        // The window blocks while open, so a timer plays the user: the first
        // time a run and EXIT, the second time (a fresh window) the title
        // bar's close. A guard closes it after a minute so a fault cannot hang.
        QStringList seen;
        QTimer guard;
        guard.callOnTimeout([] { existingProductWindow(Product::Qof)->hide(); });
        guard.start(60000);
        for (int round = 0; round < 2; ++round) {
            QTimer::singleShot(50, this, [&, round] {
                ProductWindow *w = existingProductWindow(Product::Qof);
                seen << QString::number(w->isModal()) << text(w, "txtCompany")
                     << QString::number(shown(w, "lstMissingFiles"));
                if (round == 1) {
                    w->close();
                    return;
                }
                w->cmdOk_Click();
                seen << items(w, "lstMissingFiles");
                ctl<QPushButton>(w, "cmdExit")->click();
            });
            showProductWindow(Product::Qof, nullptr);
        }
        QVERIFY(guard.isActive());
        QCOMPARE(seen, QStringList({"1", "QOFModal", "0", "gone.db", "1", "QOFModal", "0"}));
        ProductWindow *w = existingProductWindow(Product::Qof);
        QVERIFY(w && !w->isVisible() && w->state() == ProductWindow::State::Ready);
        delete w;
    }
};

QTEST_MAIN(TestBackupWindow)
#include "test_backupwindow.moc"
