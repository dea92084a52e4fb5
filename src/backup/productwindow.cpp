#include "backup/productwindow.h"

#include "backup/backuprun.h"
#include "ftp/ftpclient.h"
#include "ftp/ftpevents.h"
#include "ftp/ui/copyanimation.h"
#include "ftp/ui/progressdisplay.h"
#include "support/errorhandler.h"
#include "support/globals.h"
#include "support/messages.h"
#include "support/modcommon.h"
#include "support/modopsys.h"
#include "support/platform.h"
#include "support/ui/elidedlabel.h"
#include "support/ui/hiddentext.h"
#include "support/ui/inputblocker.h"
#include "support/ui/msfgrid.h"
#include "support/ui/pacer.h"
#include "support/ui/statuslist.h"
#include "support/ui/tagwidgets.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QStyle>
#include <QVBoxLayout>

#include <utility>

namespace tobra {

namespace {

StatusList *statusList(const QString &name, QWidget *parent)
{
    auto *list = new StatusList(parent);
    list->setObjectName(name);
    list->setToolTip(QStringLiteral("FTP Status Messages"));
    list->hide();
    return list;
}

QLabel *label(const QString &name, const QString &text, QWidget *parent)
{
    auto *l = new QLabel(text, parent);
    l->setObjectName(name);
    return l;
}

// Keeps the window's buttons as a run left them even when it is cut short.
class RunGuard {
public:
    explicit RunGuard(QPushButton *closeButton) : close_(closeButton) { close_->setEnabled(false); }
    ~RunGuard() { close_->setEnabled(true); }
    RunGuard(const RunGuard &) = delete;
    RunGuard &operator=(const RunGuard &) = delete;

private:
    QPushButton *close_;
};

}  // namespace

ProductWindow::ProductWindow(Product product, QWidget *parent)
    : QDialog(parent), profile_(productProfile(product))
{
    setObjectName(profile_.windowName);
    setWindowTitle(profile_.windowTitle);
    buildControls();
    connectFtp();
}

ProductWindow::~ProductWindow() = default;

void ProductWindow::buildControls()
{
    // Created in the order the tag reader visits them: the company first.
    txtCompany = new QLineEdit(this);
    txtCompany->setObjectName(QStringLiteral("txtCompany"));
    txtCompany->setReadOnly(true);
    txtCompany->setAccessibleName(QStringLiteral("Company folder"));
    setControlTag(txtCompany, profile_.companyTag());
    txtQOFData = new QLineEdit(this);
    txtQOFData->setObjectName(QStringLiteral("txtQOFData"));
    txtQOFData->hide();
    txtQOFData->setAccessibleName(QStringLiteral("Data folder"));
    setControlTag(txtQOFData, profile_.dataFolderTag());
    lstQOFFiles = new QListWidget(this);
    lstQOFFiles->setObjectName(QStringLiteral("lstQOFFiles"));
    setControlTag(lstQOFFiles, profile_.fileListTag());
    lstQOFFiles->setAccessibleName(QStringLiteral("Database files to back up"));
    txtFileName = new HiddenText(this);
    txtFileName->setObjectName(QStringLiteral("txtFileName"));
    txtFileName->setAccessibleName(QStringLiteral("File being sent"));
    driQOF = new QComboBox(this);
    driQOF->setObjectName(QStringLiteral("driQOF"));
    driQOF->hide();
    driQOF->setAccessibleName(QStringLiteral("Data drive"));
    driQOF->view()->setAccessibleName(QStringLiteral("Data drive"));
    pathQOF = new QListWidget(this);
    pathQOF->setObjectName(QStringLiteral("pathQOF"));
    pathQOF->hide();
    pathQOF->setAccessibleName(QStringLiteral("Data folder"));
    fileQOF = new QListWidget(this);
    fileQOF->setObjectName(QStringLiteral("fileQOF"));
    fileQOF->hide();
    fileQOF->setAccessibleName(QStringLiteral("Files in the data folder"));

    MSFDir = new FlexGrid(3, this);
    MSFDir->setObjectName(QStringLiteral("MSFDir"));
    MSFDir->hide();
    MSFDir->setAccessibleName(QStringLiteral("Files in the company folder on the server"));
    MSFDir->setColumnTitles({QStringLiteral("File"), QStringLiteral("Size"), QStringLiteral("Date Time")});

    cmdOk = new QPushButton(QStringLiteral("&Ok"), this);
    cmdOk->setObjectName(QStringLiteral("cmdOk"));
    cmdOk->setDefault(true);
    cmdOk->setAccessibleDescription(QStringLiteral("Sends the database files to the server"));
    cmdGet = new QPushButton(QStringLiteral("&Get"), this);
    cmdGet->setObjectName(QStringLiteral("cmdGet"));
    cmdGet->hide();  // the old per-file step; the run sends every file
    cmdClose = new QPushButton(profile_.closeButtonCaption, this);
    cmdClose->setObjectName(profile_.closeButtonName);
    cmdClose->setAutoDefault(false);
    cmdClose->setAccessibleDescription(QStringLiteral("Closes the window"));

    lstMessages = statusList(QStringLiteral("lstMessages"), this);
    setControlTag(lstMessages, ProductProfile::pullTag());
    lstMessage = statusList(QStringLiteral("lstMessage"), this);

    lblLocal = label(QStringLiteral("lblLocal"), profile_.localLabel, this);
    lblFTP = label(QStringLiteral("lblFTP"), profile_.ftpLabel, this);
    lblFTP->hide();
    lblDataTransferWarning = label(QStringLiteral("lblDataTransferWarning"), profile_.warningText, this);
    lblDataTransferWarning->setWordWrap(true);

    Animation1 = new CopyAnimation(this);
    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setAccessibleName(QStringLiteral("Backup progress"));
    lblOpening = label(QStringLiteral("lblOpening"), QStringLiteral("Opening:"), this);
    // A long path is elided in the middle: the window keeps its size.
    lblFile = new ElidedLabel(QString(), this);
    lblFile->setObjectName(QStringLiteral("lblFile"));
    lblTime = label(QStringLiteral("lblTime"), QStringLiteral("Estimated Time Left:"), this);
    lblEstimate = label(QStringLiteral("lblEstimate"), QStringLiteral("0 minute(s)"), this);
    cmdCancel = new QPushButton(QStringLiteral("Cancel"), this);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    cmdCancel->setToolTip(QStringLiteral("Stop the backup (Esc)"));
    cmdCancel->setEnabled(false);

    sbMain = new QStatusBar(this);
    sbMain->setObjectName(QStringLiteral("sbMain"));
    sbMain->setSizeGripEnabled(false);
    const struct {
        const char *key;
        const char *text;
    } panels[] = {{"general", "Ready"}, {"ftpconnection", "No FTP Connection"}, {"netconnection", "Not Connected"}};
    for (const auto &p : panels) {
        auto *panel = new ElidedLabel(QLatin1String(p.text), sbMain);
        panel->setObjectName(QLatin1String(p.key));
        sbMain->addWidget(panel, 1);
    }

    if (profile_.hasMissingList) {
        lstMissingFiles = new QListWidget(this);
        lstMissingFiles->setObjectName(QStringLiteral("lstMissingFiles"));
        lstMissingFiles->hide();
        lstMissingFiles->setAccessibleName(QStringLiteral("Missing files"));
        lblMissingHeading = label(QStringLiteral("lblMissingHeading"), QString(), this);
        lblMissingHeading->setWordWrap(true);
        lblMissingHeading->setBuddy(lstMissingFiles);
        lstNotSent = new QListWidget(this);
        lstNotSent->setObjectName(QStringLiteral("lstNotSent"));
        lstNotSent->setAccessibleName(QStringLiteral("Files not sent"));
        lblNotSentHeading = label(QStringLiteral("lblNotSentHeading"), QString(), this);
        lblNotSentHeading->setWordWrap(true);
        lblNotSentHeading->setBuddy(lstNotSent);
        lblTransferCompletion = label(QStringLiteral("lblTransferCompletion"), QString(), this);
        lblTransferCompletion->setWordWrap(true);
        lblTransferCompletion->hide();
        List1 = statusList(QStringLiteral("List1"), this);
        setControlTag(List1, ProductProfile::pullTag());
        Label1 = label(QStringLiteral("Label1"), QString(), this);
        Label1->hide();
    }

    auto *progressBox = new QGridLayout;
    progressBox->addWidget(lblOpening, 0, 0);
    progressBox->addWidget(lblFile, 0, 1);
    progressBox->addWidget(Animation1, 1, 0, 1, 2);
    progressBox->addWidget(ProgressBar1, 2, 0, 1, 2);
    progressBox->addWidget(lblTime, 3, 0);
    progressBox->addWidget(lblEstimate, 3, 1);
    progressBox->addWidget(cmdCancel, 3, 2);
    progressBox->setColumnStretch(1, 1);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cmdOk);
    buttons->addWidget(cmdGet);
    buttons->addWidget(cmdClose);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(lblLocal);
    layout->addWidget(lstQOFFiles, 1);
    layout->addWidget(lblFTP);
    layout->addWidget(txtCompany);
    layout->addWidget(MSFDir, 1);
    layout->addWidget(lblDataTransferWarning);
    if (profile_.hasMissingList) {
        layout->addWidget(lblMissingHeading);
        layout->addWidget(lstMissingFiles);
        layout->addWidget(lblNotSentHeading);
        layout->addWidget(lstNotSent);
        layout->addWidget(lblTransferCompletion);
        hideResultLists();
    }
    layout->addLayout(progressBox);
    layout->addLayout(buttons);
    layout->addWidget(sbMain);
    for (QWidget *hidden : {static_cast<QWidget *>(txtQOFData), static_cast<QWidget *>(txtFileName),
                            static_cast<QWidget *>(driQOF), static_cast<QWidget *>(pathQOF),
                            static_cast<QWidget *>(fileQOF), static_cast<QWidget *>(lstMessages),
                            static_cast<QWidget *>(lstMessage)})
        layout->addWidget(hidden);
    if (List1) {
        layout->addWidget(List1);
        layout->addWidget(Label1);
    }

