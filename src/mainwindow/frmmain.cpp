#include "mainwindow/frmmain.h"

#include "backup/productwindows.h"
#include "ftp/ftpclient.h"
#include "ftp/ui/copyanimation.h"
#include "ftp/ui/progressdisplay.h"
#include "mainwindow/filelistbox.h"
#include "mainwindow/frmabout.h"
#include "mainwindow/frmmain_p.h"
#include "support/globals.h"
#include "support/messages.h"
#include "support/modcommon.h"
#include "support/ui/elidedlabel.h"
#include "support/ui/inputblocker.h"
#include "support/ui/msfgrid.h"
#include "support/ui/pacer.h"
#include "support/ui/tagwidgets.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QCloseEvent>
#include <QFileDialog>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QMimeData>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QMouseEvent>
#include <QDropEvent>
#include <QDragEnterEvent>
#include <QPainter>
#include <QStackedWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>

namespace tobra {

namespace {

// Caption-less product buttons carry a small drawn picture instead.
QIcon productIcon(const QString &letters, const QColor &colour)
{
    QPixmap pm(64, 64);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(colour.darker(160), 3));
    p.setBrush(colour);
    p.drawRoundedRect(QRectF(3, 3, 58, 58), 10, 10);
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setStyleHint(QFont::SansSerif);
    f.setBold(true);
    f.setPixelSize(letters.size() > 2 ? 20 : 26);
    p.setFont(f);
    p.setPen(Qt::white);
    p.drawText(pm.rect(), Qt::AlignCenter, letters);
    p.end();
    return QIcon(pm);
}

QLabel *makePanel(const QString &key, const QString &text, QWidget *parent)
{
    // A long folder is elided rather than widening the window.
    auto *l = new ElidedLabel(text, parent);
    // No accessible name: a screen reader reads the panel's text, and
    // follows it as it changes.
    l->setObjectName(key);
    return l;
}

}  // namespace

frmMain::frmMain(QWidget *parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(programTitle());
    restingCaption_ = programTitle();

    FTP1 = new FtpClient(this);
    FTP1->setObjectName(QStringLiteral("FTP1"));
    FTP2 = new FtpClient(this);
    FTP2->setObjectName(QStringLiteral("FTP2"));
    blocker_ = new TransferInputBlocker(*FTP1, this);
    blocker_->setWaitStoppable(true);
    FTP1->setWaitFilter(blocker_);

    buildControls();
    buildLayout();
    buildMenus();
    connectEvents();

    progress = new ProgressDisplay(this);
    // A large file reports progress many times a second; ten refreshes a
    // second are plenty.
    progress->pacer()->setInterval(100);

    openFileDialog = [](QWidget *owner, const QString &folder, const QString &preset) {
        QString start = folder;
        if (!preset.isEmpty())
            start = folder.isEmpty() ? preset : QDir(toFileSystemPath(folder)).filePath(preset);
        return QFileDialog::getOpenFileName(owner, QString(), start);
    };
}

frmMain::~frmMain()
{
    setPointerDefault();
}

