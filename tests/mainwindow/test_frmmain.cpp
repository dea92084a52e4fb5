#include "ftp/ftpclient.h"
#include "ftp/ui/copyanimation.h"
#include "harness/testftpserver.h"
#include "mainwindow/filelistbox.h"
#include "mainwindow/frmabout.h"
#include "mainwindow/frmmain.h"
#include "support/globals.h"
#include "support/messages.h"
#include "support/ui/msfgrid.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QProgressBar>
#include <QStyle>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

using namespace tobra;
using tobra::test::TestFtpServer;

namespace {

bool writeBytes(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

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

int techRow(const frmMain &w, const QString &code)
{
    for (int i = 0; i < w.lsttech->count(); ++i)
        if (w.lsttech->item(i)->text() == code)
            return i;
    return -1;
}

// Name -> size text of a remote grid; the server's order is its own.
QMap<QString, QString> remoteSizes(const FlexGrid *grid)
{
    QMap<QString, QString> out;
    for (int r = 1; r < grid->Rows(); ++r)
        out.insert(grid->TextMatrix(r, 0), grid->TextMatrix(r, 1));
    return out;
}

void clickCheckBox(QCheckBox *box)
{
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(box->style()->pixelMetric(QStyle::PM_IndicatorWidth) / 2 + 1,
                                                      box->height() / 2));
}

QStringList column(const FlexGrid *grid, int col)
{
    QStringList out;
    for (int r = 1; r < grid->Rows(); ++r)
        out << grid->TextMatrix(r, col);
    return out;
}

bool allBlank(const FlexGrid *grid)
{
    for (int r = 0; r < grid->Rows(); ++r)
        for (int c = 0; c < grid->Cols(); ++c)
            if (!grid->TextMatrix(r, c).isEmpty())
                return false;
    return true;
}

}  // namespace

class TestFrmMain : public QObject {
    Q_OBJECT
    QTemporaryDir ini_;
    QTemporaryDir sys_;
    QTemporaryDir local_;
    TestFtpServer server_;
    std::shared_ptr<ScriptedFace> face_;
    std::shared_ptr<MessageFace> oldFace_;

    // A window pointed at the test server, shown offscreen, with the local
    // folder of the tests in its views.
    std::unique_ptr<frmMain> makeWindow(const QString &host = QString())
    {
        auto w = std::make_unique<frmMain>();
        w->AddTechs();
        w->txtURL->setText(host.isEmpty() ? server_.host() : host);
        w->filList->setPath(local_.path());
        w->LoadFileGrid(w->msfSource, local_.path());
        w->show();
        return w;
    }
    void pick(frmMain &w, const QString &code)
    {
        const int row = techRow(w, code);
        QVERIFY2(row >= 0, qPrintable(code));
        clickItem(w.lsttech, row);
    }
    QStringList shownTexts() const
    {
        QStringList out;
        for (const auto &s : face_->shown)
            out << s.text;
        return out;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(ini_.isValid() && sys_.isValid() && local_.isValid());
        qputenv("TOBRA_WINDIR", ini_.path().toLocal8Bit());
        qputenv("TOBRA_SYSDIR", sys_.path().toLocal8Bit());
        face_ = std::make_shared<ScriptedFace>();
        oldFace_ = Messages::setFace(face_);
        QVERIFY2(server_.start(), qPrintable(server_.lastError()));
        const QString t1 = server_.root() + "/uploads/T1/";
        QVERIFY(writeBytes(t1 + "REPORT.ZIP", QByteArray(1024, 'r')));
        QVERIFY(writeBytes(t1 + "EMPTY.TXT", QByteArray()));
        QVERIFY(QDir().mkpath(t1 + "OLDER"));
        QVERIFY(QDir().mkpath(server_.root() + "/uploads/T2/ONLYFOLDER"));
        QVERIFY(writeBytes(local_.filePath("report.zip"), QByteArray(3000, 'l')));
        QVERIFY(writeBytes(local_.filePath("Data.ZIP"), QByteArray(700, 'd')));
        QVERIFY(writeBytes(local_.filePath("empty.bin"), QByteArray()));
        QVERIFY(writeBytes(local_.filePath("notes"), QByteArray(10, 'n')));
    }
    void cleanupTestCase() { Messages::setFace(oldFace_); }
    void init()
    {
        face_->shown.clear();
        program().SafetyOn = false;
    }