    // The title keeps naming the product: the display leaves the caption
    // alone rather than the window putting it back after every file.
    ProgressDisplay::Controls controls{nullptr, ProgressBar1, Animation1, lblOpening, lblFile, lblTime, lblEstimate};
    progress_ = new ProgressDisplay(controls, this);
    // Ten refreshes a second are more than anyone reads; more only cost
    // every file of a run its redraws and screen-reader announcements.
    progress_->pacer()->setInterval(100);
    ProgressControlVisible(false);

    // Tab goes down the window; hidden and disabled controls are skipped.
    QList<QWidget *> order{lstQOFFiles, txtCompany, MSFDir};
    if (lstMissingFiles)
        order << lstMissingFiles << lstNotSent;
    order << cmdOk << cmdClose << cmdCancel;
    for (qsizetype i = 1; i < order.size(); ++i)
        setTabOrder(order.at(i - 1), order.at(i));

    connect(cmdOk, &QPushButton::clicked, this, [this] { cmdOk_Click(); });
    connect(cmdClose, &QPushButton::clicked, this, [this] { cmdExit_Click(); });
    connect(cmdCancel, &QPushButton::clicked, this, [this] { cmdCancel_Click(); });
    resize(420, 520);
}

void ProductWindow::connectFtp()
{
    ftp_ = new FtpClient(this);
    ftp_->setObjectName(QStringLiteral("FTP1"));
    blocker_ = new TransferInputBlocker(*ftp_, this);
    blocker_->setCancelButton(cmdCancel);
    ftp_->setWaitFilter(blocker_);
    connect(ftp_, &FtpClient::ConnectionStateChanged, this, [this](int state) {
        setPanelText(QStringLiteral("netconnection"),
                     state == FtpStateConnected ? QStringLiteral("Connected") : QStringLiteral("Not Connected"));
        if (state != FtpStateConnected) {
            companyFolder_.clear();
            setPanelText(QStringLiteral("ftpconnection"), QStringLiteral("No FTP Connection"));
        }
        if (state == FtpStateLost) {
            // During a run the run asks, once for all its sessions.
            if (run_)
                run_->primaryLost();
            else
                handleConnectionLost(*ftp_);
        }
    });
    connect(ftp_, &FtpClient::StatusMessage, this, [this](const QString &text) { AddStatusMessage(text); });
    connect(ftp_, &FtpClient::DirectoryChanged, this, [this](const QString &path) {
        // The title keeps naming the product; the folder goes to the status bar.
        setPanelText(QStringLiteral("ftpconnection"), path + QStringLiteral(" on ") + ftp_->Host());
        RefreshRemoteList();
    });
    connect(ftp_, &FtpClient::TransferComplete, this,
            [this](const QString &remote, const QString &local, bool download) {
                // Within a run the progress stays up from file to file; the run
                // hides it when it ends. Hiding and showing it for every file
                // only flickered, laid the window out again and told a screen
                // reader fourteen times a file that something came or went.
                if (state_ != State::Running)
                    ProgressControlVisible(false);
                AddStatusMessage(transferCompleteLine(remote, local, download));
            });
    connect(ftp_, &FtpClient::TransferCancelled, this,
            [this](const QString &remote, const QString &local, bool download) {
                AddStatusMessage(transferCancelledLine(remote, local, download));
            });
}