void frmMain::buildControls()
{
    auto named = [](QWidget *w, const char *name) {
        w->setObjectName(QString::fromLatin1(name));
        return w;
    };

    lsttech = new QListWidget(this);
    named(lsttech, "lsttech");
    lsttech->setSelectionMode(QAbstractItemView::SingleSelection);
    lsttech->setAccessibleName(QStringLiteral("Technician"));

    txtTech = new QLineEdit(this);
    named(txtTech, "txtTech");
    txtTech->setReadOnly(true);
    txtTech->setAccessibleName(QStringLiteral("Technician code"));

    txtFileName = new QLineEdit(this);
    named(txtFileName, "txtFileName");
    txtFileName->setAccessibleName(QStringLiteral("File to send"));

    cmdbrowse = new QPushButton(QStringLiteral("&Browse..."), this);
    named(cmdbrowse, "cmdbrowse");
    cmdbrowse->setAccessibleDescription(QStringLiteral("Chooses the file to send"));

    filList = new FileListBox(this);
    named(filList, "filList");
    filList->setAccessibleName(QStringLiteral("Local files"));

    msfSource = new FlexGrid(4, this);
    named(msfSource, "msfSource");
    msfSource->setAccessibleName(QStringLiteral("Local files"));
    msfSource->setColumnTitles({QStringLiteral("File"), QStringLiteral("Size"), QStringLiteral("Date Time"),
                                QStringLiteral("Version")});

    chkToggle = new QCheckBox(QStringLiteral("&Grid"), this);
    named(chkToggle, "chkToggle");
    chkToggle->setChecked(true);
    chkToggle->setAccessibleDescription(QStringLiteral("Shows the local folder as a grid instead of a list"));

    MSFDir = new FlexGrid(3, this);
    named(MSFDir, "MSFDir");
    MSFDir->setAccessibleName(QStringLiteral("Files on the server"));
    MSFDir->setColumnTitles({QStringLiteral("File"), QStringLiteral("Size"), QStringLiteral("Date Time")});

    cmdPut = new QPushButton(QStringLiteral("&Upload"), this);
    named(cmdPut, "cmdPut");
    cmdPut->setToolTip(QStringLiteral("Send the file to the technician's folder on the server"));
    cmdPut->setEnabled(false);

    cmdReset = new QPushButton(QStringLiteral("Reset"), this);
    named(cmdReset, "cmdReset");
    cmdReset->setEnabled(false);
    cmdReset->setAccessibleDescription(QStringLiteral("Clears the technician and the server grid"));

    ckbsafety = new QCheckBox(QStringLiteral("Safety"), this);
    named(ckbsafety, "ckbsafety");
    ckbsafety->setToolTip(QStringLiteral("If 'On' - Prompts before overwriting files"));
    // Named by the box's binding but never read or written.
    setControlTag(ckbsafety, QStringLiteral("<WINDIR>CHAT.INI[PREFERENCES]GETSAFETY|0"));

    lblWarning = new QLabel(warningText(), this);
    named(lblWarning, "lblWarning");
    lblWarning->setWordWrap(true);
    QFont warnFont(QStringLiteral("Times New Roman"));
    warnFont.setStyleHint(QFont::Serif);
    warnFont.setPointSizeF(QApplication::font().pointSizeF() * 1.1);
    warnFont.setBold(true);
    lblWarning->setFont(warnFont);
    lblWarning->setStyleSheet(QStringLiteral("color: #a00000;"));

    lblOutcome = new QLabel(this);
    named(lblOutcome, "lblOutcome");
    lblOutcome->setWordWrap(true);
    QFont outcomeFont = lblOutcome->font();
    outcomeFont.setBold(true);
    lblOutcome->setFont(outcomeFont);
    lblOutcome->setVisible(false);

    const struct {
        QPushButton **button;
        const char *name;
        const char *letters;
        const char *product;
        QColor colour;
    } products[] = {
        {&cmdQof, "cmdQof", "QO", "Quillon Office", QColor(0x1f, 0x5f, 0xa8)},
        {&cmdQofp, "cmdQofp", "QO+", "Quillon Office Plus", QColor(0x2e, 0x7d, 0x32)},
        {&cmdQsnp, "cmdQsnp", "QS", "Quillon Snapfolio", QColor(0xb2, 0x5b, 0x00)},
    };
    for (const auto &p : products) {
        auto *b = new QPushButton(this);
        named(b, p.name);
        b->setIcon(productIcon(QString::fromLatin1(p.letters), p.colour));
        b->setIconSize(QSize(32, 32));
        const QString product = QString::fromLatin1(p.product);
        b->setToolTip(QStringLiteral("Back up ") + product);
        b->setAccessibleName(product);
        *p.button = b;
    }

    cmdExit = new QPushButton(QStringLiteral("E&xit"), this);
    named(cmdExit, "cmdExit");

    txtURL = new QLineEdit(this);
    named(txtURL, "txtURL");
    setControlTag(txtURL, urlTag());
    txtURL->setAccessibleName(QStringLiteral("FTP server"));

    lstMessages = new StatusList(this);
    named(lstMessages, "lstMessages");
    lstMessages->setVisible(false);

    fraAnimation = new QFrame(this);
    named(fraAnimation, "fraAnimation");
    fraAnimation->setFrameShape(QFrame::StyledPanel);
    Animation1 = new CopyAnimation(fraAnimation);
    ProgressBar1 = new QProgressBar(fraAnimation);
    named(ProgressBar1, "ProgressBar1");
    ProgressBar1->setRange(1, 100);
    ProgressBar1->setAccessibleName(QStringLiteral("Upload progress"));
    lblOpening = new QLabel(QStringLiteral("Opening:"), fraAnimation);
    named(lblOpening, "lblOpening");
    lblFile = new ElidedLabel(QStringLiteral("FILE from SERVER"), fraAnimation);
    named(lblFile, "lblFile");
    lblFile->setTextInteractionFlags(Qt::TextSelectableByMouse);
    lblTime = new QLabel(QStringLiteral("Estimated Time Left:"), fraAnimation);
    named(lblTime, "lblTime");
    lblEstimate = new QLabel(QStringLiteral("0 minute(s)"), fraAnimation);
    named(lblEstimate, "lblEstimate");
    cmdCancel = new QPushButton(QStringLiteral("Cancel"), fraAnimation);
    named(cmdCancel, "cmdCancel");
    cmdCancel->setToolTip(QStringLiteral("Stop the upload (Esc)"));
    cmdCancel->setEnabled(false);
    fraAnimation->setVisible(false);

    sbMain = new QStatusBar(this);
    named(sbMain, "sbMain");
    sbMain->setSizeGripEnabled(true);
    sbMain->addWidget(makePanel(QStringLiteral("general"), QStringLiteral("Ready"), sbMain), 2);
    sbMain->addWidget(makePanel(QStringLiteral("ftpconnection"), QStringLiteral("No FTP Connection"), sbMain), 3);
    sbMain->addWidget(makePanel(QStringLiteral("netconnection"), QStringLiteral("Not Connected"), sbMain), 1);
    setStatusBar(sbMain);
}

