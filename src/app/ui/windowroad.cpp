#include "app/ui/windowroad.h"

#include "mainwindow/lastfolder.h"

#include "app/exitcodes.h"
#include "ftp/ftpclient.h"
#include "mainwindow/filelistbox.h"
#include "mainwindow/frmmain.h"
#include "mainwindow/lastfolder.h"
#include "mainwindow/mainlogic.h"
#include "support/globals.h"
#include "support/messages.h"
#include "support/modcommon.h"
#include "support/modopsys.h"
#include "support/platform.h"
#include "support/tagini.h"
#include "support/ui/lstcontrol.h"
#include "support/ui/msfgrid.h"
#include "support/ui/tagwidgets.h"

#include <QApplication>
#include <QCheckBox>
#include <QFontMetrics>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>

#include <cstdio>

namespace tobra {

namespace {

// The server address as read at start-up; the unload writes the box back
// only when the user changed it.
const char kUrlAsRead[] = "tobraUrlAsRead";

int exitStatusFor(frmMain::PutOutcome outcome, int errorNumber)
{
    switch (outcome) {
    case frmMain::PutOutcome::Sent: return ExitOk;
    case frmMain::PutOutcome::Connecting: return ExitNoConnection;
    case frmMain::PutOutcome::NothingSent: return ExitFileMissing;
    case frmMain::PutOutcome::Failed: return errorNumber == kErrCannotConnect ? ExitNoConnection : ExitTransferFailed;
    case frmMain::PutOutcome::Cancelled: return ExitCancelled;
    }
    return ExitTransferFailed;
}

int indexOfCode(const QListWidget *list, const QString &code)
{
    const QString want = code.trimmed().toUpper();
    for (int i = 0; i < list->count(); ++i)
        if (list->item(i)->text().trimmed().toUpper() == want)
            return i;
    return -1;
}

}  // namespace

QString noDisplayText()
{
    return QStringLiteral(
        "Tobra: the main window needs a display, and none is available. To upload without a window, give a code "
        "and a file without /B, for example: tobra T3 /path/to/report.zip");
}

LoadResult FormLoad(frmMain &w, const CommandLine &cl, bool headless)
{
    w.onUnload = [&w] { FormUnload(w); };

    // Safety from the command line, as the Safety box shows it.
    program().SafetyOn = cl.safety;
    w.ckbsafety->setChecked(cl.safety);

    w.AddTechs();
    w.txtTech->setText(cl.tech);
    w.txtFileName->setText(cl.file);
    // Without a file word the box starts where the user last sent from
    // (Linux), not in the settings folder.
    w.txtFileName->setText(
        startFileBox(w.txtFileName->text(), cl.file.trimmed().isEmpty() ? defaultStartFolder(IniFolder()) : IniFolder()));

    QString programFolder = platform().programDirectory();
    CkRSlash(programFolder);
    const QString fileBox = w.txtFileName->text().trimmed();
    w.filList->setPath(startFolderFor(fileBox, programFolder));
    w.filList->setPattern(QStringLiteral("*.*"));
    w.LoadFileGrid(w.msfSource, w.filList->Path());
    w.SetupGrid(w.msfSource);

    TagReadTag(w.txtURL);
    w.txtURL->setProperty(kUrlAsRead, w.txtURL->text());

    const bool accepted = IsLegit(cl.tech);
    if (accepted) {
        // A code that is not in the list, or a file that is not in the
        // folder, must not send T1's folder or some other file: the window
        // then stays open with both fields as given.
        const int techRow = indexOfCode(w.lsttech, cl.tech);
        const QString fileName = localFileNameOf(fileBox);
        if (techRow >= 0) {
            lstSelectMatching(w.lsttech, cl.tech, false);
            const int fileRow = findNameIndex(w.filList->names(), fileName);
            if (fileRow >= 0) {
                QListWidgetItem *it = w.filList->item(fileRow);
                it->setSelected(true);
                w.filList_Click(it);
                w.FtpConnect();
                w.UpdatePutButton();
                if (w.cmdPut->isEnabled()) {
                    frmMain::PutOutcome outcome = frmMain::PutOutcome::Connecting;
                    // Without a connection the click would only try to
                    // connect again and send nothing.
                    if (w.FTP1->Connected())
                        outcome = w.cmdPut_Click();
                    const int status = exitStatusFor(outcome, w.lastPutError());
                    w.FtpDisconnect();
                    return {LoadResult::Ended, status};
                }
            } else {
                w.UpdatePutButton();
            }
        } else {
            w.cmdPut->setEnabled(false);
        }
    } else {
        w.cmdPut->setEnabled(false);
    }

    if (headless)
        return {LoadResult::NeedsUser, ExitNoDisplay};

    w.setRestingCaption(versionCaption(programTitle(), TOBRA_VERSION_MAJOR, TOBRA_VERSION_MINOR, TOBRA_VERSION_PATCH));
    // The window first: the connect runs once the event loop has shown it,
    // saying so in the status bar, and can be stopped.
    QTimer::singleShot(0, &w, [&w] {
        if (!w.isBusy() && !w.FTP1->Connected())
            w.FtpConnect();
    });
    return {LoadResult::Waiting, ExitOk};
}

void FormUnload(frmMain &w)
{
    if (w.txtURL->text() != w.txtURL->property(kUrlAsRead).toString())
        TagWriteTag(w.txtURL);
    w.FtpDisconnect();
}

int runWindowRoad(const CommandLine &cl)
{
    const bool headless = QGuiApplication::platformName() == QLatin1String("offscreen");
    frmMain w;
    // The layout's minimum is cramped for the grids; open roomy, in units
    // of the font so it scales with the screen's resolution.
    const QFontMetrics fm = w.fontMetrics();
    w.resize(w.sizeHint().expandedTo(QSize(fm.averageCharWidth() * 130, fm.height() * 48)));
    // Shown before anything can wait on the server, so every message of the
    // start-up (and the automatic upload's progress) stands over it.
    if (!headless) {
        w.show();
        QCoreApplication::processEvents();
    }
    const LoadResult r = FormLoad(w, cl, headless);
    if (r.outcome == LoadResult::Ended)
        return r.exitStatus;
    if (r.outcome == LoadResult::NeedsUser) {
        w.FtpDisconnect();
        const QByteArray text = noDisplayText().toLocal8Bit() + '\n';
        std::fwrite(text.constData(), 1, size_t(text.size()), stderr);
        return ExitNoDisplay;
    }
    QObject::connect(&w, &frmMain::unloaded, qApp, [] { QCoreApplication::quit(); }, Qt::QueuedConnection);
    QApplication::exec();
    return ExitOk;
}

}  // namespace tobra