bool ProductWindow::Form_Load()
{
    loaded_ = true;
    hideResultLists();
    lblLocal->show();
    lstQOFFiles->show();
    for (QWidget *w : {static_cast<QWidget *>(txtCompany), static_cast<QWidget *>(lblFTP),
                       static_cast<QWidget *>(txtFileName), static_cast<QWidget *>(pathQOF),
                       static_cast<QWidget *>(fileQOF), static_cast<QWidget *>(MSFDir)})
        w->hide();
    return prepare();
}

bool ProductWindow::Form_Activate()
{
    lblLocal->show();
    for (QWidget *w : {static_cast<QWidget *>(txtFileName), static_cast<QWidget *>(driQOF),
                       static_cast<QWidget *>(pathQOF), static_cast<QWidget *>(fileQOF),
                       static_cast<QWidget *>(MSFDir), static_cast<QWidget *>(txtCompany),
                       static_cast<QWidget *>(lblFTP)})
        w->hide();
    if (profile_.product == Product::Qofp) {
        progress_->StopAnimation();
        Animation1->hide();
    }
    return prepare();
}

bool ProductWindow::prepare()
{
    IniFolder();  // only for its warning on a non-standard installation
    ReadTagSettings();
    markMissingEntries();
    const QString data = txtQOFData->text().trimmed();
    if (!PathExists(data)) {
        Messages::show(notInstalledText(profile_), MsgStyle::Exclamation);
        hide();
        return false;
    }
    driQOF->clear();
    driQOF->addItem(GetFileDrive(data));
    pathQOF->setProperty("Path", data);
    fileQOF->setProperty("Path", data);
    driQOF->hide();
    pathQOF->hide();
    fileQOF->hide();
    // ftpLoadGrid connects first; connecting here as well would only repeat
    // a failed attempt and its message.
    ftpLoadGrid();
    return true;
}

