#include "app/cmdline.h"
#include "app/exitcodes.h"
#include "app/ui/windowroad.h"
#include "ftp/ftpclient.h"
#include "harness/testftpserver.h"
#include "mainwindow/filelistbox.h"
#include "mainwindow/frmmain.h"
#include "support/globals.h"
#include "support/messages.h"
#include "support/modopsys.h"
#include "support/ui/msfgrid.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

using namespace tobra;
using tobra::test::TestFtpServer;

namespace {

bool writeBytes(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

QByteArray readBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Everything a Windows editor might leave in CHAT.INI around the address.
QByteArray chatIni(const QString &host)
{
    return "; settings of the chat client\r\n[WINDOW]\r\nURL=not this one\r\n\r\n[Preferences]\r\n"
           "  Nick = ann \r\nURL = "
        + host.toUtf8() + "\r\nColour=7\r\n[LAST]\r\nX=1";
}

struct Run {
    int exitCode = -1;
    QString err;
};

// The program without a display, as a script on a server would start it.
Run runTobra(const QStringList &args, const QString &iniDir, const QString &sysDir)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("TOBRA_WINDIR", iniDir);
    env.insert("TOBRA_SYSDIR", sysDir);
    env.remove("DISPLAY");
    env.remove("WAYLAND_DISPLAY");
    env.remove("QT_QPA_PLATFORM");
    p.setProcessEnvironment(env);
    p.start(TOBRA_BINARY, args);
    Run r;
    if (!p.waitForFinished(60000)) {
        p.kill();
        p.waitForFinished(5000);
        r.err = "timed out";
        return r;
    }
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

}  // namespace

class TestWindowRoad : public QObject {
    Q_OBJECT
    QTemporaryDir ini_;
    QTemporaryDir sys_;
    QTemporaryDir local_;
    TestFtpServer server_;
    std::shared_ptr<ScriptedFace> face_;
    std::shared_ptr<MessageFace> oldFace_;

    QString chatPath() const { return ini_.filePath("CHAT.INI"); }
    QStringList serverFiles(const QString &code) const
    {
        return QDir(server_.root() + "/uploads/" + code).entryList(QDir::Files);
    }
    QStringList titles() const
    {
        QStringList out;
        for (const auto &s : face_->shown)
            out << s.title;
        return out;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(ini_.isValid() && sys_.isValid() && local_.isValid());
        qputenv("TOBRA_WINDIR", ini_.path().toLocal8Bit());
        qputenv("TOBRA_SYSDIR", sys_.path().toLocal8Bit());
        face_ = std::make_shared<ScriptedFace>();
        oldFace_ = Messages::setFace(face_);
        QVERIFY2(server_.start(), qPrintable(server_.lastError()));
        QVERIFY(writeBytes(local_.filePath("Report.zip"), QByteArray(5000, 'r')));
        QVERIFY(writeBytes(local_.filePath("Case.zip"), QByteArray(100, 'c')));
        QVERIFY(writeBytes(local_.filePath("empty.bin"), QByteArray()));
        QVERIFY(writeBytes(ini_.filePath("fromini.zip"), QByteArray(10, 'i')));
        QVERIFY(writeBytes(sys_.filePath("quillon.ini"), "[CUSTLOG]\r\nCODE=V7ACME\r\n"));
    }
    void cleanupTestCase() { Messages::setFace(oldFace_); }
    void init()
    {
        face_->shown.clear();
        QVERIFY(writeBytes(chatPath(), chatIni(server_.host())));
    }

