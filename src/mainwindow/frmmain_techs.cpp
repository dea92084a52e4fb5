// The main window's technician list, Reset, Safety, the menus and the about
// box.
#include "mainwindow/frmmain.h"

#include "ftp/ftpclient.h"
#include "mainwindow/filelistbox.h"
#include "mainwindow/frmabout.h"
#include "support/globals.h"
#include "support/inifile.h"
#include "support/modcommon.h"
#include "support/modopsys.h"
#include "support/platform.h"
#include "support/ui/msfgrid.h"

#include <QCheckBox>
#include <QDir>
#include <QEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>

namespace tobra {

namespace {

// How long the highlight rests before its folder is listed: held arrow
// keys repeat faster, so they move the highlight and list one folder.
constexpr int kPickSettleMs = 100;
// How often a pick that had to wait looks again.
constexpr int kPickRetryMs = 30;

// Knows whether a mouse button is down on the technician list: a press on
// one row and a release on another moves the highlight, and no listing may
// start before the release (it would swallow the release).
class PressWatch : public QObject {
public:
    using QObject::QObject;
    bool down = false;
    bool eventFilter(QObject *, QEvent *event) override
    {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
            down = true;
            break;
        case QEvent::MouseButtonRelease:
        case QEvent::FocusOut:
        case QEvent::Hide:
            down = false;
            break;
        default:
            break;
        }
        return false;
    }
};

}  // namespace

void frmMain::connectTechList()
{
    techPick_ = new QTimer(this);
    techPick_->setSingleShot(true);
    connect(techPick_, &QTimer::timeout, this, &frmMain::runPendingTechPick);
    connect(lsttech, &QListWidget::itemClicked, this, [this] { lsttech_Click(); });
    connect(lsttech, &QListWidget::itemSelectionChanged, this, &frmMain::lsttech_SelectionChanged);
    techPress_ = new PressWatch(lsttech);
    lsttech->viewport()->installEventFilter(techPress_);
}

void frmMain::AddTechs()
{
    const QString path = quillonIniPath(GetSystemDir(), [](const QString &p) {
        const QString fs = toFileSystemPath(p);
        // A drive-letter path is relative on systems without drives; it
        // must not be looked up in whatever the current folder is.
        if (QDir::isRelativePath(fs))
            return false;
        return platform().fileExists(fs);
    });
    QString code;
    if (!path.isEmpty())
        code = ReadIni(path, QStringLiteral("CUSTLOG"), QStringLiteral("CODE"), QStringLiteral("*"));
    lsttech->addItems(technicianCodes(path.isEmpty() ? nullptr : &code));
}

void frmMain::showPickedTech(const QString &code)
{
    txtTech->setText(code);
    pickedCode_ = txtTech->text();
    pickDone_ = true;
    UpdatePutButton();
    cmdReset->setEnabled(true);
    // No file of the technician highlighted before stays in view.
    clearGrid(MSFDir);
    showUploadTarget(pickedCode_);
}

void frmMain::lsttech_Click()
{
    if (isBusy())
        return;
    const QList<QListWidgetItem *> picked = lsttech->selectedItems();
    if (picked.isEmpty())
        return;
    // This pick is the newest: one still waiting is done by it.
    techPick_->stop();
    showPickedTech(picked.first()->text().trimmed());
    LoadFTPGrid(MSFDir, FTP1);
    clearGrid(msfSource);
    LoadFileGrid(msfSource, localViewFolder());
    SetupGrid(MSFDir);
    SetupGrid(msfSource);
    SelectFileInGrid(txtFileName->text());
    lsttech->setVisible(true);
    ChangeUploads();
    // The next upload goes to this code's folder, made if it is missing.
    showUploadTarget(pickedCode_);
}

void frmMain::lsttech_SelectionChanged()
{
    const QList<QListWidgetItem *> picked = lsttech->selectedItems();
    // Reset takes the highlight away: nothing to pick.
    if (picked.isEmpty())
        return;
    showPickedTech(picked.first()->text().trimmed());
    // Key repeats restart the wait: only the row the highlight rests on
    // is listed.
    techPick_->start(kPickSettleMs);
}

bool frmMain::techPickPending() const
{
    return techPick_->isActive();
}

void frmMain::runPendingTechPick()
{
    // Not inside another operation, and not while the highlight is still
    // being dragged.
    if (isBusy() || static_cast<PressWatch *>(techPress_)->down) {
        techPick_->start(kPickRetryMs);
        return;
    }
    lsttech_Click();
}

void frmMain::cmdReset_Click()
{
    if (isBusy())
        return;
    selectedLocalCount_ = 0;
    lsttech->setVisible(true);
    cmdPut->setEnabled(false);
    cmdReset->setEnabled(false);
    lsttech->setCurrentRow(-1);
    lsttech->clearSelection();
    pickDone_ = false;
    pickedCode_.clear();
    txtTech->setText(QString());
    clearGrid(MSFDir);
}

void frmMain::ckbsafety_Click()
{
    program().SafetyOn = ckbsafety->checkState() == Qt::Checked;
}

void frmMain::ToggleItem_Click()
{
    lsttech->setVisible(true);
}

void frmMain::HelpMenuItem_Click()
{
    if (!about_)
        about_ = new frmAbout(this);
    about_->show();
    about_->raise();
    about_->activateWindow();
}

}  // namespace tobra