bool ProductWindow::openWindow(bool modal)
{
    if (isVisible() && state_ != State::Ready) {
        // A run in progress or its result stays as it is.
        raise();
        activateWindow();
        return true;
    }
    const bool installed = loaded_ ? Form_Activate() : Form_Load();
    if (!installed)
        return false;
    if (modal) {
        exec();
    } else {
        show();
        raise();
        activateWindow();
    }
    return true;
}

void ProductWindow::ReadTagSettings()
{
    setCurrentProcName(QStringLiteral("ReadTagSettings"));
    readTaggedControls(this, [this](QWidget *control) {
        // The company is read afresh each time, so the code never stacks.
        if (control == txtCompany)
            txtCompany->setText(companyFolderName(profile_.code, txtCompany->text()));
    });
}

QString ProductWindow::ReturnAlphaNumbersOnly(const QLineEdit *TextField) const
{
    return tobra::ReturnAlphaNumbersOnly(TextField ? TextField->text() : QString());
}

void ProductWindow::FtpConnect()
{
    setCurrentProcName(QStringLiteral("FtpConnect"));
    const bool wasConnected = ftp_->Connected();
    QString notConnected;
    if (!ensureConnected(*ftp_, makerHost(), &notConnected)) {
        setPanelText(QStringLiteral("ftpconnection"), notConnected);
        return;
    }
    if (!wasConnected)
        companyFolder_.clear();  // a new session starts in the login folder
    const QString data = txtQOFData->text().trimmed();
    QString folder;
    if (!data.isEmpty()) {
        folder = localFolderOf(data);
    } else {
        folder = platform().programDirectory();
    }
    ftp_->setLocalDirectory(toFileSystemPath(CkRSlash(folder)));
}