    void pickListsTheTechniciansFiles()
    {
        auto w = makeWindow();
        QList<int> cursors;
        connect(w->FTP1, &FtpClient::DirectoryChanged, this, [&] {
            const QCursor *c = QGuiApplication::overrideCursor();
            cursors << (c ? int(c->shape()) : -1);
        });
        pick(*w, "T1");
        QCOMPARE(w->txtTech->text(), QString("T1"));
        const QMap<QString, QString> expected{{"EMPTY.TXT", "0 bytes"}, {"REPORT.ZIP", "1024 bytes"}};
        QCOMPARE(remoteSizes(w->MSFDir), expected);
        QCOMPARE(w->MSFDir->Rows(), 3);
        QVERIFY(!w->MSFDir->TextMatrix(1, 2).isEmpty());
        QCOMPARE(w->MSFDir->TextMatrix(0, 0), QString());
        QVERIFY(w->cmdPut->isEnabled());
        QVERIFY(w->cmdReset->isEnabled());
        QCOMPARE(w->FTP1->currentDirectory(), QString("/uploads/T1"));
        QCOMPARE(w->windowTitle(), QString("Tobra - /uploads/T1"));
        QCOMPARE(w->panelText("ftpconnection"), "/uploads/T1 on " + server_.host());
        QCOMPARE(w->panelText("general"), QString("Getting Remote Directory List..."));
        QCOMPARE(w->panelText("netconnection"), QString("Not Connected"));
        // The hourglass shows while the folder is read, and not after.
        QVERIFY(!cursors.isEmpty());
        QCOMPARE(cursors.first(), int(Qt::WaitCursor));
        QVERIFY(!QGuiApplication::overrideCursor());
        // The code's own sub-folder is missing: no message for that.
        QVERIFY2(face_->shown.isEmpty(), qPrintable(shownTexts().join('|')));

        // A folder of folders only, after a pick that had listed files:
        // the header row and one blank row.
        pick(*w, "T2");
        QCOMPARE(w->MSFDir->Rows(), 2);
        QVERIFY(allBlank(w->MSFDir));
        // No folder on the server yet: nothing listed, nothing said.
        pick(*w, "T9");
        QVERIFY(allBlank(w->MSFDir));
        QVERIFY2(face_->shown.isEmpty(), qPrintable(shownTexts().join('|')));
        QCOMPARE(w->FTP1->loginCount(), 1);
    }

    void remoteRowClickFillsTheFileBox()
    {
        auto w = makeWindow();
        pick(*w, "T1");
        w->FTP1->setLocalDirectory(local_.path() + "/");
        // REPORT.ZIP on the server is report.zip here.
        const int row = int(column(w->MSFDir, 0).indexOf("REPORT.ZIP")) + 1;
        QVERIFY(row > 0);
        clickCell(w->MSFDir, row, 1);
        QCOMPARE(w->MSFDir->Col(), 0);
        QCOMPARE(w->txtFileName->text(), local_.filePath("report.zip"));
        // The header row changes nothing.
        w->txtFileName->setText("unchanged");
        w->MSFDir->setRow(0);
        emit w->MSFDir->Click();
        QCOMPARE(w->txtFileName->text(), QString("unchanged"));
    }