void frmMain::buildLayout()
{
    auto *central = new QWidget(this);
    central->setObjectName(QStringLiteral("mainArea"));
    setCentralWidget(central);

    // Technician column.
    auto *techBox = new QGroupBox(QStringLiteral("&Technician"), central);
    auto *techLayout = new QVBoxLayout(techBox);
    techLayout->addWidget(lsttech, 1);
    auto *codeLabel = new QLabel(QStringLiteral("Code:"), techBox);
    codeLabel->setBuddy(txtTech);
    techLayout->addWidget(codeLabel);
    techLayout->addWidget(txtTech);
    techLayout->addWidget(ckbsafety);
    techLayout->addWidget(cmdReset);
    const int techWidth = fontMetrics().horizontalAdvance(QStringLiteral("WWWWWWWWWWW")) + 24;
    lsttech->setMinimumWidth(techWidth);
    techBox->setMaximumWidth(techWidth + 40);
    lsttech->setMinimumHeight(fontMetrics().height() * 6);

    // The local file and its folder.
    auto *fileBox = new QGroupBox(QStringLiteral("File to send"), central);
    auto *fileLayout = new QGridLayout(fileBox);
    auto *fileLabel = new QLabel(QStringLiteral("&File:"), fileBox);
    fileLabel->setBuddy(txtFileName);
    fileLayout->addWidget(fileLabel, 0, 0);
    fileLayout->addWidget(txtFileName, 0, 1);
    fileLayout->addWidget(cmdbrowse, 0, 2);
    fileLayout->addWidget(chkToggle, 1, 0, 1, 3);
    fileLayout->addWidget(msfSource, 2, 0, 1, 3);
    fileLayout->addWidget(filList, 3, 0, 1, 3);
    fileLayout->setRowStretch(2, 1);
    fileLayout->setRowStretch(3, 1);
    fileLayout->setColumnStretch(1, 1);
    filList->setVisible(false);
    msfSource->setMinimumHeight(fontMetrics().height() * 8);

    auto *top = new QHBoxLayout;
    top->addWidget(techBox);
    top->addWidget(fileBox, 1);

    // The technician's folder on the server.
    auto *remoteBox = new QGroupBox(QStringLiteral("Files in the technician's folder on the server"), central);
    auto *remoteLayout = new QVBoxLayout(remoteBox);
    remoteLayout->addWidget(MSFDir);
    MSFDir->setMinimumHeight(fontMetrics().height() * 7);

    auto *serverRow = new QHBoxLayout;
    auto *urlLabel = new QLabel(QStringLiteral("FTP &server:"), central);
    urlLabel->setBuddy(txtURL);
    serverRow->addWidget(urlLabel);
    serverRow->addWidget(txtURL, 1);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(cmdPut);
    buttons->addSpacing(fontMetrics().horizontalAdvance(QLatin1Char('M')) * 2);
    auto *backupLabel = new QLabel(QStringLiteral("Back up:"), central);
    buttons->addWidget(backupLabel);
    buttons->addWidget(cmdQof);
    buttons->addWidget(cmdQofp);
    buttons->addWidget(cmdQsnp);
    buttons->addStretch(1);
    buttons->addWidget(cmdExit);

    // Progress: the clip on the left, file, time and bar on the right.
    auto *fraLayout = new QHBoxLayout(fraAnimation);
    fraLayout->addWidget(Animation1);
    auto *fraText = new QGridLayout;
    fraText->addWidget(lblOpening, 0, 0);
    fraText->addWidget(lblFile, 0, 1);
    fraText->addWidget(lblTime, 1, 0);
    fraText->addWidget(lblEstimate, 1, 1);
    fraText->addWidget(ProgressBar1, 2, 0, 1, 2);
    fraText->setColumnStretch(1, 1);
    fraLayout->addLayout(fraText, 1);
    fraLayout->addWidget(cmdCancel, 0, Qt::AlignBottom);

    // The progress frame takes the warning's place during a transfer, so
    // nothing below moves when it comes and goes.
    noticeStack_ = new QStackedWidget(central);
    noticePage_ = new QWidget(noticeStack_);
    auto *noticeLayout = new QVBoxLayout(noticePage_);
    noticeLayout->setContentsMargins(0, 0, 0, 0);
    noticeLayout->addWidget(lblWarning);
    noticeLayout->addWidget(lblOutcome);
    noticeStack_->addWidget(noticePage_);
    noticeStack_->addWidget(fraAnimation);
    noticeStack_->setCurrentWidget(noticePage_);

    auto *layout = new QVBoxLayout(central);
    layout->addWidget(noticeStack_);
    layout->addLayout(top, 3);
    layout->addWidget(remoteBox, 2);
    layout->addLayout(serverRow);
    layout->addLayout(buttons);
    layout->addWidget(lstMessages);

    // Tab follows the window from top to bottom, left to right; disabled
    // and hidden controls are skipped.
    const QList<QWidget *> order{lsttech, txtTech,  ckbsafety, cmdReset, txtFileName, cmdbrowse, chkToggle, msfSource,
                                 filList, MSFDir,  txtURL,    cmdPut,   cmdQof,      cmdQofp,   cmdQsnp,   cmdExit,
                                 cmdCancel};
    for (qsizetype i = 1; i < order.size(); ++i)
        setTabOrder(order.at(i - 1), order.at(i));
    setAcceptDrops(true);

    SetupGrid(msfSource);
    SetupGrid(MSFDir);
}