void ProductWindow::FtpDisconnect()
{
    if (!ftp_->Connected())
        return;
    try {
        ftp_->Disconnect();
    } catch (const FtpError &) {
        // Already gone.
    }
}

void ProductWindow::InitGrid()
{
    MSFDir->clearContents();
    MSFDir->setRows(1);
    MSFDir->setRow(0);
    MSFDir->setWidthTwips(3720);
    MSFDir->setTextMatrix(0, 0, QStringLiteral("File"));
    MSFDir->setTextMatrix(0, 1, QStringLiteral("Size"));
    MSFDir->setColWidthTwips(2, 2300);   // "yyyy-MM-dd HH:mm:ss"
    MSFDir->setTextMatrix(0, 2, QStringLiteral("Date Time"));
}

QString ProductWindow::openCompanyFolder()
{
    companyFolder_.clear();
    const QString name = ReturnAlphaNumbersOnly(txtCompany);
    try {
        ftp_->CD(QStringLiteral("/uploads"));
    } catch (const FtpError &e) {
        // A fresh server may not have it yet; uploads from the main window
        // make it the same way.
        if (e.number() != kErrRemoteFolder || !ftp_->Connected())
            throw;
        ftp_->MakeDirectory(QStringLiteral("/uploads"));
        ftp_->CD(QStringLiteral("/uploads"));
    }
    // The server may spell an existing folder in other letter case; that
    // folder is the company's and is opened by its own spelling.
    QString actual = findFolderEntry(ftp_->List(), name);
    if (actual.isEmpty()) {
        ftp_->MakeDirectory(name);
        actual = name;
    }
    ftp_->CD(actual);
    companyFolder_ = ftp_->currentDirectory();
    return companyFolder_;
}

QString ProductWindow::ensureCompanyFolder(QString *why)
{
    if (!companyFolder_.isEmpty() && ftp_->currentDirectory() == companyFolder_)
        return companyFolder_;
    try {
        return openCompanyFolder();
    } catch (const FtpError &e) {
        *why = e.description();
        return QString();
    }
}

void ProductWindow::ftpLoadGrid()
{
    setCurrentProcName(QStringLiteral("ftpLoadGrid"));
    FtpConnect();
    InitGrid();
    if (!ftp_->Connected())
        return;  // FtpConnect has told the user
    try {
        // After a run the session is in the company folder already: one
        // listing of it, not /uploads again to find it.
        if (companyFolder_.isEmpty() || ftp_->currentDirectory() != companyFolder_)
            openCompanyFolder();
        const QList<BackupGridRow> rows = backupGridRows(ftp_->List(), profile_.listsFolders);
        for (const BackupGridRow &row : rows) {
            msfNextRow(MSFDir);
            msfSetCell(MSFDir, row.name, MSFDir->Row(), 0);
            msfSetCell(MSFDir, row.size, MSFDir->Row(), 1);
            msfSetCell(MSFDir, row.dateTime, MSFDir->Row(), 2);
        }
    } catch (const FtpError &e) {
        reportConnectError(e);
    }
}

bool ProductWindow::RemoteFolderExists(const QString &name)
{
    try {
        return !findFolderEntry(ftp_->List(), name).isEmpty();
    } catch (const FtpError &) {
        return false;
    }
}

void ProductWindow::RefreshRemoteList()
{
    // A listing here would be thrown away: ftpLoadGrid fills the grid right
    // after every folder change, and on a large folder the extra listing
    // doubled the wait.
}

void ProductWindow::AddStatusMessage(const QString &message)
{
    lstMessages->addLine(message);
}

void ProductWindow::setPanelText(const QString &key, const QString &text)
{
    // At once, and a paced "File N of M" still waiting is dropped.
    if (QLabel *panel = sbMain->findChild<QLabel *>(key))
        progress_->pacer()->now(panel, [panel, &text] { panel->setText(text); });
}

