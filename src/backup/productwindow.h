#pragma once

#include "backup/productprofile.h"

#include <QDialog>

class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QPushButton;
class QStatusBar;

namespace tobra {

class BackupRun;
class CopyAnimation;
class FlexGrid;
class FtpClient;
class HiddenText;
class ProgressDisplay;
class StatusList;
class TransferInputBlocker;

// One backup window: frmQof, frmQofp or frmQsnp, as its profile says. It
// reads the company, the data folder and the file list through its tags,
// opens the company folder inside /uploads on the maker's server and on Ok
// sends every listed file there: a BackupRun (backuprun.h) sends them, the
// window shows what it reports.
class ProductWindow : public QDialog {
    Q_OBJECT
public:
    enum class State { Ready, Running, Done };

    explicit ProductWindow(Product product, QWidget *parent = nullptr);
    ~ProductWindow() override;

    const ProductProfile &profile() const { return profile_; }
    State state() const { return state_; }
    FtpClient &ftp() { return *ftp_; }
    // What the last run did with each file.
    const RunRecord &lastRun() const { return record_; }

    // Prepares the window for its first opening; false when the product is
    // not installed (the user was told and the window stays hidden).
    bool Form_Load();
    // The same for every later opening.
    bool Form_Activate();
    // Load on first use, Activate afterwards; then shows the window, modal
    // (returns when it is closed) or not. False when not installed.
    bool openWindow(bool modal);

    void ReadTagSettings();
    QString ReturnAlphaNumbersOnly(const QLineEdit *TextField) const;
    void FtpConnect();
    void FtpDisconnect();
    void ftpLoadGrid();
    void InitGrid();
    bool RemoteFolderExists(const QString &name);
    void RefreshRemoteList();
    void AddStatusMessage(const QString &message);
    void ProgressControlVisible(bool Torf);

    // Sends the listed files (a BackupRun) and shows what became of them.
    void cmdOk_Click();
    void cmdExit_Click();
    void cmdCancel_Click();

protected:
    void closeEvent(QCloseEvent *event) override;
    void reject() override;

private:
    void buildControls();
    void connectFtp();
    bool prepare();
    // Opens the company folder unless it is the current one; its server path
    // or "" (with the reason) when it cannot be opened.
    QString ensureCompanyFolder(QString *why);
    QString openCompanyFolder();
    // The window shows what the run reports.
    void connectRun(BackupRun &run);
    void showResult();
    // Marks the rows of the file list whose file is not in the data folder.
    void markMissingEntries();
    // The result's two lists and their headings, hidden.
    void hideResultLists();
    // The names the server grid lists.
    QStringList gridNames() const;
    void resetForNextOpening();
    void setPanelText(const QString &key, const QString &text);

    const ProductProfile &profile_;
    State state_ = State::Ready;
    bool loaded_ = false;
    // The run in progress, or null.
    BackupRun *run_ = nullptr;
    // Clock reading when the run's first file started; -1 before.
    qint64 runStartMs_ = -1;
    // The "File n of m" shown last.
    QString shownCount_;
    // The window was closed during the run and the user agreed to cancel.
    bool closeAfterRun_ = false;
    RunRecord record_;
    // Server path of the company folder while it is the current folder.
    QString companyFolder_;

    FtpClient *ftp_ = nullptr;
    ProgressDisplay *progress_ = nullptr;
    TransferInputBlocker *blocker_ = nullptr;

    QLineEdit *txtCompany = nullptr;
    QLineEdit *txtQOFData = nullptr;
    QListWidget *lstQOFFiles = nullptr;
    HiddenText *txtFileName = nullptr;
    QComboBox *driQOF = nullptr;
    QListWidget *pathQOF = nullptr;
    QListWidget *fileQOF = nullptr;
    FlexGrid *MSFDir = nullptr;
    QPushButton *cmdOk = nullptr;
    QPushButton *cmdGet = nullptr;
    QPushButton *cmdClose = nullptr;  // cmdExit or cmdReturn
    QPushButton *cmdCancel = nullptr; // stops the run
    StatusList *lstMessages = nullptr;
    StatusList *lstMessage = nullptr;
    QLabel *lblLocal = nullptr;
    QLabel *lblFTP = nullptr;
    QLabel *lblDataTransferWarning = nullptr;
    CopyAnimation *Animation1 = nullptr;
    QProgressBar *ProgressBar1 = nullptr;
    QLabel *lblOpening = nullptr;
    QLabel *lblFile = nullptr;
    QLabel *lblTime = nullptr;
    QLabel *lblEstimate = nullptr;
    QStatusBar *sbMain = nullptr;
    QListWidget *lstMissingFiles = nullptr;
    QLabel *lblMissingHeading = nullptr;
    QListWidget *lstNotSent = nullptr;       // apart from the missing files
    QLabel *lblNotSentHeading = nullptr;
    QLabel *lblTransferCompletion = nullptr;
    StatusList *List1 = nullptr;
    QLabel *Label1 = nullptr;
};

// The shared window of a product, or null before its first use (tests).
ProductWindow *existingProductWindow(Product product);

}  // namespace tobra
