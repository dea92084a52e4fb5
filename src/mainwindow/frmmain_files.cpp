// The main window's local file selection: the file box, Browse, the file
// list and the local grid, and the upload button's rule.
#include "mainwindow/frmmain.h"

#include "ftp/ftpclient.h"
#include "mainwindow/filelistbox.h"
#include "support/errorhandler.h"
#include "support/globals.h"
#include "support/messages.h"
#include "support/modcommon.h"
#include "support/ui/lstcontrol.h"
#include "support/ui/msfgrid.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

namespace tobra {

bool frmMain::LoadFileGrid(FlexGrid *MsfGrid, const QString &DirPath)
{
    bool ok = false;
    const QList<LocalRow> rows = localFolderRows(DirPath, &ok);
    if (!ok) {
        Messages::show(QStringLiteral("The folder ") + DirPath + QStringLiteral(" cannot be read."),
                       MsgStyle::Exclamation);
        return false;
    }
    if (MsfGrid == msfSource)
        msfSourceFolder_ = DirPath;
    MsfGrid->setUpdatesEnabled(false);
    for (const LocalRow &r : rows) {
        msfNextRow(MsfGrid);
        const int row = MsfGrid->Row();
        const int col = MsfGrid->Col();
        MsfGrid->setTextMatrix(row, col, r.name);
        MsfGrid->setTextMatrix(row, col + 1, r.size);
        MsfGrid->setTextMatrix(row, col + 2, r.date);
        MsfGrid->setTextMatrix(row, col + 3, r.version);
    }
    // The walk leaves the last row current; it is not a choice of the user,
    // so it is not shown as one.
    MsfGrid->clearSelection();
    MsfGrid->setUpdatesEnabled(true);
    MsfGrid->scrollToTop();
    return true;
}

QString frmMain::localViewFolder() const
{
    const QString dir = FTP1->LocalDirectory();
    return dir.trimmed().isEmpty() ? filList->Path() : dir;
}

void frmMain::selectLocalName(const QString &name, bool announce)
{
    const int i = findNameIndex(filList->names(), name);
    if (i < 0)
        return;
    QListWidgetItem *it = filList->item(i);
    it->setSelected(true);
    if (announce)
        filList_Click(it);
}

void frmMain::cmdbrowse_Click()
{
    if (isBusy())
        return;
    const QString before = txtFileName->text();
    QString initialFolder;
    QString preset;
    if (!before.isEmpty()) {
        const QString folder = localFolderOf(before);
        if (FolderExists(folder))
            initialFolder = folder;
        preset = localFileNameOf(before);
    }
    const QString chosen = openFileDialog ? openFileDialog(this, initialFolder, preset) : QString();
    if (chosen.isEmpty()) {
        txtFileName->setText(before);
        return;
    }
    useChosenFile(chosen);
}

bool frmMain::useChosenFile(const QString &chosen)
{
    const QFileInfo fi(toFileSystemPath(chosen));
    if (!fi.isFile() || fi.isHidden()) {
        Messages::show(QStringLiteral("Error:  ") + chosen + QStringLiteral(" does not exist. Please choose a file."),
                       MsgStyle::Exclamation);
        return false;
    }
    const QString folder = localFolderOf(chosen);
    clearGrid(msfSource);
    LoadFileGrid(msfSource, folder);
    filList->setPattern(QStringLiteral("*.*"));
    QString local = folder;
    CkRSlash(local);
    FTP1->setLocalDirectory(local);
    filList->setPath(FTP1->LocalDirectory());
    selectLocalName(localFileNameOf(chosen), false);
    txtFileName->setText(chosen);
    // The same file as before is a choice too, though the text stays.
    UpdatePutButton();
    return true;
}

void frmMain::filList_Click(QListWidgetItem *item)
{
    if (!item)
        return;
    txtFileName->setText(joinLocal(filList->Path().trimmed(), item->text().trimmed()));
    UpdatePutButton();
}

void frmMain::msfSource_Click()
{
    if (msfSource->Rows() < 2)
        return;
    msfSource->setCol(0);
    if (msfSource->Row() < msfSource->FixedRows())
        return;
    const QString name = msfSource->Text();
    // The grid's own folder: the component's may not be set yet when the
    // server could not be reached.
    const QString folder = msfSourceFolder_.isEmpty() ? localViewFolder() : msfSourceFolder_;
    txtFileName->setText(joinLocal(folder, name));
    lstUnSelectAll(filList);
    selectLocalName(name, false);
    UpdatePutButton();
}

void frmMain::chooseCurrentLocalRow(bool grid)
{
    if (isBusy())
        return;
    if (grid) {
        const int row = msfSource->currentRow();
        if (row < msfSource->FixedRows())
            return;
        msfSource->setRow(row);
        msfSource_Click();
    } else if (QListWidgetItem *item = filList->currentItem()) {
        item->setSelected(true);
        filList_Click(item);
    }
}

void frmMain::MSFDir_Click()
{
    MSFDir->setCol(0);
    if (MSFDir->Row() < MSFDir->FixedRows())
        return;
    // A name from the server is text; only a plain name may pick a file of
    // the folder shown.
    const QString name = MSFDir->Text();
    if (!isPlainServerName(name))
        return;
    const QString folder = localViewFolder();
    // Names on the server are upper case; the local file keeps its own case.
    txtFileName->setText(joinLocal(folder, storedLocalName(toFileSystemPath(folder), name)));
    UpdatePutButton();
}

void frmMain::chkToggle_Click()
{
    const bool grid = chkToggle->isChecked();
    msfSource->setVisible(grid);
    filList->setVisible(!grid);
}

bool frmMain::fileBoxNamesFile() const
{
    const QString box = txtFileName->text().trimmed();
    return !box.isEmpty() && QFileInfo(toFileSystemPath(box)).isFile();
}

void frmMain::showReady()
{
    setPanelText(QStringLiteral("general"), restingStatusText(fileBoxNamesFile()));
}

void frmMain::UpdatePutButton()
{
    // A busy window keeps its own line ("Connecting to ...").
    if (!isBusy()) {
        const QString now = panelText(QStringLiteral("general"));
        if (now == restingStatusText(true) || now == restingStatusText(false))
            showReady();
    }
    if (txtTech->text().trimmed().isEmpty() || isBusy()) {
        cmdPut->setEnabled(false);
        return;
    }
    selectedLocalCount_ = LstCountSelected(filList);
    cmdPut->setEnabled(putButtonRule(txtTech->text(), !lsttech->selectedItems().isEmpty(), fileBoxNamesFile()));
}

void frmMain::SelectFileInGrid(const QString &TheFile)
{
    if (TheFile.trimmed().isEmpty())
        return;
    if (FileExists(TheFile)) {
        filList->setFileName(TheFile);
        filList->setPattern(QStringLiteral("*.*"));
    } else if (program().SafetyOn) {
        Messages::show(QStringLiteral("file ") + TheFile + QStringLiteral(" does not exist."), MsgStyle::Exclamation);
    } else {
        filList->setPattern(QStringLiteral("*.*"));
    }
}

}  // namespace tobra
