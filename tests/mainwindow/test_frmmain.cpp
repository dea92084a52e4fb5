#include "ftp/ftpclient.h"
#include "ftp/ftpevents.h"
#include "harness/testutil.h"
#include "mainwindow/filelistbox.h"
#include "mainwindow/frmmain.h"
#include "mainwindow/lastfolder.h"
#include "support/globals.h"
#include "support/ui/inputblocker.h"
#include "support/ui/msfgrid.h"

#include <QtTest>
#include <QtWidgets>

using namespace tobra;
using namespace tobra::test;

namespace {

void clickItem(QListWidget *list, int row)
{
    QListWidgetItem *it = list->item(row);
    QVERIFY(it);
    list->scrollToItem(it);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(it).center());
}

void clickCell(FlexGrid *grid, int row, int col)
{
    const QModelIndex idx = grid->model()->index(row, col);
    grid->scrollTo(idx);
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualRect(idx).center());
}

// Column col of a grid below its header row.
QStringList column(const FlexGrid *grid, int col)
{
    QStringList out;
    for (int r = 1; r < grid->Rows(); ++r)
        out << grid->TextMatrix(r, col);
    return out;
}

// Blank below the title row.
bool allBlank(const FlexGrid *grid)
{
    for (int r = 1; r < grid->Rows(); ++r)
        for (int c = 0; c < grid->Cols(); ++c)
            if (!grid->TextMatrix(r, c).isEmpty())
                return false;
    return true;
}

// Drags path over the window and drops it, as a file manager does; whether
// the window took the drag.
bool dropFile(QWidget *w, const QString &path)
{
    QMimeData drag;
    drag.setUrls({QUrl::fromLocalFile(path)});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &drag, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(w, &enter);
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &drag, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(w, &drop);
    return enter.isAccepted();
}

// Notes the main window's caption and server grid as each message comes,
// then answers as the scripted face does.
struct WatchingFace : MessageFace {
    std::shared_ptr<ScriptedFace> inner;
    QStringList *seen = nullptr;
    MsgAnswer show(const QString &text, int style, const QString &title) override
    {
        for (QWidget *top : QApplication::topLevelWidgets())
            if (auto *w = qobject_cast<frmMain *>(top); w && w->isVisible())
                *seen << w->windowTitle() + "|" + column(w->MSFDir, 0).join('|') + "|";
        return inner->show(text, style, title);
    }
};

}  // namespace

class TestFrmMain : public QObject {
    Q_OBJECT
    Machine m_;
    QStringList seen_;
    const QString hostile_ = "..\\..\\..\\secret\\KEY.TXT";

    QString local(const QString &name) const { return m_.local.filePath(name); }
    QString remote(const QString &rel) const { return m_.remote(rel); }
    // A window pointed at the server (or host), shown offscreen, with the
    // local folder of the tests in its views.
    std::unique_ptr<frmMain> makeWindow(const QString &host = QString())
    {
        auto w = std::make_unique<frmMain>();
        w->AddTechs();
        w->txtURL->setText(host.isEmpty() ? m_.server.host() : host);
        w->filList->setPath(m_.local.path());
        w->LoadFileGrid(w->msfSource, m_.local.path());
        w->show();
        return w;
    }
    void pick(frmMain &w, const QString &code)
    {
        for (int i = 0; i < w.lsttech->count(); ++i)
            if (w.lsttech->item(i)->text() == code)
                return clickItem(w.lsttech, i);
        QFAIL(qPrintable(code));
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(m_.start(), qPrintable(m_.server.lastError()));
        auto watching = std::make_shared<WatchingFace>();
        watching->inner = m_.face;
        watching->seen = &seen_;
        Messages::setFace(watching);
        QVERIFY(writeBytes(remote("T1/REPORT.ZIP"), QByteArray(1024, 'r')));
        QVERIFY(writeBytes(remote("T1/EMPTY.TXT"), QByteArray()));
        QVERIFY(writeBytes(remote("T1/" + hostile_), "x"));   // a name on the server is text, never a path
        QVERIFY(QDir().mkpath(remote("T1/OLDER")) && QDir().mkpath(remote("T2/ONLYFOLDER")));
        QVERIFY(writeBytes(local("report.zip"), QByteArray(3000, 'l')));
        QVERIFY(writeBytes(local("Data.ZIP"), QByteArray(700, 'd')));
        QVERIFY(writeBytes(local("empty.bin"), QByteArray()));
        QVERIFY(writeBytes(local("notes"), QByteArray(10, 'n')));
    }
    void init()
    {
        m_.face->shown.clear();
        seen_.clear();
        program().SafetyOn = false;
    }