    void uploadSendsIntoTheTechniciansFolder()
    {
        auto w = makeWindow();
        const QString file = local_.filePath("Big Report.Zip");
        QVERIFY(test::writePatternFile(file, 2 * 1024 * 1024 + 3));
        pick(*w, "T3");
        w->txtFileName->setText(file);
        QVERIFY(w->cmdPut->isEnabled());
        w->filList->item(0)->setSelected(true);
        const QString captionBefore = w->windowTitle();

        bool frameSeen = false, warningHidden = false, putDisabled = false, techDisabled = false;
        QString caption, fileLabel;
        connect(w->FTP1, &FtpClient::TransferProgress, this, [&] {
            frameSeen = w->fraAnimation->isVisible();
            warningHidden = !w->lblWarning->isVisible();
            putDisabled = !w->cmdPut->isEnabled();
            techDisabled = !w->lsttech->isEnabled();
            caption = w->windowTitle();
            fileLabel = w->lblFile->text();
        });
        QTest::mouseClick(w->cmdPut, Qt::LeftButton);

        QString why;
        QVERIFY2(test::sameFileContents(file, server_.root() + "/uploads/T3/BIG REPORT.ZIP", &why), qPrintable(why));
        QVERIFY(frameSeen && warningHidden && putDisabled && techDisabled);
        QCOMPARE(caption, QString("Uploading Big Report.Zip"));
        QCOMPARE(fileLabel, "Big Report.Zip to " + server_.host());
        const QString line = "Upload of " + file + " complete";
        QCOMPARE(w->lstMessages->item(w->lstMessages->count() - 1)->text(), line);
        QCOMPARE(w->lstMessages->currentRow(), w->lstMessages->count() - 1);
        QCOMPARE(face_->shown.size(), 1);
        QCOMPARE(face_->shown[0].text, line);
        QCOMPARE(face_->shown[0].style, 64);
        QCOMPARE(face_->shown[0].title, QString("Transfer Notification"));
        // Done: the button waits for the next change, nothing stays selected.
        QVERIFY(!w->cmdPut->isEnabled());
        QVERIFY(w->lsttech->isEnabled());
        QCOMPARE(w->filList->selectedItems().size(), 0);
        QCOMPARE(w->filList->currentRow(), -1);
        QCOMPARE(w->MSFDir->Row(), 0);
        QCOMPARE(w->msfSource->Row(), 0);
        QVERIFY(!w->fraAnimation->isVisible());
        QVERIFY(w->lblWarning->isVisible());
        QCOMPARE(w->windowTitle(), captionBefore);
        QCOMPARE(program().CurrentFileNumber, 1);
        QCOMPARE(program().FileCount, 1);

        // The next pick shows the sent file.
        pick(*w, "T3");
        QVERIFY(column(w->MSFDir, 0).contains("BIG REPORT.ZIP"));
        QFile::remove(file);
    }

    void whatIsNeverSent_data()
    {
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("remote");   // what lands on the server, if anything
        QTest::newRow("no extension") << "notes" << "NOTES.";
        QTest::newRow("empty file") << "empty.bin" << "";
        QTest::newRow("missing file") << "missing.zip" << "";
        QTest::newRow("blank box") << "" << "";
    }
    void whatIsNeverSent()
    {
        QFETCH(QString, box);
        QFETCH(QString, remote);
        auto w = makeWindow();
        pick(*w, "T4");
        w->txtFileName->setText(box.isEmpty() ? "   " : local_.filePath(box));
        const frmMain::PutOutcome outcome = w->cmdPut_Click();
        const QString folder = server_.root() + "/uploads/T4";
        if (remote.isEmpty()) {
            QVERIFY(outcome == frmMain::PutOutcome::NothingSent);
            QCOMPARE(QDir(folder).entryList(QDir::Files).size(), 0);
            QVERIFY(face_->shown.isEmpty());
        } else {
            QVERIFY(outcome == frmMain::PutOutcome::Sent);
            QVERIFY(QFileInfo(folder + "/" + remote).isFile());
            QFile::remove(folder + "/" + remote);
        }
        // A blank box leaves the button as it was; every other case disables it.
        QCOMPARE(w->cmdPut->isEnabled(), box.isEmpty());
    }

