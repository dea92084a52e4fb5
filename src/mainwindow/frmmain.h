#pragma once

#include "mainwindow/mainlogic.h"
#include "support/ui/statuslist.h"

#include <QMainWindow>
#include <QPointer>
#include <QString>

#include <functional>

class QAction;
class QCheckBox;
class QFrame;
class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QMimeData;
class QDragEnterEvent;
class QDropEvent;
class QMenu;
class QProgressBar;
class QPushButton;
class QStackedWidget;
class QStatusBar;
class QTimer;

namespace tobra {

class CopyAnimation;
class FileListBox;
class FlexGrid;
class FtpClient;
class FtpError;
class ProgressDisplay;
class TransferInputBlocker;
class frmAbout;

// The main window: the technician list, the local file and its folder, the
// technician's server folder, the upload, the progress display and the
// status lines. Start-up and shutdown live in the window road
// (app/ui/windowroad.h).
class frmMain : public QMainWindow {
    Q_OBJECT
public:
    explicit frmMain(QWidget *parent = nullptr);
    ~frmMain() override;

    // What one run of the upload button did.
    enum class PutOutcome {
        Connecting,   // there was no connection: the click only connected
        NothingSent,  // empty file box, missing or empty file, or no folder
        Sent,         // the server holds the whole file
        Failed,       // the component raised an error (reported)
        Cancelled,    // the user stopped it; nothing is left under its name
    };

    // Controls, named as the window's parts are named.
    QListWidget *lsttech = nullptr;
    QLineEdit *txtTech = nullptr;
    QLineEdit *txtFileName = nullptr;
    QPushButton *cmdbrowse = nullptr;
    FileListBox *filList = nullptr;
    FlexGrid *msfSource = nullptr;
    QCheckBox *chkToggle = nullptr;
    FlexGrid *MSFDir = nullptr;
    QPushButton *cmdPut = nullptr;
    QPushButton *cmdReset = nullptr;
    QCheckBox *ckbsafety = nullptr;
    QLabel *lblWarning = nullptr;
    QLabel *lblOutcome = nullptr;       // under the warning: how the last upload ended
    QPushButton *cmdQof = nullptr;
    QPushButton *cmdQofp = nullptr;
    QPushButton *cmdQsnp = nullptr;
    QPushButton *cmdExit = nullptr;
    QLineEdit *txtURL = nullptr;
    StatusList *lstMessages = nullptr;
    QFrame *fraAnimation = nullptr;
    QProgressBar *ProgressBar1 = nullptr;
    CopyAnimation *Animation1 = nullptr;
    QLabel *lblOpening = nullptr;
    QLabel *lblFile = nullptr;
    QLabel *lblTime = nullptr;
    QLabel *lblEstimate = nullptr;
    QPushButton *cmdCancel = nullptr;   // stops the running upload
    QStatusBar *sbMain = nullptr;
    QMenu *MenuTech = nullptr;
    QAction *ToggleItem = nullptr;
    QMenu *HelpMenu = nullptr;
    QAction *HelpMenuItem = nullptr;
    FtpClient *FTP1 = nullptr;
    FtpClient *FTP2 = nullptr;  // never connected
    ProgressDisplay *progress = nullptr;

    // Text of a status-bar panel by key: "general", "ftpconnection",
    // "netconnection".
    QString panelText(const QString &key) const;
    void setPanelText(const QString &key, const QString &text);

    // Connecting and the component's events.
    void FtpConnect();
    void FtpDisconnect();
    void AddStatusMessage(const QString &msg);
    void RefreshRemoteList();
    void ProgressControlVisible(bool Torf);

    // Local file selection.
    bool LoadFileGrid(FlexGrid *MsfGrid, const QString &DirPath);
    void SelectFileInGrid(const QString &TheFile);
    void UpdatePutButton();
    // True when the file box names an existing regular file.
    bool fileBoxNamesFile() const;
    int selectedLocalCount() const { return selectedLocalCount_; }
    // The folder the local views show.
    QString localViewFolder() const;

    // Remote folder grid.
    void LoadFTPGrid(FlexGrid *MsfGrid, FtpClient *FTPControl);
    void SetupGrid(FlexGrid *MsfGrid);

    // Upload.
    PutOutcome cmdPut_Click();
    void ChangeUploads();
    // Error number of the last failed upload (0 when none).
    int lastPutError() const { return lastPutError_; }