void ProductWindow::ProgressControlVisible(bool Torf)
{
    for (QWidget *w : {static_cast<QWidget *>(ProgressBar1), static_cast<QWidget *>(Animation1),
                       static_cast<QWidget *>(lblOpening), static_cast<QWidget *>(lblFile),
                       static_cast<QWidget *>(lblTime), static_cast<QWidget *>(lblEstimate),
                       static_cast<QWidget *>(cmdCancel)})
        w->setVisible(Torf);
}

void ProductWindow::cmdOk_Click()
{
    // One run at a time; after a run the window must be closed first.
    if (state_ != State::Ready)
        return;
    setCurrentProcName(QStringLiteral("cmdOk_Click"));
    state_ = State::Running;
    cmdOk->setEnabled(false);
    bool closeRequested = false;
    {
        RunGuard guard(cmdClose);
        BackupRun run(*ftp_,
                      {[this] {
                           FtpConnect();
                           return ftp_->Connected();
                       },
                       [this](QString *reason) {
                           QString why;
                           const QString remote = ensureCompanyFolder(&why);
                           if (remote.isEmpty())
                               *reason = QStringLiteral("the folder ") + backupFolderPath(ReturnAlphaNumbersOnly(txtCompany))
                                   + QStringLiteral(" could not be opened on the server: ") + why;
                           return remote;
                       }});
        run.setSessions(backupSessionsFromSettings());
        run.setInputBlocking(blocker_, cmdCancel);
        connectRun(run);
        run_ = &run;
        ftp_->clearCancel();
        cmdCancel->setEnabled(true);
        QStringList entries;
        for (int i = 0; i < lstQOFFiles->count(); ++i)
            entries << lstQOFFiles->item(i)->text();
        program().FileCount = int(entries.size());
        progress_->StartAnimation();
        run.run(txtQOFData->text(), entries);
        run_ = nullptr;
        record_ = run.record();
        closeRequested = run.closeRequested();
        cmdCancel->setEnabled(false);
        ftp_->clearCancel();
        progress_->StopAnimation();
        progress_->pacer()->flush();
        ProgressControlVisible(false);
        setPanelText(QStringLiteral("general"), QStringLiteral("Ready"));
        if (run.offline())
            InitGrid();  // the user has been told; no further wait for the server
        else
            ftpLoadGrid();  // while the run's other sessions log out
    }
    for (QWidget *w : {static_cast<QWidget *>(lblFile), static_cast<QWidget *>(lblLocal),
                       static_cast<QWidget *>(txtFileName), static_cast<QWidget *>(driQOF),
                       static_cast<QWidget *>(pathQOF), static_cast<QWidget *>(fileQOF),
                       static_cast<QWidget *>(lstQOFFiles)})
        w->hide();
    showResult();
    MSFDir->show();
    txtCompany->show();
    lblFTP->show();
    state_ = State::Done;
    if (std::exchange(closeAfterRun_, false) || blocker_->takeCloseRequest() || closeRequested)
        cmdExit_Click();
}

void ProductWindow::connectRun(BackupRun &run)
{
    runStartMs_ = -1;
    shownCount_.clear();
    connect(&run, &BackupRun::statusMessage, this, &ProductWindow::AddStatusMessage);
    connect(&run, &BackupRun::fileStarted, this, [this](const QString &path) {
        txtFileName->setText(path);
        program().CurrentFileName = path;
        ProgressControlVisible(true);
        if (runStartMs_ < 0) {
            // Time left comes from the rate of the whole run.
            progress_->StartFileDisplay(false, path, ftp_->Host());
            runStartMs_ = progress_->startMs;
        } else {
            const QString text = path + QStringLiteral(" to ") + ftp_->Host();
            progress_->pacer()->put(lblFile, [this, text] { lblFile->setText(text); });
        }
    });
    connect(&run, &BackupRun::progressed, this, [this](qint64 done, qint64 total, int finished, int listed) {
        progress_->Update(done, total);
        // "File n of m": the files finished, and the one after them.
        program().CurrentFileNumber = qMin(finished + 1, listed);
        const QString count = QStringLiteral("File %1 of %2").arg(program().CurrentFileNumber).arg(listed);
        if (count == shownCount_)
            return;
        shownCount_ = count;
        QLabel *panel = sbMain->findChild<QLabel *>(QStringLiteral("general"));
        progress_->pacer()->put(panel, [this, panel, count] {
            ProgressBar1->setFormat(count + QStringLiteral(": %p%"));
            panel->setText(count);
        });
    });
}