    void clickWhileDisconnectedOnlyConnects()
    {
        auto w = makeWindow();
        pick(*w, "T5");
        w->txtFileName->setText(local_.filePath("Data.ZIP"));
        w->FTP1->Disconnect();
        const int logins = server_.loginCount();
        QTest::mouseClick(w->cmdPut, Qt::LeftButton);
        QVERIFY(w->FTP1->Connected());
        QTRY_COMPARE_WITH_TIMEOUT(server_.loginCount(), logins + 1, 5000);
        QVERIFY(!QFileInfo::exists(server_.root() + "/uploads/T5/DATA.ZIP"));
        QVERIFY(w->cmdPut->isEnabled());
        QTest::mouseClick(w->cmdPut, Qt::LeftButton);
        QVERIFY(QFileInfo(server_.root() + "/uploads/T5/DATA.ZIP").isFile());
        QVERIFY(!w->cmdPut->isEnabled());
    }

    void resetClearsTheTechnician()
    {
        auto w = makeWindow();
        pick(*w, "T1");
        w->txtFileName->setText(local_.filePath("report.zip"));
        const int localRows = w->msfSource->Rows();
        w->lsttech->setVisible(false);
        QTest::mouseClick(w->cmdReset, Qt::LeftButton);
        QCOMPARE(w->txtTech->text(), QString());
        QCOMPARE(w->lsttech->selectedItems().size(), 0);
        QVERIFY(w->lsttech->isVisible());
        QVERIFY(!w->cmdPut->isEnabled());
        QVERIFY(!w->cmdReset->isEnabled());
        QCOMPARE(w->MSFDir->Rows(), 2);
        QVERIFY(allBlank(w->MSFDir));
        QCOMPARE(w->selectedLocalCount(), 0);
        // Local views, file box and connection stay.
        QCOMPARE(w->msfSource->Rows(), localRows);
        QCOMPARE(w->txtFileName->text(), local_.filePath("report.zip"));
        QVERIFY(w->FTP1->Connected());
        // A file change alone does not bring the button back.
        w->txtFileName->setText(local_.filePath("Data.ZIP"));
        QVERIFY(!w->cmdPut->isEnabled());
    }

    void unreachableServerIsReportedOnce()
    {
        // A port where a server just stopped listening.
        TestFtpServer gone;
        QVERIFY2(gone.start(), qPrintable(gone.lastError()));
        const QString host = gone.host();
        gone.stop();
        auto w = makeWindow(host);
        pick(*w, "T1");
        QCOMPARE(shownTexts(), QStringList({"Cannot find (logon) the ftp server."}));
        QCOMPARE(face_->shown[0].style, 0);
        QVERIFY(!w->FTP1->Connected());
        QVERIFY(allBlank(w->MSFDir) && w->MSFDir->Rows() == 1);
        // The local views still show the folder the window was opened on.
        QVERIFY(column(w->msfSource, 0).contains("report.zip"));
        QVERIFY(!QGuiApplication::overrideCursor());
    }