void frmMain::buildMenus()
{
    MenuTech = menuBar()->addMenu(QStringLiteral("Toggle"));
    MenuTech->setObjectName(QStringLiteral("MenuTech"));
    ToggleItem = MenuTech->addAction(QStringLiteral("Toggle"));
    ToggleItem->setObjectName(QStringLiteral("ToggleItem"));
    ToggleItem->setShortcut(QKeySequence(Qt::Key_F12));
    ToggleItem->setShortcutContext(Qt::WindowShortcut);
    // The item has to work through F12 even when the menu is not shown.
    addAction(ToggleItem);

    HelpMenu = menuBar()->addMenu(QStringLiteral("&Help"));
    HelpMenu->setObjectName(QStringLiteral("HelpMenu"));
    HelpMenuItem = HelpMenu->addAction(QStringLiteral("&About"));
    HelpMenuItem->setObjectName(QStringLiteral("HelpMenuItem"));
}

void frmMain::connectEvents()
{
    connectTechList();
    // Enter in the file box sends the file, as Upload would.
    connect(txtFileName, &QLineEdit::returnPressed, this, [this] {
        if (cmdPut->isEnabled())
            cmdPut_Click();
    });
    lsttech->installEventFilter(this);
    // Enter or Space on a local row chooses it, as a click does.
    msfSource->installEventFilter(this);
    filList->installEventFilter(this);
    connect(cmdReset, &QPushButton::clicked, this, &frmMain::cmdReset_Click);
    connect(ckbsafety, &QCheckBox::clicked, this, &frmMain::ckbsafety_Click);
    connect(cmdbrowse, &QPushButton::clicked, this, &frmMain::cmdbrowse_Click);
    cmdbrowse->installEventFilter(this);
    connect(cmdPut, &QPushButton::clicked, this, [this] { cmdPut_Click(); });
    cmdPut->installEventFilter(this);
    connect(filList, &QListWidget::itemClicked, this, &frmMain::filList_Click);
    connect(msfSource, &FlexGrid::Click, this, &frmMain::msfSource_Click);
    connect(MSFDir, &FlexGrid::Click, this, &frmMain::MSFDir_Click);
    connect(chkToggle, &QCheckBox::clicked, this, &frmMain::chkToggle_Click);
    connect(txtFileName, &QLineEdit::textChanged, this, &frmMain::UpdatePutButton);
    connect(ToggleItem, &QAction::triggered, this, &frmMain::ToggleItem_Click);
    connect(HelpMenuItem, &QAction::triggered, this, &frmMain::HelpMenuItem_Click);
    connect(cmdExit, &QPushButton::clicked, this, &frmMain::cmdExit_Click);
    connect(cmdQof, &QPushButton::clicked, this, [this] { productButton_Click(int(Product::Qof)); });
    connect(cmdQofp, &QPushButton::clicked, this, [this] { productButton_Click(int(Product::Qofp)); });
    connect(cmdQsnp, &QPushButton::clicked, this, [this] { productButton_Click(int(Product::Qsnp)); });

    connect(cmdCancel, &QPushButton::clicked, this, [this] { FTP1->requestCancel(); });
    blocker_->setCancelButton(cmdCancel);
    connect(FTP1, &FtpClient::ConnectionStateChanged, this, &frmMain::OnConnectionStateChanged);
    connect(FTP1, &FtpClient::StatusMessage, this, &frmMain::AddStatusMessage);
    connect(FTP1, &FtpClient::DirectoryChanged, this, &frmMain::OnDirectoryChanged);
    connect(FTP1, &FtpClient::TransferStarting, this,
            [this](const QString &localFile, const QString &, qint64, int, int) { OnTransferStarting(localFile); });
    connect(FTP1, &FtpClient::TransferProgress, this,
            [this](const QString &, const QString &, qint64, qint64 done, qint64 total, bool *) {
                OnTransferProgress(done, total);
            });
    connect(FTP1, &FtpClient::TransferComplete, this, &frmMain::OnTransferComplete);
    connect(FTP1, &FtpClient::TransferCancelled, this, &frmMain::OnTransferCancelled);
}