    void waitsWithTheWindowFilled_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("tech");
        QTest::addColumn<QString>("fileBox");
        QTest::addColumn<bool>("safety");
        QTest::addColumn<bool>("picked");  // T1 picked: the button follows its rule
        const QString report = local_.filePath("Report.zip");
        QTest::newRow("nothing") << QStringList{} << "" << "<ini>" << false << false;
        QTest::newRow("safety") << QStringList{"/s"} << "" << "<ini>" << true << false;
        QTest::newRow("one word") << QStringList{report} << "" << "<ini>" << false << false;
        QTest::newRow("code not accepted") << QStringList{"Q7", report, "/B"} << "Q7" << report << false << false;
        QTest::newRow("accepted code not in the list") << QStringList{"V7XYZ", report, "/B"} << "V7XYZ" << report
                                                       << false << false;
        QTest::newRow("file not in its folder") << QStringList{"T1", local_.filePath("missing.zip"), "/B"} << "T1"
                                                << local_.filePath("missing.zip") << false << true;
    }
    void waitsWithTheWindowFilled()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, tech);
        QFETCH(QString, fileBox);
        QFETCH(bool, safety);
        QFETCH(bool, picked);
        if (fileBox == "<ini>")
            fileBox = IniFolder();
        const QStringList before = serverFiles("T1") + serverFiles("V7XYZ") + serverFiles("Q7");
        frmMain w;
        const LoadResult r = FormLoad(w, parseCommandLine(args));
        QCOMPARE(r.outcome, LoadResult::Waiting);
        QCOMPARE(w.txtTech->text(), tech);
        QCOMPARE(w.txtFileName->text(), fileBox);
        QCOMPARE(w.ckbsafety->isChecked(), safety);
        QCOMPARE(program().SafetyOn, safety);
        QCOMPARE(w.txtURL->text(), server_.host());
        QCOMPARE(w.windowTitle(), QString("Tobra - Version: " TOBRA_VERSION));
        QCOMPARE(w.lsttech->count(), 10);
        QCOMPARE(w.cmdPut->isEnabled(), picked);
        QCOMPARE(w.lsttech->selectedItems().size(), picked ? 1 : 0);
        QVERIFY(w.FTP1->Connected());
        QVERIFY(!w.msfSource->TextMatrix(1, 0).isEmpty());
        // Nothing was sent anywhere.
        QCOMPARE(serverFiles("T1") + serverFiles("V7XYZ") + serverFiles("Q7"), before);
        QVERIFY(!titles().contains("Transfer Notification"));
        if (fileBox == IniFolder()) {
            QCOMPARE(w.filList->Path() + "/", IniFolder());
            QCOMPARE(w.FTP1->LocalDirectory(), IniFolder());
            QVERIFY(w.filList->names().contains("CHAT.INI"));
        }
    }

    void automaticUploadEnds_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("remote");
        QTest::newRow("T2") << QStringList{"T2", local_.filePath("Report.zip"), "/B"} << "T2" << "REPORT.ZIP";
        QTest::newRow("lower case switches") << QStringList{"/b", "t4", local_.filePath("Report.zip")} << "T4"
                                             << "REPORT.ZIP";
        QTest::newRow("bare name from the INI folder") << QStringList{"T7", "fromini.zip", "/B"} << "T7"
                                                       << "FROMINI.ZIP";
        QTest::newRow("stored name in another case") << QStringList{"T8", local_.filePath("CASE.ZIP"), "/B"} << "T8"
                                                     << "CASE.ZIP";
        QTest::newRow("customer code") << QStringList{"V7ACME", local_.filePath("Report.zip"), "/B"} << "V7ACME"
                                       << "REPORT.ZIP";
    }
    void automaticUploadEnds()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, code);
        QFETCH(QString, remote);
        const QByteArray chatBefore = readBytes(chatPath());
        frmMain w;
        bool unloaded = false;
        connect(&w, &frmMain::unloaded, this, [&] { unloaded = true; });
        const LoadResult r = FormLoad(w, parseCommandLine(args));
        QCOMPARE(r.outcome, LoadResult::Ended);
        QCOMPARE(r.exitStatus, int(ExitOk));
        QVERIFY2(serverFiles(code).contains(remote), qPrintable(serverFiles(code).join(',')));
        QCOMPARE(titles(), QStringList({"Transfer Notification"}));
        QVERIFY(face_->shown[0].text.startsWith("Upload of "));
        QVERIFY(!w.FTP1->Connected());
        // Ending at once: no unload, so nothing is written back.
        QVERIFY(!unloaded);
        QCOMPARE(readBytes(chatPath()), chatBefore);
        QFile::remove(server_.root() + "/uploads/" + code + "/" + remote);
    }

    void automaticUploadFailures_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<bool>("serverUp");
        QTest::addColumn<int>("status");
        QTest::newRow("empty file") << QStringList{"T3", local_.filePath("empty.bin"), "/B"} << true
                                    << int(ExitFileMissing);
        QTest::newRow("server unreachable") << QStringList{"T3", local_.filePath("Report.zip"), "/B"} << false
                                            << int(ExitNoConnection);
    }
    void automaticUploadFailures()
    {
        QFETCH(QStringList, args);
        QFETCH(bool, serverUp);
        QFETCH(int, status);
        TestFtpServer gone;
        if (!serverUp) {
            QVERIFY2(gone.start(), qPrintable(gone.lastError()));
            QVERIFY(writeBytes(chatPath(), chatIni(gone.host())));
            gone.stop();
        }
        frmMain w;
        const LoadResult r = FormLoad(w, parseCommandLine(args));
        QCOMPARE(r.outcome, LoadResult::Ended);
        QCOMPARE(r.exitStatus, status);
        QVERIFY(serverFiles("T3").isEmpty());
        QVERIFY(!titles().contains("Transfer Notification"));
        if (!serverUp) {
            QVERIFY(!face_->shown.isEmpty());
            for (const auto &s : face_->shown)
                QCOMPARE(s.text, QString("Cannot find (logon) the ftp server."));
        }
    }

    void closingSavesAnEditedAddress()
    {
        const QByteArray before = readBytes(chatPath());
        {
            frmMain w;
            QCOMPARE(FormLoad(w, parseCommandLine({})).outcome, LoadResult::Waiting);
            w.show();
            w.txtURL->setText("ftp.example.org:2121");
            QTest::mouseClick(w.cmdExit, Qt::LeftButton);
            QVERIFY(!w.isVisible());
            QVERIFY(!w.FTP1->Connected());
        }
        QByteArray expected = before;
        expected.replace("URL = " + server_.host().toUtf8() + "\r\n", "URL=ftp.example.org:2121\r\n");
        QVERIFY(expected != before);
        QCOMPARE(readBytes(chatPath()), expected);

        // Closed without an edit, the file is left alone.
        {
            QVERIFY(writeBytes(chatPath(), chatIni(server_.host())));
            const QByteArray fresh = readBytes(chatPath());
            frmMain w;
            FormLoad(w, parseCommandLine({}));
            w.show();
            w.close();
            QCOMPARE(readBytes(chatPath()), fresh);
        }
    }

    void noClosingDuringATransfer()
    {
        const QString file = local_.filePath("big.bin");
        QVERIFY(test::writePatternFile(file, 3 * 1024 * 1024));
        frmMain w;
        QCOMPARE(FormLoad(w, parseCommandLine({})).outcome, LoadResult::Waiting);
        w.show();
        bool unloaded = false;
        connect(&w, &frmMain::unloaded, this, [&] { unloaded = true; });
        int closeTries = 0;
        connect(w.FTP1, &FtpClient::TransferProgress, this, [&] {
            if (closeTries++ == 0)
                w.close();
        });
        w.lsttech->item(4)->setSelected(true);
        w.lsttech_Click();
        w.txtFileName->setText(file);
        QVERIFY(w.cmdPut_Click() == frmMain::PutOutcome::Sent);
        QVERIFY(closeTries > 0);
        QVERIFY(w.isVisible());
        QVERIFY(!unloaded);
        QVERIFY(serverFiles("T5").contains("BIG.BIN"));
        // Afterwards it closes as usual.
        w.close();
        QVERIFY(unloaded);
        QFile::remove(file);
    }

    void headlessRoad_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("uploaded");  // server file of the run, if any
        const QString report = local_.filePath("Report.zip");
        QTest::newRow("automatic upload ends") << QStringList{"T6", report, "/B"} << int(ExitOk) << "T6/REPORT.ZIP";
        QTest::newRow("window would wait") << QStringList{} << int(ExitNoDisplay) << "";
        QTest::newRow("code not accepted") << QStringList{"Q7", report, "/B"} << int(ExitNoDisplay) << "";
    }
    void headlessRoad()
    {
        QFETCH(QStringList, args);
        QFETCH(int, status);
        QFETCH(QString, uploaded);
        const QByteArray chatBefore = readBytes(chatPath());
        const QDateTime chatTime = QFileInfo(chatPath()).lastModified();
        const int logins = server_.loginCount();
        const Run r = runTobra(args, ini_.path(), sys_.path());
        QVERIFY2(r.exitCode == status, qPrintable(QString::number(r.exitCode) + ": " + r.err));
        QCOMPARE(readBytes(chatPath()), chatBefore);
        QCOMPARE(QFileInfo(chatPath()).lastModified(), chatTime);
        if (uploaded.isEmpty()) {
            QVERIFY2(r.err.contains(noDisplayText()), qPrintable(r.err));
            // A window that nobody sees does not log in either.
            QCOMPARE(server_.loginCount(), logins);
        } else {
            QString why;
            QVERIFY2(test::sameFileContents(local_.filePath("Report.zip"), server_.root() + "/uploads/" + uploaded,
                                            &why),
                     qPrintable(why));
            QVERIFY2(r.err.contains("Transfer Notification: Upload of " + local_.filePath("Report.zip") + " complete"),
                     qPrintable(r.err));
        }
    }
};

QTEST_MAIN(TestWindowRoad)
#include "test_windowroad.moc"