    void connectionLostDuringUpload_data()
    {
        QTest::addColumn<bool>("reconnect");
        QTest::newRow("Yes reconnects") << true;
        QTest::newRow("No stays disconnected") << false;
    }
    void connectionLostDuringUpload()
    {
        QFETCH(bool, reconnect);
        TestFtpServer dropping;
        QVERIFY2(dropping.start({"--drop-after", "65536"}), qPrintable(dropping.lastError()));
        auto w = makeWindow(dropping.host());
        const QString file = local_.filePath("large.bin");
        QVERIFY(test::writePatternFile(file, 4 * 1024 * 1024));
        pick(*w, "T6");
        w->txtFileName->setText(file);
        face_->answerNext(reconnect ? MsgAnswer::Yes : MsgAnswer::No);
        const frmMain::PutOutcome outcome = w->cmdPut_Click();
        QVERIFY(outcome == frmMain::PutOutcome::Failed);

        QVERIFY(face_->shown.size() >= 2);
        QCOMPARE(face_->shown[0].text,
                 "Connection to " + dropping.host() + " has been lost - would you like to reconnect?");
        QCOMPARE(face_->shown[0].style, 36);
        QCOMPARE(face_->shown[0].title, QString("Connection lost"));
        // The failed upload is reported, never announced as complete.
        QCOMPARE(face_->shown.last().style, 0);
        QVERIFY(!face_->shown.last().text.isEmpty());
        for (const auto &s : face_->shown)
            QVERIFY(s.title != "Transfer Notification");
        for (int i = 0; i < w->lstMessages->count(); ++i)
            QVERIFY(!w->lstMessages->item(i)->text().startsWith("Upload of"));
        QCOMPARE(w->FTP1->Connected(), reconnect);
        // The window is usable again.
        QVERIFY(!w->isBusy());
        QVERIFY(!w->fraAnimation->isVisible());
        QVERIFY(w->lblWarning->isVisible());
        QVERIFY(w->lsttech->isEnabled());
        QVERIFY(!QGuiApplication::overrideCursor());
        QFile::remove(file);
    }

    void browseSelectsTheChosenFile()
    {
        auto w = makeWindow();
        QStringList asked;
        QString answer = local_.filePath("Data.ZIP");
        w->openFileDialog = [&](QWidget *, const QString &folder, const QString &preset) {
            asked << folder << preset;
            return answer;
        };
        // An empty box presets nothing.
        w->txtFileName->setText(QString());
        QTest::mouseClick(w->cmdbrowse, Qt::LeftButton);
        QCOMPARE(asked, QStringList({"", ""}));
        QCOMPARE(w->txtFileName->text(), answer);
        QCOMPARE(w->FTP1->LocalDirectory(), local_.path() + "/");
        QCOMPARE(w->filList->Path(), local_.path());
        QCOMPARE(w->filList->selectedItems().size(), 1);
        QCOMPARE(w->filList->selectedItems().first()->text(), QString("Data.ZIP"));
        QVERIFY(column(w->msfSource, 0).contains("Data.ZIP"));

        // A name given in another letter case still finds the stored file.
        asked.clear();
        answer = local_.filePath("DATA.zip");
        QVERIFY(!QFileInfo::exists(answer));
        QTest::mouseClick(w->cmdbrowse, Qt::LeftButton);
        QCOMPARE(asked, QStringList({local_.path() + "/", "Data.ZIP"}));
        QCOMPARE(shownTexts(), QStringList({"Error:  " + answer + " does not exist. Please choose a file."}));
        QCOMPARE(w->txtFileName->text(), local_.filePath("Data.ZIP"));

        // Cancel keeps the box.
        answer.clear();
        QTest::mouseClick(w->cmdbrowse, Qt::LeftButton);
        QCOMPARE(w->txtFileName->text(), local_.filePath("Data.ZIP"));
    }

    void localViewsFillTheFileBox()
    {
        auto w = makeWindow();
        // The grid.
        const QStringList names = column(w->msfSource, 0);
        const int row = int(names.indexOf("report.zip")) + 1;
        QVERIFY(row > 0);
        QCOMPARE(w->msfSource->TextMatrix(row, 1), QString("3000 bytes"));
        QCOMPARE(w->msfSource->TextMatrix(row, 3), QString("     n/a"));
        clickCell(w->msfSource, row, 2);
        QCOMPARE(w->txtFileName->text(), local_.filePath("report.zip"));
        QCOMPARE(w->filList->selectedItems().size(), 1);
        w->txtFileName->setText("unchanged");
        w->msfSource->setRow(0);
        emit w->msfSource->Click();
        QCOMPARE(w->txtFileName->text(), QString("unchanged"));

        // The list, shown by clearing Grid.
        QVERIFY(w->msfSource->isVisible() && !w->filList->isVisible());
        clickCheckBox(w->chkToggle);
        QVERIFY(!w->msfSource->isVisible() && w->filList->isVisible());
        const int item = int(w->filList->names().indexOf("Data.ZIP"));
        QVERIFY(item >= 0);
        clickItem(w->filList, item);
        QCOMPARE(w->txtFileName->text(), local_.filePath("Data.ZIP"));
        clickCheckBox(w->chkToggle);
        QVERIFY(w->msfSource->isVisible() && !w->filList->isVisible());
    }