    // Picking a code lists its folder, and the status bar follows the
    // connection through a folder not made yet, a loss and a reconnect.
    void pickListsTheTechniciansFiles()
    {
        auto w = makeWindow();
        w->txtFileName->setText(local("report.zip"));
        QCOMPARE(w->panelText("netconnection"), QString("Not Connected"));
        w->FtpConnect();
        QCOMPARE(w->panelText("ftpconnection"), "/ on " + m_.server.host());
        QList<int> cursors;
        connect(w->FTP1, &FtpClient::DirectoryChanged, this, [&] {
            const QCursor *c = QGuiApplication::overrideCursor();
            cursors << (c ? int(c->shape()) : -1);
        });
        pick(*w, "T1");
        QCOMPARE(w->txtTech->text(), QString("T1"));
        QCOMPARE(QStringList({w->MSFDir->TextMatrix(0, 0), w->MSFDir->TextMatrix(0, 1), w->MSFDir->TextMatrix(0, 2)}),
                 QStringList({"File", "Size", "Date Time"}));
        // Files only; folders make no row.
        QMap<QString, QString> sizes;
        for (int r = 1; r < w->MSFDir->Rows(); ++r)
            sizes.insert(w->MSFDir->TextMatrix(r, 0), w->MSFDir->TextMatrix(r, 1));
        QCOMPARE(sizes, (QMap<QString, QString>{{"EMPTY.TXT", "0 bytes"}, {"REPORT.ZIP", "1024 bytes"}, {hostile_, "1 bytes"}}));
        QVERIFY(w->cmdPut->isEnabled() && w->cmdReset->isEnabled());
        QCOMPARE(w->windowTitle(), QString("Tobra - /uploads/T1"));
        QVERIFY(w->panelText("ftpconnection") == "/uploads/T1 on " + m_.server.host());
        QCOMPARE(w->panelText("netconnection"), QString("Connected"));
        // The hourglass shows while the folder is read, and not after.
        QVERIFY(!cursors.isEmpty() && cursors.first() == int(Qt::WaitCursor) && !QGuiApplication::overrideCursor());
        // A click on a row fills the file box: REPORT.ZIP on the server is
        // report.zip here. The header row and a name that is a path change
        // nothing.
        w->FTP1->setLocalDirectory(m_.local.path() + "/");
        clickCell(w->MSFDir, int(column(w->MSFDir, 0).indexOf("REPORT.ZIP")) + 1, 1);
        QCOMPARE(w->txtFileName->text(), local("report.zip"));
        w->txtFileName->setText("unchanged");
        clickCell(w->MSFDir, int(column(w->MSFDir, 0).indexOf(hostile_)) + 1, 0);
        w->MSFDir->setRow(0);
        emit w->MSFDir->Click();
        QCOMPARE(w->txtFileName->text(), QString("unchanged"));
        // Folders only, after a pick that listed files: a blank row. No
        // folder on the server yet: nothing listed, nothing said, and the
        // next upload goes there.
        pick(*w, "T2");
        QVERIFY(w->MSFDir->Rows() == 2 && allBlank(w->MSFDir));
        pick(*w, "T9");
        QVERIFY(allBlank(w->MSFDir));
        QCOMPARE(w->panelText("ftpconnection"), "/uploads/T9 on " + m_.server.host());
        QCOMPARE(w->windowTitle(), QString("Tobra - /uploads/T9"));
        QVERIFY2(m_.face->shown.isEmpty(), qPrintable(m_.texts().join('|')));
        QCOMPARE(w->FTP1->loginCount(), 1);
        m_.face->answerNext(MsgAnswer::No);
        emit w->FTP1->ConnectionStateChanged(FtpStateLost);
        QVERIFY(w->panelText("netconnection") == "Not Connected" && w->panelText("ftpconnection") == "No FTP Connection");
        pick(*w, "T1");
        QVERIFY(w->panelText("ftpconnection") == "/uploads/T1 on " + m_.server.host());
        QCOMPARE(w->panelText("netconnection"), QString("Connected"));
    }

