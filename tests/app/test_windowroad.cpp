#include "app/cmdline.h"
#include "app/exitcodes.h"
#include "app/ui/windowroad.h"
#include "ftp/ftpclient.h"
#include "harness/testutil.h"
#include "mainwindow/filelistbox.h"
#include "mainwindow/frmmain.h"
#include "support/globals.h"
#include "support/modopsys.h"
#include "support/ui/msfgrid.h"

#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QtTest>

using namespace tobra;
using namespace tobra::test;

namespace {

// Everything a Windows editor might leave in CHAT.INI around the address.
QByteArray chatIni(const QString &host)
{
    return "; settings of the chat client\r\n[WINDOW]\r\nURL=not this one\r\n\r\n[Preferences]\r\n"
           "  Nick = ann \r\nURL = "
        + host.toUtf8() + "\r\nColour=7\r\n[LAST]\r\nX=1";
}

}  // namespace

class TestWindowRoad : public QObject {
    Q_OBJECT
    Machine m_;

    QString chatPath() const { return m_.ini.filePath("CHAT.INI"); }
    QString local(const QString &name) const { return m_.local.filePath(name); }
    QStringList serverFiles(const QString &code) const
    {
        return QDir(m_.server.root() + "/uploads/" + code).entryList(QDir::Files);
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(m_.start(), qPrintable(m_.server.lastError()));
        QVERIFY(writeBytes(local("Report.zip"), QByteArray(5000, 'r')));
        QVERIFY(writeBytes(local("Case.zip"), QByteArray(100, 'c')));
        QVERIFY(writeBytes(local("empty.bin"), QByteArray()));
        QVERIFY(writeBytes(m_.ini.filePath("fromini.zip"), QByteArray(10, 'i')));
        QVERIFY(writeBytes(m_.sys.filePath("quillon.ini"), "[CUSTLOG]\r\nCODE=V7ACME\r\n"));
    }
    void init()
    {
        m_.face->shown.clear();
        QVERIFY(writeBytes(chatPath(), chatIni(m_.server.host())));
    }