QString frmMain::panelText(const QString &key) const
{
    const QLabel *l = sbMain->findChild<QLabel *>(key);
    return l ? l->text() : QString();
}

void frmMain::setPanelText(const QString &key, const QString &text)
{
    if (QLabel *l = sbMain->findChild<QLabel *>(key))
        l->setText(text);
}

void frmMain::setRestingCaption(const QString &caption)
{
    restingCaption_ = caption;
    setWindowTitle(caption);
}

void frmMain::setPointerHourglass()
{
    if (!QGuiApplication::overrideCursor())
        QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
}

void frmMain::setPointerDefault()
{
    // Bounded: the program stacks at most one pointer of its own.
    for (int i = 0; i < 16 && QGuiApplication::overrideCursor(); ++i)
        QGuiApplication::restoreOverrideCursor();
}

void frmMain::showOutcome(const QString &line)
{
    lblOutcome->setText(line);
    lblOutcome->setVisible(!line.isEmpty());
}

void frmMain::becameIdle()
{
    // A wait stopped by Escape or a close is over; the next one starts afresh.
    FTP1->clearCancel();
    blocker_->replayHeldKeys();
    if (closeWhenIdle_)
        QTimer::singleShot(0, this, &QWidget::close);
}

void frmMain::closeEvent(QCloseEvent *event)
{
    // Tearing the window down under a running operation would pull the
    // connection from under it: stop it, and close when it has ended.
    // A transfer is the input blocker's to stop: it asks first.
    if (isBusy()) {
        if (!FTP1->transferRunning()) {
            closeWhenIdle_ = true;
            FTP1->requestCancel();
        }
        event->ignore();
        return;
    }
    if (!unloadedOnce_) {
        unloadedOnce_ = true;
        if (about_)
            about_->close();
        if (onUnload)
            onUnload();
        emit unloaded();
    }
    event->accept();
}

