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
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

namespace tobra {

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

void frmMain::lsttech_Click()
{
    if (isBusy())
        return;
    const QList<QListWidgetItem *> picked = lsttech->selectedItems();
    if (picked.isEmpty())
        return;
    txtTech->setText(picked.first()->text().trimmed());
    pickedCode_ = txtTech->text();
    pickDone_ = true;
    UpdatePutButton();
    clearGrid(MSFDir);
    LoadFTPGrid(MSFDir, FTP1);
    clearGrid(msfSource);
    LoadFileGrid(msfSource, localViewFolder());
    SetupGrid(MSFDir);
    SetupGrid(msfSource);
    SelectFileInGrid(txtFileName->text());
    lsttech->setVisible(true);
    cmdReset->setEnabled(true);
    ChangeUploads();
    // The next upload goes to this code's folder, made if it is missing.
    showUploadTarget(pickedCode_);
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