    void waitsWithTheWindowFilled_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("tech");
        QTest::addColumn<QString>("fileBox");
        QTest::addColumn<bool>("safety");
        QTest::addColumn<bool>("picked");  // T1 picked: the button follows its rule
        const QString report = local("Report.zip");
        QTest::newRow("nothing") << QStringList{} << "" << "<ini>" << false << false;
        QTest::newRow("safety") << QStringList{"/s"} << "" << "<ini>" << true << false;
        QTest::newRow("one word") << QStringList{report} << "" << "<ini>" << false << false;
        QTest::newRow("code not accepted") << QStringList{"Q7", report, "/B"} << "Q7" << report << false << false;
        QTest::newRow("accepted code not in the list") << QStringList{"V7XYZ", report, "/B"} << "V7XYZ" << report
                                                       << false << false;
        QTest::newRow("file not in its folder") << QStringList{"T1", local("missing.zip"), "/B"} << "T1"
                                                << local("missing.zip") << false << true;
    }
    void waitsWithTheWindowFilled()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, fileBox);
        QFETCH(bool, safety);
        QFETCH(bool, picked);
        // Without a file the box starts in the folder last sent from; none
        // was kept here, so in the home folder.
        if (fileBox == "<ini>")
            fileBox = QDir::homePath() + "/";
        const QStringList before = serverFiles("T1") + serverFiles("V7XYZ") + serverFiles("Q7");
        frmMain w;
        QCOMPARE(FormLoad(w, parseCommandLine(args)).outcome, LoadResult::Waiting);
        QTEST(w.txtTech->text(), "tech");
        QCOMPARE(w.txtFileName->text(), fileBox);
        QCOMPARE(w.ckbsafety->isChecked(), safety);
        QCOMPARE(program().SafetyOn, safety);
        QCOMPARE(w.txtURL->text(), m_.server.host());
        QCOMPARE(w.windowTitle(), QString("Tobra - Version: " TOBRA_VERSION));
        QCOMPARE(w.lsttech->count(), 10);
        QCOMPARE(w.cmdPut->isEnabled(), picked);
        QCOMPARE(w.lsttech->selectedItems().size(), picked ? 1 : 0);
        QVERIFY(w.FTP1->Connected());
        QVERIFY(!w.msfSource->TextMatrix(1, 0).isEmpty());
        // Nothing was sent anywhere.
        QCOMPARE(serverFiles("T1") + serverFiles("V7XYZ") + serverFiles("Q7"), before);
        QVERIFY(!m_.titles().contains("Transfer Notification"));
        if (fileBox == IniFolder()) {
            QCOMPARE(w.filList->Path() + "/", IniFolder());
            QCOMPARE(w.FTP1->LocalDirectory(), IniFolder());
            QVERIFY(w.filList->names().contains("CHAT.INI"));
        }
    }

    void automaticUploadEnds_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("uploaded");  // code/NAME on the server; empty: nothing
        QTest::addColumn<bool>("serverUp");
        const QString report = local("Report.zip");
        QTest::newRow("T2") << QStringList{"T2", report, "/B"} << 0 << "T2/REPORT.ZIP" << true;
        QTest::newRow("lower case switches") << QStringList{"/b", "t4", report} << 0 << "T4/REPORT.ZIP" << true;
        QTest::newRow("bare name from the INI folder") << QStringList{"T7", "fromini.zip", "/B"} << 0
                                                       << "T7/FROMINI.ZIP" << true;
        QTest::newRow("stored name in another case") << QStringList{"T8", local("CASE.ZIP"), "/B"} << 0
                                                     << "T8/CASE.ZIP" << true;
        QTest::newRow("customer code") << QStringList{"V7ACME", report, "/B"} << 0 << "V7ACME/REPORT.ZIP" << true;
        QTest::newRow("empty file") << QStringList{"T3", local("empty.bin"), "/B"} << int(ExitFileMissing) << ""
                                    << true;
        QTest::newRow("server unreachable") << QStringList{"T3", report, "/B"} << int(ExitNoConnection) << ""
                                            << false;
    }
    void automaticUploadEnds()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, uploaded);
        QFETCH(bool, serverUp);
        if (!serverUp)
            QVERIFY(writeBytes(chatPath(), chatIni(QString("127.0.0.1:%1").arg(closedPort()))));
        const QByteArray chatBefore = readBytes(chatPath());
        frmMain w;
        bool unloaded = false;
        connect(&w, &frmMain::unloaded, this, [&] { unloaded = true; });
        const LoadResult r = FormLoad(w, parseCommandLine(args));
        QCOMPARE(r.outcome, LoadResult::Ended);
        QTEST(r.exitStatus, "status");
        QVERIFY(!w.FTP1->Connected());
        // Ending at once: no unload, so nothing is written back.
        QVERIFY(!unloaded);
        QCOMPARE(readBytes(chatPath()), chatBefore);
        if (uploaded.isEmpty()) {
            QVERIFY(serverFiles("T3").isEmpty());
            QVERIFY(!m_.titles().contains("Transfer Notification"));
        } else {
            const QString code = uploaded.section('/', 0, 0);
            QVERIFY2(serverFiles(code).contains(uploaded.section('/', 1)), qPrintable(serverFiles(code).join(',')));
            QCOMPARE(m_.titles(), QStringList({"Transfer Notification"}));
            QVERIFY(m_.face->shown[0].text.startsWith("Upload of "));
            QFile::remove(m_.server.root() + "/uploads/" + uploaded);
        }
        if (!serverUp) {
            QVERIFY(!m_.face->shown.isEmpty());
            for (const QString &text : m_.texts())
                QVERIFY2(text.startsWith("Cannot find (logon) the ftp server.\n") && text.contains("refused the connection"),
                         qPrintable(text));
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
        expected.replace("URL = " + m_.server.host().toUtf8() + "\r\n", "URL=ftp.example.org:2121\r\n");
        QVERIFY(expected != before);
        QCOMPARE(readBytes(chatPath()), expected);

        // Closed without an edit, the file is left alone.
        QVERIFY(writeBytes(chatPath(), before));
        frmMain w;
        FormLoad(w, parseCommandLine({}));
        w.show();
        w.close();
        QCOMPARE(readBytes(chatPath()), before);
    }

    void headlessRoad_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("uploaded");  // server file of the run, if any
        const QString report = local("Report.zip");
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
        const int logins = m_.server.loginCount();
        const Run r = runTobra(args, m_.ini.path(), m_.sys.path());
        QVERIFY2(r.exitCode == status, qPrintable(QString::number(r.exitCode) + ": " + r.err));
        QCOMPARE(readBytes(chatPath()), chatBefore);
        QCOMPARE(QFileInfo(chatPath()).lastModified(), chatTime);
        if (uploaded.isEmpty()) {
            QVERIFY2(r.err.contains(noDisplayText()), qPrintable(r.err));
            // A window that nobody sees does not log in either.
            QCOMPARE(m_.server.loginCount(), logins);
        } else {
            QString why;
            QVERIFY2(sameFileContents(local("Report.zip"), m_.server.root() + "/uploads/" + uploaded, &why),
                     qPrintable(why));
            QVERIFY2(r.err.contains("Transfer Notification: Upload of " + local("Report.zip") + " complete"),
                     qPrintable(r.err));
        }
    }
};

QTEST_MAIN(TestWindowRoad)
#include "test_windowroad.moc"
