// Renders the main window (a technician picked, the server folder listed,
// and during an upload), the about box and a product backup window before and after its run to PNG
// files, against a local test server it starts.
//   render_pictures OUTPUT_DIR
// Run with QT_QPA_PLATFORM=offscreen; QT_SCALE_FACTOR=1.5 shows 144 dpi.
#include "app/cmdline.h"
#include "app/ui/windowroad.h"
#include "backup/productwindow.h"
#include "ftp/ftpclient.h"
#include "harness/testftpserver.h"
#include "mainwindow/frmabout.h"
#include "mainwindow/frmmain.h"
#include "support/messages.h"
#include "support/ui/lstcontrol.h"
#include "support/ui/msfgrid.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QTemporaryDir>

#include <cstdio>

using namespace tobra;

namespace {

bool writeFile(const QString &path, qint64 size, const QDateTime &when = QDateTime())
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(QByteArray(size, 'x')) != size)
        return false;
    // The time goes on last: a later flush would stamp the file with now.
    if (!f.flush())
        return false;
    if (when.isValid())
        f.setFileTime(when, QFileDevice::FileModificationTime);
    return true;
}

bool save(QWidget *w, const QString &path)
{
    QApplication::processEvents();
    const QPixmap pm = w->grab();
    if (pm.isNull() || !pm.save(path)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s (%dx%d)\n", qPrintable(path), pm.width(), pm.height());
    return true;
}

}  // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: render_pictures OUTPUT_DIR\n");
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(out);

    QTemporaryDir ini, sys, work;
    qputenv("TOBRA_WINDIR", ini.path().toLocal8Bit());
    qputenv("TOBRA_SYSDIR", sys.path().toLocal8Bit());
    auto face = std::make_shared<ScriptedFace>();
    Messages::setFace(face);

    test::TestFtpServer server;
    if (!server.start()) {
        std::fprintf(stderr, "the local FTP server did not start: %s\n", qPrintable(server.lastError()));
        return 1;
    }
    const QDateTime day(QDate(2025, 3, 14), QTime(9, 30));
    const QString t3 = server.root() + "/uploads/T3/";
    writeFile(t3 + "APPRAISAL-0412.ZIP", 482133, day);
    writeFile(t3 + "QOFDATA.MDB", 1843200, day.addDays(2));
    writeFile(t3 + "SCREENSHOT.PNG", 91422, day.addDays(5));
    writeFile(t3 + "ERRORLOG.TXT", 2211, day.addDays(5).addSecs(3600));

    const QString local = work.filePath("Appraisals");
    writeFile(local + "/appraisal-0412.zip", 482133, day);
    writeFile(local + "/appraisal-0415.zip", 517004, day.addDays(1));
    writeFile(local + "/comps-march.xls", 40960, day.addDays(3));
    writeFile(local + "/errorlog.txt", 2211, day.addDays(5));
    writeFile(local + "/photo-front.jpg", 1203331, day.addDays(4));

    QFile chat(ini.filePath("CHAT.INI"));
    chat.open(QIODevice::WriteOnly);
    chat.write("[PREFERENCES]\r\nURL=" + server.host().toUtf8() + "\r\n");
    chat.close();
    QFile quillon(sys.filePath("quillon.ini"));
    quillon.open(QIODevice::WriteOnly);
    quillon.write("[CUSTLOG]\r\nCODE=V7ACME\r\n");
    quillon.close();

    frmMain w;
    FormLoad(w, parseCommandLine({}));
    w.txtFileName->setText(local + "/appraisal-0415.zip");
    w.resize(w.sizeHint().expandedTo(QSize(qRound(900 * 1.0), 0)));
    w.show();
    lstSelectMatching(w.lsttech, "T3", false);
    w.lsttech_Click();
    w.txtFileName->setText(local + "/appraisal-0415.zip");
    msfHome(w.MSFDir);
    bool ok = save(&w, QDir(out).filePath("main-window.png"));

    // During an upload: the progress frame in the warning's place.
    writeFile(local + "/site-photos.zip", qint64(512) << 20, day.addDays(6));
    w.lsttech_Click();
    w.txtFileName->setText(local + "/site-photos.zip");
    bool grabbed = false;
    QObject::connect(w.FTP1, &FtpClient::TransferProgress, &w,
                     [&](const QString &, const QString &, qint64, qint64 done, qint64 total, bool *) {
                         if (!grabbed && done > total / 3 && done < total) {
                             grabbed = true;
                             ok = save(&w, QDir(out).filePath("main-uploading.png")) && ok;
                         }
                     });
    w.cmdPut_Click();
    ok = ok && grabbed;

    w.HelpMenuItem->trigger();
    if (frmAbout *about = w.aboutBox()) {
        about->adjustSize();
        ok = save(about, QDir(out).filePath("about-box.png")) && ok;
        about->close();
    }
    // A Quillon Office backup of three files.
    qputenv("TOBRA_MAKER_HOST", server.host().toUtf8());
    const QString data = work.filePath("qof");
    writeFile(data + "/QOFDATA.MDB", 1843200, day);
    writeFile(data + "/CLIENTS.DBF", 73216, day);
    writeFile(data + "/COMPS.DBF", 412004, day);
    QFile qof(ini.filePath("qof.ini"));
    qof.open(QIODevice::WriteOnly);
    qof.write("[company name]\r\ncompany=Acme Realty, Inc.\r\n[directories]\r\ndatadir=" + data.toUtf8() + "\r\n");
    qof.close();
    QFile get(ini.filePath("get.INI"));
    get.open(QIODevice::WriteOnly);
    get.write("[QofFILES]\r\nFILE1=QOFDATA.MDB\r\nFILE2=CLIENTS.DBF\r\nFILE3=COMPS.DBF\r\n");
    get.close();
    ProductWindow backup(Product::Qof);
    if (backup.Form_Load()) {
        backup.show();
        ok = save(&backup, QDir(out).filePath("backup-ready.png")) && ok;
        backup.cmdOk_Click();
        ok = save(&backup, QDir(out).filePath("backup-done.png")) && ok;
        backup.FtpDisconnect();
    } else {
        ok = false;
    }

    w.FtpDisconnect();
    server.stop();
    return ok ? 0 : 1;
}