    // Technicians and options.
    void AddTechs();
    // The pick of the highlighted technician: code box, folder, caption,
    // remote grid. Runs on a click, Enter or Space, and (through
    // lsttech_SelectionChanged) on every other change of the highlight.
    void lsttech_Click();
    // The code box, folder and caption follow the highlight at once; the
    // listing follows once the highlight rests, the newest pick winning.
    void lsttech_SelectionChanged();
    // True while a pick waits for its listing.
    bool techPickPending() const;
    void cmdReset_Click();
    void ckbsafety_Click();
    void ToggleItem_Click();
    void HelpMenuItem_Click();
    void cmdbrowse_Click();
    // Puts a chosen (browsed or dropped) file into the file box and shows
    // its folder; false, with a message, when it is not a readable file.
    bool useChosenFile(const QString &chosen);
    // The one local file of a drop, or "".
    static QString droppedFile(const QMimeData *data);
    void filList_Click(QListWidgetItem *item);
    void msfSource_Click();
    void MSFDir_Click();
    void chkToggle_Click();
    void cmdExit_Click();
    void productButton_Click(int product);
    QPointer<frmAbout> aboutBox() const { return about_; }

    // The open-file dialog: given the initial folder (may be empty) and the
    // preset name, returns the chosen file or an empty text. Tests replace it.
    std::function<QString(QWidget *, const QString &, const QString &)> openFileDialog;
    // Run once when the window is unloaded (closed), before it goes.
    std::function<void()> onUnload;
    // Sets the caption that shows while no transfer runs.
    void setRestingCaption(const QString &caption);

    // True while a server operation runs; the window then refuses to close
    // and ignores clicks that would start another one.
    bool isBusy() const { return busy_ > 0; }

signals:
    void unloaded();

protected:
    void closeEvent(QCloseEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    class BusyScope;
    void buildControls();
    void buildLayout();
    void buildMenus();
    void connectEvents();
    void reportFtpError(const FtpError &e);
    PutOutcome sendFile(const QString &file, const QString &code);
    // The status bar's resting line: "Ready", or what to choose.
    void showReady();
    // The line under the warning; empty hides it.
    void showOutcome(const QString &line);
    // The last server operation has ended: a close asked for meanwhile
    // happens now, and typing held during the wait reaches its field.
    void becameIdle();
    // Enter or Space on the grid's or the list's current row.
    void chooseCurrentLocalRow(bool grid);
    void showColumnTitles(FlexGrid *grid);
    void setPointerHourglass();
    void setPointerDefault();
    void fillRemoteGrid(FlexGrid *grid, const QList<RemoteRow> &rows);
    void clearGrid(FlexGrid *grid);
    void selectLocalName(const QString &name, bool announce);
    void OnConnectionStateChanged(int state);
    void OnDirectoryChanged(const QString &path);
    void OnTransferStarting(const QString &localFile);
    void OnTransferProgress(qint64 bytesDone, qint64 totalBytes);
    void OnTransferComplete(const QString &remoteFile, const QString &localFile, bool download);
    void OnTransferCancelled(const QString &remoteFile, const QString &localFile, bool download);

    QPointer<frmAbout> about_;
    TransferInputBlocker *blocker_ = nullptr;
    QStackedWidget *noticeStack_ = nullptr;   // the warning, or the progress frame
    QWidget *noticePage_ = nullptr;           // the warning and the last outcome
    // Shows the folder the next upload goes to in the caption and the
    // "ftpconnection" panel.
    void showUploadTarget(const QString &code);
    // Lists the technician's folder into the remote grid again.
    void relistTechFolder(const QString &code);
    // The connection-lost question was asked during the running upload.
    bool lostAsked_ = false;
    // "Upload of X complete", kept for the notice shown once the grid is listed.
    QString completeLine_;
    // The window was closed while busy: it closes when the wait ends.
    bool closeWhenIdle_ = false;
    QString restingCaption_;
    QString msfSourceFolder_;
    QString pickedCode_;
    bool pickDone_ = false;
    void connectTechList();
    void runPendingTechPick();
    void showPickedTech(const QString &code);
    QTimer *techPick_ = nullptr;   // the pick waiting for its listing
    QObject *techPress_ = nullptr; // whether a mouse button is down on the list
    int selectedLocalCount_ = 0;
    int lastPutError_ = 0;
    int busy_ = 0;
    bool unloadedOnce_ = false;
};

}  // namespace tobra