    // Every move of the highlight picks as a click does: the code box, the
    // folder and the caption follow at once, the grid once the highlight
    // rests, and Upload sends to the highlighted code. Held keys list only
    // where the highlight stops; a drag lists nothing before the release.
    void everyHighlightPicks()
    {
        QVERIFY(writeBytes(remote("T3/THREE.ZIP"), "3") && writeBytes(remote("T7/SEVEN.ZIP"), "7"));
        auto w = makeWindow();
        w->FtpConnect();
        pick(*w, "T1");
        QStringList listed;
        connect(w->FTP1, &FtpClient::DirectoryChanged, this, [&](const QString &path) { listed << path; });
        auto rests = [&](const QString &code) {
            return !w->techPickPending() && !w->isBusy() && w->txtTech->text() == code && w->lsttech->currentItem()->text() == code
                && w->windowTitle() == "Tobra - /uploads/" + code
                && w->panelText("ftpconnection") == "/uploads/" + code + " on " + m_.server.host();
        };
        QTest::keyClick(w->lsttech, Qt::Key_Down);
        QTest::keyClick(w->lsttech, Qt::Key_Down);
        QVERIFY(w->txtTech->text() == "T3" && allBlank(w->MSFDir) && w->techPickPending());
        QTRY_VERIFY(rests("T3"));
        QCOMPARE(column(w->MSFDir, 0), QStringList{"THREE.ZIP"});
        QCOMPARE(listed.filter("/uploads/T2"), QStringList());
        w->txtFileName->setText(local("notes"));
        QCOMPARE(w->cmdPut_Click(), frmMain::PutOutcome::Sent);
        QVERIFY(QFile::remove(remote("T3/NOTES.")));
        // Held down: one listing, of the row it stops on.
        listed.clear();
        for (int i = 0; i < 4; ++i)
            QTest::keyClick(w->lsttech, Qt::Key_Down, Qt::NoModifier, 20);
        QTRY_VERIFY(rests("T7"));
        QCOMPARE(listed.filter(QRegularExpression("^/uploads/T[0-9]$")), QStringList{"/uploads/T7"});
        QCOMPARE(column(w->MSFDir, 0), QStringList{"SEVEN.ZIP"});
        QTest::keyClick(w->lsttech, Qt::Key_Home);
        QTRY_VERIFY(rests("T1"));
        QTest::keyClicks(w->lsttech, "T");   // a typed letter: the next code starting with it
        QTRY_VERIFY(rests("T2"));
        QTest::keyClick(w->lsttech, Qt::Key_End);
        QTRY_VERIFY(rests("T9"));
        // Pressed on T4, released on T6.
        QWidget *view = w->lsttech->viewport();
        const QPoint t4 = w->lsttech->visualItemRect(w->lsttech->item(3)).center();
        const QPoint t6 = w->lsttech->visualItemRect(w->lsttech->item(5)).center();
        QTest::mousePress(view, Qt::LeftButton, {}, t4);
        QMouseEvent move(QEvent::MouseMove, t6, view->mapToGlobal(t6), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(view, &move);
        QTest::qWait(300);
        QVERIFY(w->txtTech->text() == "T6" && w->techPickPending() && !w->isBusy());
        QTest::mouseRelease(view, Qt::LeftButton, {}, t6);
        QTRY_VERIFY(rests("T6"));
        w->txtFileName->setText(local("notes"));
        QCOMPARE(w->cmdPut_Click(), frmMain::PutOutcome::Sent);
        QVERIFY(QFile::remove(remote("T6/NOTES.")));
    }

    void uploadSendsIntoTheTechniciansFolder()
    {
        auto w = makeWindow();
        const QString file = local("Big Report.Zip");
        QVERIFY(writePatternFile(file, 2 * 1024 * 1024 + 3));
        pick(*w, "T3");
        w->txtFileName->setText(file);
        w->filList->item(0)->setSelected(true);
        const QString captionBefore = w->windowTitle();
        bool during = false, unloaded = false;
        QString caption, fileLabel;
        int closeTries = 0;
        connect(w.get(), &frmMain::unloaded, this, [&] { unloaded = true; });
        connect(w->FTP1, &FtpClient::TransferProgress, this, [&] {
            if (closeTries++ == 0)
                w->close();  // refused while the transfer runs
            during = w->fraAnimation->isVisible() && !w->lblWarning->isVisible() && !w->cmdPut->isEnabled()
                && !w->lsttech->isEnabled();
            caption = w->windowTitle();
            fileLabel = w->lblFile->text();
        });
        QTest::mouseClick(w->cmdPut, Qt::LeftButton);

        QVERIFY(sameFileContents(file, remote("T3/BIG REPORT.ZIP")));
        QVERIFY(during && caption == "Uploading Big Report.Zip" && fileLabel == "Big Report.Zip to " + m_.server.host());
        const QString line = "Upload of " + file + " complete";
        QCOMPARE(w->lstMessages->findItems(line, Qt::MatchExactly).size(), 1);
        // The notice says where the file went, and comes once the caption
        // has left "Uploading" and the grid holds the file.
        QCOMPARE(m_.texts(), QStringList{line + "\nStored as /uploads/T3/BIG REPORT.ZIP"});
        QVERIFY(seen_.value(0).startsWith("Tobra - /uploads/T3|") && seen_.value(0).contains("|BIG REPORT.ZIP|"));
        // The grid is listed again and shows the file; the panels name the
        // folder the next upload goes to.
        QVERIFY(column(w->MSFDir, 0).contains("BIG REPORT.ZIP"));
        QVERIFY(w->panelText("ftpconnection") == "/uploads/T3 on " + m_.server.host() && w->panelText("general") == "Ready");
        QCOMPARE(lastSentFolder(), m_.local.path());
        QVERIFY(m_.face->shown[0].style == 64 && m_.face->shown[0].title == "Transfer Notification");
        // Done: the button waits for the next change, nothing stays selected.
        QVERIFY(!w->cmdPut->isEnabled() && !w->isBusy() && !w->fraAnimation->isVisible() && w->lblWarning->isVisible()
                && w->lsttech->isEnabled() && !w->cmdCancel->isEnabled() && !QGuiApplication::overrideCursor());
        QVERIFY(w->filList->selectedItems().isEmpty() && w->windowTitle() == captionBefore);
        QVERIFY(closeTries > 0 && w->isVisible() && !unloaded);
        QFile::remove(file);
        w->close();
        QVERIFY(unloaded);
    }

    // What is never sent, and what the button does meanwhile; a click
    // while disconnected only connects.
    void putButtonRules()
    {
        auto w = makeWindow();
        pick(*w, "T4");
        // The file box; what lands on the server, if anything.
        const struct { QString box, remote; } rows[] = {{"notes", "NOTES."}, {"empty.bin", ""}, {"missing.zip", ""}, {"", ""}};
        for (const auto &r : rows) {
            m_.face->shown.clear();
            w->txtFileName->setText(r.box.isEmpty() ? "   " : local(r.box));
            w->cmdPut->setEnabled(true);
            const frmMain::PutOutcome outcome = w->cmdPut_Click();
            QCOMPARE(outcome, r.remote.isEmpty() ? frmMain::PutOutcome::NothingSent : frmMain::PutOutcome::Sent);
            QVERIFY(r.remote.isEmpty() ? QDir(remote("T4")).isEmpty() : QFile::remove(remote("T4/" + r.remote)));
            // A name that is not a file is said so; an empty box says nothing.
            if (r.remote.isEmpty())
                QCOMPARE(m_.texts(), r.box.isEmpty() ? QStringList() : QStringList{"File " + local(r.box) + " does not exist."});
            // A blank box leaves the button as it was; every other case disables it.
            QCOMPARE(w->cmdPut->isEnabled(), r.box.isEmpty());
        }
        w->cmdPut->setEnabled(false);
        w->txtFileName->setText(local("Data.ZIP"));
        w->FTP1->Disconnect();
        const int logins = m_.server.loginCount();
        QTest::mouseClick(w->cmdPut, Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(m_.server.loginCount(), logins + 1, 5000);
        QVERIFY(w->FTP1->Connected() && !QFileInfo::exists(remote("T4/DATA.ZIP")) && w->cmdPut->isEnabled());
        QTest::mouseClick(w->cmdPut, Qt::LeftButton);
        QVERIFY(QFileInfo(remote("T4/DATA.ZIP")).isFile() && !w->cmdPut->isEnabled());

        // Reset clears the code, the list's choice and the grid, and shows the
        // list; local views, file box and connection stay.
        const int localRows = w->msfSource->Rows();
        w->lsttech->setVisible(false);
        QTest::mouseClick(w->cmdReset, Qt::LeftButton);
        QVERIFY(w->txtTech->text().isEmpty() && w->lsttech->selectedItems().isEmpty() && w->lsttech->isVisible());
        QVERIFY(!w->cmdPut->isEnabled() && !w->cmdReset->isEnabled() && w->MSFDir->Rows() == 2 && allBlank(w->MSFDir));
        QVERIFY(w->msfSource->Rows() == localRows && w->txtFileName->text() == local("Data.ZIP") && w->FTP1->Connected());
        // A file change alone does not bring the button back.
        w->txtFileName->setText(local("report.zip"));
        QVERIFY(!w->cmdPut->isEnabled());
    }

    // After an upload the button waits for a choice: every way of choosing
    // a file brings it back, the same file as before included; a folder or
    // an empty box never does, and the status bar says what to do.
    void everyChoiceEnablesUpload()
    {
        auto w = makeWindow();
        pick(*w, "T5");
        w->txtFileName->setText(local("notes"));
        QCOMPARE(w->cmdPut_Click(), frmMain::PutOutcome::Sent);
        QVERIFY(!w->cmdPut->isEnabled());
        auto onRow = [&](bool grid, const QString &name) {
            w->chkToggle->setChecked(!grid);
            w->chkToggle->click();
            QAbstractItemView *view = grid ? static_cast<QAbstractItemView *>(w->msfSource) : w->filList;
            const int row = grid ? int(column(w->msfSource, 0).indexOf(name)) + 1 : int(w->filList->names().indexOf(name));
            view->setCurrentIndex(view->model()->index(row, 0));
            view->setFocus();
            return view;
        };
        QString browsed = local("notes");
        w->openFileDialog = [&](QWidget *, const QString &, const QString &) { return browsed; };
        // What the box holds before, the choice, what it holds after, whether Upload is enabled.
        const struct { QString before; std::function<void()> choose; QString after; bool enabled; } rows[] = {
            {local("notes"), [&] { QTest::mouseClick(w->cmdbrowse, Qt::LeftButton); }, local("notes"), true},
            {local("report.zip"), [&] { clickCell(w->msfSource, int(column(w->msfSource, 0).indexOf("report.zip")) + 1, 0); },
             local("report.zip"), true},
            {local("Data.ZIP"), [&] { onRow(false, "notes"); clickItem(w->filList, int(w->filList->names().indexOf("Data.ZIP"))); },
             local("Data.ZIP"), true},
            {local("Data.ZIP"), [&] { QVERIFY(dropFile(w.get(), local("Data.ZIP"))); }, local("Data.ZIP"), true},
            {"", [&] { QTest::keyClicks(w->txtFileName, local("notes")); }, local("notes"), true},
            {"", [&] { QTest::keyClicks(w->txtFileName, m_.local.path() + "/"); }, m_.local.path() + "/", false},
            {local("notes"), [&] { w->txtFileName->clear(); }, "", false},
            // Enter or Space on a row of the local grid or list, as a click.
            {"", [&] { QTest::keyClick(onRow(true, "report.zip"), Qt::Key_Return); }, local("report.zip"), true},
            {"", [&] { QTest::keyClick(onRow(false, "Data.ZIP"), Qt::Key_Space); }, local("Data.ZIP"), true},
            {"", [&] { QTest::keyClick(onRow(true, "notes"), Qt::Key_Down); }, "", false},
        };
        for (const auto &r : rows) {
            w->txtFileName->setText(r.before);
            w->cmdPut->setEnabled(false);   // as an upload leaves it
            r.choose();
            QCOMPARE(w->txtFileName->text(), r.after);
            QVERIFY2(w->cmdPut->isEnabled() == r.enabled, qPrintable(r.after + QString::number(&r - rows)));
            QCOMPARE(w->panelText("general"), r.enabled ? QString("Ready") : QString("Choose a file to send"));
        }
        QFile::remove(remote("T5/NOTES."));
    }

    // A server whose certificate cannot be trusted is asked about, No being
    // the default (Enter never trusts); Yes pins its key in CHAT.INI (that
    // line only) and connects. After No the status bar says why the window
    // is offline, and the question comes back once per new attempt.
    void untrustedServerIsAskedAbout()
    {
        TestCertificate cert;
        QVERIFY(makeTestCertificate(m_.local.path(), "localhost", &cert));
        TestFtpServer tls;
        QVERIFY2(tls.start(cert.serverArgs(true)), qPrintable(tls.lastError()));
        const QByteArray chat = "; settings\r\n[PREFERENCES]\r\nURL=" + tls.host().toUtf8() + "\r\n[OTHER]\r\nA=1\r\n";
        const QString chatPath = m_.ini.filePath("CHAT.INI");
        // The answer given (Ok: none, so the default), whether it connects.
        for (const auto answer : {MsgAnswer::No, MsgAnswer::Ok, MsgAnswer::Yes}) {
            const bool trust = answer == MsgAnswer::Yes;
            QVERIFY(writeBytes(chatPath, chat));
            m_.face->shown.clear();
            auto w = makeWindow(tls.host());
            if (answer != MsgAnswer::Ok)
                m_.face->answerNext(answer);
            pick(*w, "T1");
            QCOMPARE(m_.texts(), QStringList{untrustedServerQuestion(tls.host(), cert.pin)});
            QCOMPARE(defaultAnswer(m_.face->shown[0].style), MsgAnswer::No);
            QCOMPARE(w->FTP1->Connected(), trust);
            QCOMPARE(w->FTP1->encrypted(), trust);
            QByteArray expected = chat;
            if (trust)
                expected.replace("\r\n[OTHER]", "\r\nCERT=" + cert.pin.toUtf8() + "\r\n[OTHER]");
            QCOMPARE(readBytes(chatPath), expected);
            QCOMPARE(tls.loginCount(), trust ? 1 : 0);
            if (!trust) {
                QCOMPARE(w->panelText("ftpconnection"), QString("Not connected: the server's identity was not confirmed"));
                pick(*w, "T2");
                QCOMPARE(m_.face->shown.size(), 2);
            }
        }
        // The question in plain words, with a code to read out and the key
        // for support staff.
        const QString question = untrustedServerQuestion(tls.host(), cert.pin);
        QVERIFY(question.startsWith("This computer cannot confirm") && question.contains("call the maker's support", Qt::CaseInsensitive));
        QVERIFY(question.contains(pinShortCode(cert.pin)) && question.endsWith(cert.pin) && !question.contains("certificate"));
        QFile::remove(chatPath);
    }

    // Tab visits every usable control once, in reading order, and leaves
    // the grids; Enter in the file box sends the file.
    void keyboardOrder()
    {
        auto w = makeWindow();
        pick(*w, "T1");
        w->txtFileName->setText(local("report.zip"));
        QCOMPARE(tabWalk(w.get(), w->lsttech),
                 (QStringList{"lsttech", "txtTech", "ckbsafety", "cmdReset", "txtFileName", "cmdbrowse", "chkToggle",
                              "msfSource", "MSFDir", "txtURL", "cmdPut", "cmdQof", "cmdQofp", "cmdQsnp", "cmdExit"}));
        w->txtFileName->setFocus();
        QTest::keyClick(w->txtFileName, Qt::Key_Return);
        QCOMPARE(QFileInfo(remote("T1/REPORT.ZIP")).size(), 3000);
        QVERIFY(writeBytes(remote("T1/REPORT.ZIP"), QByteArray(1024, 'r')));
    }

    // The Cancel button, Escape, or closing the window and answering Yes
    // stop the upload within a second, with nothing left on the server; No
    // to a lost connection and a refused file stop it too. Each ends with
    // the line saying the file was not sent and why, and the server grid
    // listed again; the window stays usable (or closes, when that was asked).
    void everyStopSaysWhatHappened()
    {
        const QString file = local("stalled.bin");
        QVERIFY(writePatternFile(file, 48 * 1024 * 1024));
        const QString cancelled = "stalled.bin was not sent: the upload was cancelled.";
        const struct { QString how; QStringList serverArgs; QString line; } rows[] = {
            {"button", {"--stall-after", "2000000"}, cancelled},
            {"escape", {"--stall-after", "2000000"}, cancelled},
            {"close", {"--stall-after", "2000000"}, cancelled},
            {"decline", {"--drop-after", "2000000"}, "stalled.bin was not sent: the connection to the server was lost."},
            {"refused", {"--refuse-stor"}, "stalled.bin was not sent: The server refused "},
        };
        for (const auto &r : rows) {
            m_.face->shown.clear();
            TestFtpServer server;
            QVERIFY2(server.start(r.serverArgs), qPrintable(server.lastError()));
            auto w = makeWindow(server.host());
            pick(*w, "T2");
            // Put there after the pick: only a new listing shows it.
            QVERIFY(writeBytes(server.root() + "/uploads/T2/LATER.TXT", "x"));
            w->txtFileName->setText(file);
            bool enabledDuring = false;
            QElapsedTimer t;
            QTimer::singleShot(1000, w.get(), [&] {
                enabledDuring = w->cmdCancel->isEnabled();
                t.start();
                if (r.how == "button")
                    QTest::mouseClick(w->cmdCancel, Qt::LeftButton);
                else if (r.how == "escape")
                    QTest::keyClick(w->txtFileName, Qt::Key_Escape);
                else if (r.how == "close")
                    w->close();
            });
            if (r.how == "decline")
                m_.face->answerNext(MsgAnswer::No);
            QVERIFY(!w->cmdCancel->isEnabled());
            const frmMain::PutOutcome outcome = w->cmdPut_Click();
            const QString last = w->lstMessages->item(w->lstMessages->count() - 1)->text();
            QVERIFY2(last.startsWith(r.line) && w->lblOutcome->text() == last && w->lblOutcome->isVisible(), qPrintable(last));
            QVERIFY(QDir(server.root() + "/uploads/T2").entryList(QDir::Files) == QStringList{"LATER.TXT"}
                    || r.how == "decline");
            QVERIFY(!w->isBusy() && !w->fraAnimation->isVisible() && !w->cmdCancel->isEnabled() && w->lsttech->isEnabled());
            if (r.how == "decline") {
                QCOMPARE(outcome, frmMain::PutOutcome::Failed);
                QVERIFY(m_.texts().size() == 1 && m_.texts()[0].startsWith("Connection to "));
                QVERIFY(allBlank(w->MSFDir));   // not connected: nothing listed can pass for the file
                continue;
            }
            QVERIFY(column(w->MSFDir, 0).contains("LATER.TXT"));
            if (r.how == "refused") {
                QCOMPARE(outcome, frmMain::PutOutcome::Failed);
                QVERIFY(m_.texts().size() == 1 && m_.texts()[0].endsWith("\n" + nextStepText(FailureKind::ServerRefused)));
                QCOMPARE(m_.face->shown[0].style, 16);
                continue;
            }
            QVERIFY(outcome == frmMain::PutOutcome::Cancelled && enabledDuring);
            QVERIFY2(t.elapsed() < 1000, qPrintable(QString::number(t.elapsed())));
            QCOMPARE(m_.texts(), r.how == "close" ? QStringList{TransferInputBlocker::closeQuestion()} : QStringList());
            QTest::qWait(50);
            QCOMPARE(w->isVisible(), r.how != "close");
        }
        QFile::remove(file);
    }

    // The local grid and list, a dropped file and the file dialog fill the
    // file box; with safety on, a file that is missing or empty is said so.
    void whatFillsTheFileBox()
    {
        auto w = makeWindow();
        const int row = int(column(w->msfSource, 0).indexOf("report.zip")) + 1;
        QVERIFY(row > 0 && w->msfSource->TextMatrix(row, 1) == "3000 bytes" && w->msfSource->TextMatrix(row, 3) == "     n/a");
        // (Clicks, keys and a dropped file: everyChoiceEnablesUpload.) A
        // dropped folder is not a file.
        w->txtFileName->setText(local("Data.ZIP"));
        QVERIFY(!dropFile(w.get(), m_.local.path()));
        QCOMPARE(w->txtFileName->text(), local("Data.ZIP"));

        // The file dialog: an empty box presets nothing; a name given in
        // another letter case still finds the stored file; Cancel keeps the box.
        QStringList asked;
        QString answer = local("Data.ZIP");
        w->openFileDialog = [&](QWidget *, const QString &folder, const QString &preset) {
            asked << folder << preset;
            return answer;
        };
        w->txtFileName->setText(QString());
        QTest::mouseClick(w->cmdbrowse, Qt::LeftButton);
        QVERIFY(asked == QStringList({"", ""}) && w->txtFileName->text() == answer && w->filList->Path() == m_.local.path());
        QCOMPARE(w->filList->selectedItems().value(0)->text(), QString("Data.ZIP"));
        asked.clear();
        answer = local("DATA.zip");
        QTest::mouseClick(w->cmdbrowse, Qt::LeftButton);
        QCOMPARE(asked, QStringList({m_.local.path() + "/", "Data.ZIP"}));
        QCOMPARE(m_.texts(), QStringList({"Error:  " + answer + " does not exist. Please choose a file."}));
        QCOMPARE(w->txtFileName->text(), local("Data.ZIP"));
        answer.clear();
        QTest::mouseClick(w->cmdbrowse, Qt::LeftButton);
        QCOMPARE(w->txtFileName->text(), local("Data.ZIP"));
        m_.face->shown.clear();

        const QString missing = local("gone.zip");
        w->SelectFileInGrid(missing);
        QVERIFY(m_.face->shown.isEmpty());
        w->ckbsafety->click();
        QVERIFY(program().SafetyOn);
        w->SelectFileInGrid(missing);
        w->SelectFileInGrid(local("empty.bin"));
        QCOMPARE(m_.texts(),
                 QStringList({"file " + missing + " does not exist.", "file " + local("empty.bin") + " does not exist."}));
        w->ckbsafety->click();
        QVERIFY(!program().SafetyOn);
    }

    // The technician list, once hidden, comes back with F12 and with some
    // presses of the mouse, not with others.
    void revealGestures()
    {
        auto w = makeWindow();
        w->openFileDialog = [](QWidget *, const QString &, const QString &) { return QString(); };
        QWidget *box = w->MSFDir->parentWidget();
        // Where, which button (at a null point: the middle), whether it reveals.
        const struct { QWidget *on; Qt::MouseButton button; QPoint at; bool reveals; } clicks[] = {
            {w->centralWidget(), Qt::RightButton, {2, 2}, true}, {w->cmdbrowse, Qt::LeftButton, {}, true},
            {w->cmdPut, Qt::LeftButton, {}, true}, {box, Qt::RightButton, {box->width() - 3, box->height() - 3}, true},
            {w->centralWidget(), Qt::LeftButton, {2, 2}, false}, {w->cmdbrowse, Qt::RightButton, {}, false},
            {w->cmdExit, Qt::RightButton, {}, false},
        };
        for (const auto &c : clicks) {
            w->lsttech->setVisible(false);
            QTest::mouseClick(c.on, c.button, {}, c.at);
            QVERIFY2(w->lsttech->isVisible() == c.reveals, qPrintable(c.on->objectName()));
        }
        QApplication::setActiveWindow(w.get());
        QVERIFY(QTest::qWaitForWindowActive(w.get()));
        w->lsttech->setVisible(false);
        QTest::keyClick(w.get(), Qt::Key_F12);
        QVERIFY(w->lsttech->isVisible());
    }
};

QTEST_MAIN(TestFrmMain)
#include "test_frmmain.moc"