void ProductWindow::cmdCancel_Click()
{
    if (state_ != State::Running)
        return;
    if (run_)
        run_->cancel();
}

void ProductWindow::showResult()
{
    const RunResult r = runResult(profile_, record_, gridNames());
    lblDataTransferWarning->setText(r.warning);
    lblDataTransferWarning->show();
    if (lstMissingFiles) {
        const struct {
            QLabel *heading;
            QListWidget *list;
            const QString &title;
            const QStringList &names;
        } parts[] = {{lblMissingHeading, lstMissingFiles, r.missingHeading, r.missingList},
                     {lblNotSentHeading, lstNotSent, r.notSentHeading, r.notSentList}};
        for (const auto &p : parts) {
            p.list->clear();
            p.list->addItems(p.names);
            p.list->setVisible(!p.names.isEmpty());
            p.heading->setText(p.title);
            p.heading->setVisible(!p.names.isEmpty());
        }
        lblTransferCompletion->setText(r.completion);
        lblTransferCompletion->setVisible(!r.completion.isEmpty());
    }
}

void ProductWindow::hideResultLists()
{
    if (!lstMissingFiles)
        return;
    for (QListWidget *list : {lstMissingFiles, lstNotSent})
        list->clear();
    for (QWidget *w : std::initializer_list<QWidget *>{lstMissingFiles, lstNotSent, lblMissingHeading,
                                                       lblNotSentHeading, lblTransferCompletion})
        w->hide();
}

QStringList ProductWindow::gridNames() const
{
    QStringList names;
    for (int r = MSFDir->FixedRows(); r < MSFDir->Rows(); ++r)
        if (!MSFDir->TextMatrix(r, 0).isEmpty())
            names << MSFDir->TextMatrix(r, 0);
    return names;
}

void ProductWindow::markMissingEntries()
{
    // Before Ok, so a missing file does not look like any other; the text
    // stays the entry the run reads.
    const QString data = txtQOFData->text();
    for (int i = 0; i < lstQOFFiles->count(); ++i) {
        QListWidgetItem *it = lstQOFFiles->item(i);
        const bool missing = !FileExists(localFileOfEntry(data, it->text()));
        it->setIcon(missing ? style()->standardIcon(QStyle::SP_MessageBoxWarning) : QIcon());
        it->setForeground(missing ? QBrush(QColor(0xa0, 0, 0)) : QBrush());
        const QString why = missing ? QStringLiteral("Missing: not found in ") + data : QString();
        it->setToolTip(why);
        it->setData(Qt::AccessibleDescriptionRole, why);
    }
}

void ProductWindow::cmdExit_Click()
{
    if (state_ == State::Running)
        return;
    hide();
    resetForNextOpening();
}

void ProductWindow::resetForNextOpening()
{
    state_ = State::Ready;
    cmdOk->setEnabled(true);
    lblLocal->show();
    lstQOFFiles->show();
    for (QWidget *w : {static_cast<QWidget *>(txtFileName), static_cast<QWidget *>(driQOF),
                       static_cast<QWidget *>(pathQOF), static_cast<QWidget *>(fileQOF)})
        w->hide();
    hideResultLists();
    lblDataTransferWarning->setText(profile_.warningText);
    lblDataTransferWarning->show();
    ProgressControlVisible(false);
}

void ProductWindow::closeEvent(QCloseEvent *event)
{
    // The title bar's close works as EXIT; during a run it asks first.
    event->ignore();
    if (state_ == State::Running) {
        if (!closeAfterRun_
            && Messages::show(TransferInputBlocker::closeQuestion(), MsgStyle::YesNo | MsgStyle::Question)
                   == MsgAnswer::Yes) {
            closeAfterRun_ = true;
            cmdCancel_Click();
        }
        return;
    }
    cmdExit_Click();
}

void ProductWindow::reject()
{
    cmdExit_Click();
}

}  // namespace tobra