    void safetyAndMissingFiles()
    {
        auto w = makeWindow();
        const QString missing = local_.filePath("gone.zip");
        w->SelectFileInGrid(missing);
        QVERIFY(face_->shown.isEmpty());
        clickCheckBox(w->ckbsafety);
        QVERIFY(program().SafetyOn);
        w->SelectFileInGrid(missing);
        QCOMPARE(shownTexts(), QStringList({"file " + missing + " does not exist."}));
        // A file of 0 bytes counts as missing too.
        w->SelectFileInGrid(local_.filePath("empty.bin"));
        QCOMPARE(face_->shown.size(), 2);
        clickCheckBox(w->ckbsafety);
        QVERIFY(!program().SafetyOn);
        QCOMPARE(w->ckbsafety->toolTip(), QString("If 'On' - Prompts before overwriting files"));
    }

    void revealGesturesAndMenus()
    {
        auto w = makeWindow();
        w->openFileDialog = [](QWidget *, const QString &, const QString &) { return QString(); };
        QCOMPARE(w->ToggleItem->shortcut(), QKeySequence(Qt::Key_F12));
        QCOMPARE(w->MenuTech->title(), QString("Toggle"));
        QCOMPARE(w->HelpMenu->title(), QString("&Help"));
        QCOMPARE(w->HelpMenuItem->text(), QString("&About"));

        const auto hideThen = [&](const std::function<void()> &gesture) {
            w->lsttech->setVisible(false);
            gesture();
            return w->lsttech->isVisible();
        };
        QApplication::setActiveWindow(w.get());
        QVERIFY(QTest::qWaitForWindowActive(w.get()));
        QVERIFY(hideThen([&] { QTest::keyClick(w.get(), Qt::Key_F12); }));
        QVERIFY(hideThen([&] { QTest::mousePress(w->centralWidget(), Qt::RightButton, {}, QPoint(2, 2)); }));
        QVERIFY(hideThen([&] { QTest::mouseClick(w->cmdbrowse, Qt::LeftButton); }));
        QVERIFY(hideThen([&] { QTest::mousePress(w->cmdPut, Qt::LeftButton); }));
        // Other buttons do not reveal it.
        QVERIFY(!hideThen([&] { QTest::mousePress(w->centralWidget(), Qt::LeftButton, {}, QPoint(2, 2)); }));
        QVERIFY(!hideThen([&] { QTest::mousePress(w->cmdbrowse, Qt::RightButton); }));
        QVERIFY(!hideThen([&] { QTest::mousePress(w->cmdExit, Qt::RightButton); }));
        QVERIFY(hideThen([&] {
            QWidget *box = w->MSFDir->parentWidget();
            QTest::mousePress(box, Qt::RightButton, {}, QPoint(box->width() - 3, box->height() - 3));
        }));
    }

    void aboutBoxLoadsFreshEachTime()
    {
        auto w = makeWindow();
        for (int round = 0; round < 2; ++round) {
            w->HelpMenuItem->trigger();
            QPointer<frmAbout> about = w->aboutBox();
            QVERIFY(about);
            QVERIFY(about->isVisible());
            QCOMPARE(about->windowTitle(), QString("About Tobra"));
            QCOMPARE(about->windowModality(), Qt::NonModal);
            QCOMPARE(about->lstabout->count(), 1);
            QCOMPARE(about->lstabout->item(0)->text(),
                     QString("04/16/2002  1.1.2 Added support to get around firewall"));
            QCOMPARE(about->cmdExit->text(), QString("E&xit"));
            // The main window stays usable meanwhile.
            QVERIFY(!QApplication::activeModalWidget());
            clickCheckBox(w->chkToggle);
            QTest::mouseClick(about->cmdExit, Qt::LeftButton);
            QTRY_VERIFY_WITH_TIMEOUT(about.isNull(), 5000);
        }
    }