void frmMain::mousePressEvent(QMouseEvent *event)
{
    // The right button on the window's background: presses that controls
    // do not take arrive here, so ask what lies under the pointer.
    if (event->button() == Qt::RightButton) {
        QWidget *target = childAt(event->position().toPoint());
        if (!target || target == centralWidget() || qobject_cast<QGroupBox *>(target))
            lsttech->setVisible(true);
    }
    QMainWindow::mousePressEvent(event);
}

bool frmMain::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseButtonPress) {
        const auto *me = static_cast<QMouseEvent *>(event);
        // The reveal gestures of the left button: on Browse or Upload.
        if ((watched == cmdbrowse || watched == cmdPut) && me->button() == Qt::LeftButton)
            lsttech->setVisible(true);
    } else if ((watched == msfSource || watched == filList) && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space) {
            chooseCurrentLocalRow(watched == msfSource);
            return true;
        }
    } else if (watched == lsttech && event->type() == QEvent::KeyPress) {
        const auto *ke = static_cast<QKeyEvent *>(event);
        if ((ke->key() == Qt::Key_Return || ke->key() == Qt::Key_Enter || ke->key() == Qt::Key_Space)
            && lsttech->currentItem()) {
            lsttech->currentItem()->setSelected(true);
            lsttech_Click();
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void frmMain::dragEnterEvent(QDragEnterEvent *event)
{
    if (!isBusy() && !droppedFile(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void frmMain::dropEvent(QDropEvent *event)
{
    const QString file = droppedFile(event->mimeData());
    if (isBusy() || file.isEmpty())
        return;
    event->acceptProposedAction();
    useChosenFile(file);
}

QString frmMain::droppedFile(const QMimeData *data)
{
    // One local file; a folder or several files is not a choice.
    if (!data || !data->hasUrls() || data->urls().size() != 1 || !data->urls().first().isLocalFile())
        return QString();
    const QString path = data->urls().first().toLocalFile();
    return QFileInfo(path).isFile() ? path : QString();
}

void frmMain::productButton_Click(int product)
{
    if (isBusy())
        return;
    showProductWindow(Product(product), this);
}

void frmMain::cmdExit_Click()
{
    close();
}

}  // namespace tobra
