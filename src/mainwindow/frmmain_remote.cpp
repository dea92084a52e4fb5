// The main window's connection, the component's events, the remote grid and
// the upload.
#include "mainwindow/frmmain.h"

#include "ftp/ftpclient.h"
#include "ftp/ftpevents.h"
#include "ftp/ftpsettings.h"
#include "ftp/ui/progressdisplay.h"
#include "mainwindow/filelistbox.h"
#include "mainwindow/frmmain_p.h"
#include "mainwindow/lastfolder.h"
#include "support/errorhandler.h"
#include "support/globals.h"
#include "support/messages.h"
#include "support/modcommon.h"
#include "support/modopsys.h"
#include "support/ui/inputblocker.h"
#include "support/ui/msfgrid.h"
#include "support/ui/pacer.h"

#include <QFileInfo>
#include <QFontMetrics>
#include <QHeaderView>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStackedWidget>
#include <QTimer>

namespace tobra {

namespace {
// The hidden status list keeps the latest lines only.
constexpr int kMaxStatusLines = 5000;
}  // namespace

void frmMain::reportFtpError(const FtpError &e)
{
    if (e.number() == kErrCannotConnect || e.number() == kErrUntrustedServer)
        Messages::show(failureMessage(cannotLogonText(), e), MsgStyle::Critical);
    else
        Messages::show(failureMessage(e.description(), e), MsgStyle::Critical);
}

void frmMain::FtpConnect()
{
    setCurrentProcName(QStringLiteral("FtpConnect"));
    BusyScope busy(*this);
    try {
        if (!FTP1->Connected()) {
            // Said while it lasts; Escape or a close stops it (the window's
            // waits are stoppable).
            const QString host = txtURL->text().trimmed();
            setPanelText(QStringLiteral("general"), QStringLiteral("Connecting to ") + host + QStringLiteral("..."));
            setPointerHourglass();
            connectWithSettings(*FTP1, host, true);
            setPointerDefault();
            showReady();
        }
    } catch (const FtpError &e) {
        setPointerDefault();
        showReady();
        setPanelText(QStringLiteral("ftpconnection"), notConnectedText(e));
        if (!closeWhenIdle_)
            reportConnectError(e);
        return;
    }
    const QString text = txtFileName->text().trimmed();
    if (!text.isEmpty()) {
        QString folder = localFolderOf(text);
        CkRSlash(folder);
        QString bare = folder;
        StripRChar(bare);
        // The root strips to nothing and is a folder all the same.
        if (FolderExists(bare.isEmpty() ? folder : bare))
            FTP1->setLocalDirectory(folder);
    } else {
        FTP1->setLocalDirectory(IniFolder());
    }
}

void frmMain::FtpDisconnect()
{
    if (!FTP1->Connected())
        return;
    BusyScope busy(*this);
    try {
        FTP1->Disconnect();
    } catch (const FtpError &) {
        // Going away anyway: nothing to tell the user.
    }
}

void frmMain::AddStatusMessage(const QString &msg)
{
    // The completion notice waits for the end of the upload (cmdPut_Click),
    // when it can say where the file went.
    lstMessages->addLine(msg, kMaxStatusLines);
}

void frmMain::RefreshRemoteList()
{
    if (!FTP1->Connected())
        return;
    // The listing itself is fetched once, by the grid load that follows the
    // folder change; fetching a second one here only to drop it doubled the
    // wait on large folders.
    setPanelText(QStringLiteral("general"), QStringLiteral("Getting Remote Directory List..."));
}

void frmMain::ProgressControlVisible(bool Torf)
{
    noticeStack_->setCurrentWidget(Torf ? fraAnimation : noticePage_);
}

void frmMain::showUploadTarget(const QString &code)
{
    if (!FTP1->Connected() || !techFolderUsable(code) || code.trimmed().isEmpty())
        return;
    const QString folder = remoteTechFolder(code);
    setPanelText(QStringLiteral("ftpconnection"), folder + QStringLiteral(" on ") + FTP1->Host());
    setRestingCaption(directoryCaption(folder));
}

void frmMain::relistTechFolder(const QString &code)
{
    BusyScope busy(*this);
    try {
        FTP1->CD(remoteTechFolder(code));
        clearGrid(MSFDir);
        fillRemoteGrid(MSFDir, remoteGridRows(FTP1->List()));
        showReady();
    } catch (const FtpError &) {
        // A listing that fails now must not leave an older listing that
        // could pass for the new file.
        clearGrid(MSFDir);
        showReady();
    }
}

void frmMain::OnConnectionStateChanged(int state)
{
    // The panels say what the session is, not what it was.
    setPanelText(QStringLiteral("netconnection"),
                 state == FtpStateConnected ? QStringLiteral("Connected") : QStringLiteral("Not Connected"));
    setPanelText(QStringLiteral("ftpconnection"), state == FtpStateConnected
                                                      ? FTP1->currentDirectory() + QStringLiteral(" on ") + FTP1->Host()
                                                      : QStringLiteral("No FTP Connection"));
    if (state != FtpStateConnected && !isBusy())
        showReady();
    if (state == FtpStateLost) {
        // The question must show the normal pointer, not the hourglass.
        setPointerDefault();
        lostAsked_ = true;
        handleConnectionLost(*FTP1);
    }
    setPointerDefault();
}

void frmMain::OnDirectoryChanged(const QString &path)
{
    setPanelText(QStringLiteral("ftpconnection"), path + QStringLiteral(" on ") + FTP1->Host());
    setRestingCaption(directoryCaption(path));
    RefreshRemoteList();
}

void frmMain::OnTransferStarting(const QString &localFile)
{
    progress->ShowProgressBar();
    ProgressControlVisible(true);
    // The event names the file; the program-wide name is only set by the
    // product windows.
    QString shown = program().CurrentFileName;
    if (shown.isEmpty())
        shown = localFileNameOf(localFile);
    progress->StartFileDisplay(false, shown, FTP1->Host());
    progress->StartAnimation();
}

void frmMain::OnTransferProgress(qint64 bytesDone, qint64 totalBytes)
{
    progress->Update(bytesDone, totalBytes);
}

void frmMain::OnTransferComplete(const QString &remoteFile, const QString &localFile, bool download)
{
    progress->StopAnimation();
    progress->pacer()->flush();
    ProgressControlVisible(false);
    setWindowTitle(restingCaption_);
    completeLine_ = transferCompleteLine(remoteFile, localFile, download);
    AddStatusMessage(completeLine_);
}

void frmMain::OnTransferCancelled(const QString &remoteFile, const QString &localFile, bool download)
{
    AddStatusMessage(transferCancelledLine(remoteFile, localFile, download));
}

void frmMain::SetupGrid(FlexGrid *MsfGrid)
{
    // The name takes what the fixed columns leave, so every column shows at
    // the window's first size; the others fit their widest text.
    const QFontMetrics fm = MsfGrid->fontMetrics();
    const int pad = fm.averageCharWidth() * 2;
    const QString widest[] = {QString(), QStringLiteral("0000000000 bytes"), QStringLiteral("0000-00-00 00:00:00"),
                              QStringLiteral("00.00.0000.0000")};
    QHeaderView *header = MsfGrid->horizontalHeader();
    header->setStretchLastSection(false);
    header->setMinimumSectionSize(fm.averageCharWidth() * 4);
    header->setSectionResizeMode(0, QHeaderView::Stretch);
    for (int c = 1; c < MsfGrid->Cols() && c < 4; ++c)
        MsfGrid->setColumnWidth(c, fm.horizontalAdvance(widest[c]) + pad);
    showColumnTitles(MsfGrid);
}

void frmMain::showColumnTitles(FlexGrid *grid)
{
    // The header row inside the grid shows the titles the header view keeps
    // for assistive technology.
    for (int c = 0; c < grid->Cols(); ++c)
        if (const QTableWidgetItem *title = grid->horizontalHeaderItem(c))
            grid->setTextMatrix(0, c, title->text());
}

void frmMain::clearGrid(FlexGrid *grid)
{
    // What msfClearRows leaves (the fixed rows and one blank row, row 0
    // current), with the surplus rows dropped in one step rather than one
    // by one: a folder of thousands of files clears at once.
    const int keep = grid->FixedRows() + 1;
    grid->setUpdatesEnabled(false);
    if (grid->Rows() > keep)
        grid->setRows(keep);
    msfClearRows(grid, grid->Rows());
    showColumnTitles(grid);
    grid->setUpdatesEnabled(true);
}

void frmMain::fillRemoteGrid(FlexGrid *grid, const QList<RemoteRow> &rows)
{
    if (rows.isEmpty())
        return;
    // The same cells as appending row by row after the clearing, written
    // in one go: a folder of thousands of files fills without a cell-by-cell
    // change notice, and the view repaints once at the end.
    const int first = grid->FixedRows();
    const int needed = first + int(rows.size());
    grid->setUpdatesEnabled(false);
    if (grid->Rows() < needed)
        grid->setRows(needed);
    {
        const QSignalBlocker quiet(grid->model());
        for (int i = 0; i < rows.size(); ++i) {
            const RemoteRow &r = rows.at(i);
            const int row = first + i;
            grid->setItem(row, 0, new QTableWidgetItem(r.name));
            grid->setItem(row, 1, new QTableWidgetItem(r.size));
            grid->setItem(row, 2, new QTableWidgetItem(r.date));
        }
    }
    grid->setRow(needed - 1);
    grid->setCol(0);
    grid->clearSelection();
    grid->setUpdatesEnabled(true);
    grid->scrollToTop();
    grid->viewport()->update();
}

void frmMain::LoadFTPGrid(FlexGrid *MsfGrid, FtpClient *FTPControl)
{
    setCurrentProcName(QStringLiteral("LoadFTPGrid"));
    const QString code = txtTech->text();
    FtpConnect();
    if (!FTPControl->Connected())
        return;  // FtpConnect has said why
    if (!techFolderUsable(code)) {
        Messages::show(unusableCodeText(code), MsgStyle::Exclamation);
        return;
    }
    BusyScope busy(*this);
    setPointerHourglass();
    try {
        FTPControl->CD(remoteTechFolder(code));
        fillRemoteGrid(MsfGrid, remoteGridRows(FTPControl->List()));
        showReady();
    } catch (const FtpError &e) {
        // A folder that is not there yet lists nothing; only an unreachable
        // server is worth a message.
        showReady();
        setPointerDefault();
        if (e.number() == kErrCannotConnect)
            Messages::show(failureMessage(cannotLogonText(), e), MsgStyle::Critical);
    }
    setPointerDefault();
}

void frmMain::ChangeUploads()
{
    if (!FTP1->Connected() || FTP1->cancelRequested())
        return;
    BusyScope busy(*this);
    try {
        FTP1->CD(txtTech->text());
    } catch (const FtpError &e) {
        // The code's own sub-folder is usually not there; the technician's
        // folder then stays current.
        if (e.number() != kErrRemoteFolder)
            reportFtpError(e);
    }
}

frmMain::PutOutcome frmMain::cmdPut_Click()
{
    if (isBusy())
        return PutOutcome::NothingSent;
    lastPutError_ = 0;
    if (!FTP1->Connected()) {
        FtpConnect();
        return PutOutcome::Connecting;
    }
    program().CurrentFileNumber = 1;
    program().FileCount = 1;
    const QString text = txtFileName->text().trimmed();
    if (text.isEmpty())
        return PutOutcome::NothingSent;

    // One absolute path from here to the server: the file checked is the
    // file sent.
    const QString file = QFileInfo(toFileSystemPath(text)).absoluteFilePath();
    const bool exists = FileExists(file);
    PutOutcome outcome = PutOutcome::NothingSent;
    if (!exists) {
        // A folder or a name that is not there: say so instead of nothing.
        Messages::show(QStringLiteral("File ") + text + QStringLiteral(" does not exist."), MsgStyle::Critical,
                       QStringLiteral("ERROR"));
    }
    if (exists) {
        const QString code = pickDone_ ? pickedCode_ : txtTech->text().trimmed();
        if (!techFolderUsable(code) || code.isEmpty()) {
            Messages::show(unusableCodeText(code), MsgStyle::Exclamation);
        } else {
            outcome = sendFile(file, code);
        }
    }
    cmdPut->setEnabled(false);
    filList->setCurrentRow(-1);
    filList->clearSelection();
    msfHome(MSFDir);
    msfHome(msfSource);
    // The window was closed during the upload and the user agreed to cancel.
    if (QWidget *w = blocker_->takeCloseRequest())
        QTimer::singleShot(0, w, &QWidget::close);
    return outcome;
}

frmMain::PutOutcome frmMain::sendFile(const QString &file, const QString &code)
{
    BusyScope busy(*this);
    // Nothing that could start a second transfer stays usable.
    const bool techWas = lsttech->isEnabled();
    const bool resetWas = cmdReset->isEnabled();
    cmdPut->setEnabled(false);
    lsttech->setEnabled(false);
    cmdReset->setEnabled(false);
    for (QPushButton *b : {cmdQof, cmdQofp, cmdQsnp, cmdbrowse})
        b->setEnabled(false);
    FTP1->clearCancel();
    lostAsked_ = false;
    completeLine_.clear();
    showOutcome(QString());
    cmdCancel->setEnabled(true);
    PutOutcome outcome = PutOutcome::Sent;
    QString stopLine;
    try {
        FTP1->PutFile(file, remoteTechFolder(code));
    } catch (const FtpError &e) {
        outcome = e.number() == kErrCancelled ? PutOutcome::Cancelled : PutOutcome::Failed;
        lastPutError_ = e.number();
        // The progress frame would otherwise stay up for a transfer that
        // has ended.
        progress->StopAnimation();
        ProgressControlVisible(false);
        setPointerDefault();
        // A lost connection whose question was answered No (or whose
        // reconnect failed and was reported) has been told already.
        const bool declined = lostAsked_ && !FTP1->Connected();
        const PutStop stop = outcome == PutOutcome::Cancelled ? PutStop::Cancelled
                             : declined                       ? PutStop::Declined
                                                              : PutStop::Failed;
        stopLine = notSentLine(localFileNameOf(file), stop, e.reason());
        if (stop == PutStop::Failed)
            reportFtpError(e);
    }
    cmdCancel->setEnabled(false);
    FTP1->clearCancel();
    if (windowTitle().startsWith(QLatin1String("Uploading ")))
        setWindowTitle(restingCaption_);
    // The grid shows the folder as it is now, so an older copy cannot pass
    // for the file just sent (or not sent).
    if (FTP1->Connected())
        relistTechFolder(code);
    else
        clearGrid(MSFDir);
    if (outcome == PutOutcome::Sent) {
        rememberSentFolder(localFolderOf(file));
        showUploadTarget(code);
        const QString stored = storedAsLine(remoteTechFolder(code), RemoteFileName(file));
        showOutcome(completeLine_.isEmpty() ? stored : completeLine_ + QStringLiteral(". ") + stored);
        if (!completeLine_.isEmpty())
            Messages::show(completeLine_ + QLatin1Char('\n') + stored, MsgStyle::Information,
                           QStringLiteral("Transfer Notification"));
    } else {
        AddStatusMessage(stopLine);
        showOutcome(stopLine);
    }
    lsttech->setEnabled(techWas);
    cmdReset->setEnabled(resetWas);
    for (QPushButton *b : {cmdQof, cmdQofp, cmdQsnp, cmdbrowse})
        b->setEnabled(true);
    return outcome;
}

}  // namespace tobra