    void customerCodeFromQuillonIni_data()
    {
        QTest::addColumn<QByteArray>("ini");  // empty: no file
        QTest::addColumn<int>("count");
        QTest::addColumn<QStringList>("tail");
        QTest::newRow("code") << QByteArray("[CUSTLOG]\r\nCODE = V7ACME\r\n") << 10 << QStringList{"T9", "V7ACME"};
        QTest::newRow("no key gives star") << QByteArray("[OTHER]\r\nX=1\r\n") << 10 << QStringList{"T9", "*"};
        QTest::newRow("empty value") << QByteArray("[CUSTLOG]\r\nCODE=\r\n") << 10 << QStringList{"T9", ""};
        QTest::newRow("no file") << QByteArray() << 9 << QStringList{"T8", "T9"};
    }
    void customerCodeFromQuillonIni()
    {
        QFETCH(QByteArray, ini);
        QFETCH(int, count);
        QFETCH(QStringList, tail);
        const QString path = sys_.filePath("quillon.ini");
        QFile::remove(path);
        if (!ini.isEmpty())
            QVERIFY(writeBytes(path, ini));
        frmMain w;
        w.AddTechs();
        QCOMPARE(w.lsttech->count(), count);
        QCOMPARE(w.lsttech->item(0)->text(), QString("T1"));
        QCOMPARE(QStringList({w.lsttech->item(w.lsttech->count() - 2)->text(),
                              w.lsttech->item(w.lsttech->count() - 1)->text()}),
                 tail);
        QFile::remove(path);
    }

    void controlsCarryTheirNames()
    {
        frmMain w;
        const QStringList names = {"lsttech", "txtTech", "txtFileName", "cmdbrowse", "filList", "msfSource",
                                   "chkToggle", "MSFDir", "cmdPut", "cmdReset", "ckbsafety", "lblWarning",
                                   "cmdQof", "cmdQofp", "cmdQsnp", "txtURL", "lstMessages", "fraAnimation",
                                   "ProgressBar1", "Animation1", "lblOpening", "lblFile", "lblTime",
                                   "lblEstimate", "sbMain", "cmdExit"};
        for (const QString &n : names)
            QVERIFY2(w.findChild<QWidget *>(n), qPrintable(n));
        QVERIFY(w.findChild<FtpClient *>("FTP1") && w.findChild<FtpClient *>("FTP2"));
        QCOMPARE(w.txtURL->property("Tag").toString(), urlTag());
        QCOMPARE(w.MSFDir->Cols(), 3);
        QCOMPARE(w.msfSource->Cols(), 4);
        QCOMPARE(w.MSFDir->columnWidth(0), FlexGrid::twipsToPixels(w.MSFDir, 4200));
        QCOMPARE(w.panelText("general"), QString("Ready"));
        QCOMPARE(w.panelText("ftpconnection"), QString("No FTP Connection"));
        QVERIFY(!w.cmdPut->isEnabled() && !w.cmdReset->isEnabled() && w.chkToggle->isChecked());
        QCOMPARE(w.lblWarning->font().family(), QString("Times New Roman"));
        for (QPushButton *b : {w.cmdQof, w.cmdQofp, w.cmdQsnp}) {
            QVERIFY(b->text().isEmpty());
            QVERIFY(!b->icon().isNull());
        }
        QVERIFY(!w.FTP2->Connected());
    }
};

QTEST_MAIN(TestFrmMain)
#include "test_frmmain.moc"
