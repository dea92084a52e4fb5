#include "app/cmdline.h"
#include "app/ui/windowroad.h"
#include "ftp/ftpclient.h"
#include "harness/testutil.h"
#include "mainwindow/filelistbox.h"
#include "mainwindow/frmmain.h"
#include "support/globals.h"
#include "support/modopsys.h"
#include "support/ui/msfgrid.h"

#include <QtTest>
#include <QtWidgets>

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
        return QDir(m_.remote(code)).entryList(QDir::Files);
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

    // The window opens and waits: nothing is sent anywhere.
    void waitsWithTheWindowFilled()
    {
        const QString report = local("Report.zip"), home = QDir::homePath() + "/";
        // Arguments, code box, file box (without a file: the folder last sent
        // from, here none, so home), /S, T1 picked.
        const struct { QStringList args; QString tech, fileBox; bool safety, picked; } rows[] = {
            {{}, "", home, false, false},
            {{"/s"}, "", home, true, false},
            {{report}, "", home, false, false},
            {{"Q7", report, "/B"}, "Q7", report, false, false},         // code not accepted
            {{"V7XYZ", report, "/B"}, "V7XYZ", report, false, false},   // accepted, not in the list
            {{"T1", local("missing.zip"), "/B"}, "T1", local("missing.zip"), false, true},
        };
        for (const auto &r : rows) {
            m_.face->shown.clear();
            const QStringList before = serverFiles("T1") + serverFiles("V7XYZ") + serverFiles("Q7");
            frmMain w;
            QCOMPARE(FormLoad(w, parseCommandLine(r.args)).outcome, LoadResult::Waiting);
            QCOMPARE(w.txtTech->text(), r.tech);
            QCOMPARE(w.txtFileName->text(), r.fileBox);
            QVERIFY(w.ckbsafety->isChecked() == r.safety && program().SafetyOn == r.safety);
            QCOMPARE(w.txtURL->text(), m_.server.host());
            QCOMPARE(w.windowTitle(), QString("Tobra - Version: " TOBRA_VERSION));
            QCOMPARE(w.lsttech->count(), 10);
            // No row names a file to send, so Upload waits.
            QVERIFY(!w.cmdPut->isEnabled() && w.lsttech->selectedItems().size() == (r.picked ? 1 : 0));
            QVERIFY(!w.msfSource->TextMatrix(1, 0).isEmpty());
            // Otherwise the connect follows once the event loop runs (the
            // window is shown first).
            QCOMPARE(w.panelText("general"), QFileInfo(r.fileBox).isFile() ? QString("Ready") : QString("Choose a file to send"));
            QVERIFY(r.picked || !w.FTP1->Connected());   // a picked code has listed its folder
            QTRY_VERIFY_WITH_TIMEOUT(w.FTP1->Connected(), 5000);
            QCOMPARE(serverFiles("T1") + serverFiles("V7XYZ") + serverFiles("Q7"), before);
            QVERIFY(!m_.titles().contains("Transfer Notification"));
        }
    }

    // With a server that never greets, the window is there at once and
    // says it is connecting; Escape stops the wait (typing waits for it and
    // then reaches the field), and closing the window closes it.
    void neverGreetingServer()
    {
        SilentListener silent;
        QVERIFY(silent.port > 0);
        const QString host = QString("127.0.0.1:%1").arg(silent.port);
        for (const QString how : {"escape", "close"}) {
            m_.face->shown.clear();
            QVERIFY(writeBytes(chatPath(), chatIni(host)));
            QElapsedTimer t;
            t.start();
            frmMain w;
            QCOMPARE(FormLoad(w, parseCommandLine({})).outcome, LoadResult::Waiting);
            w.show();
            QVERIFY2(t.elapsed() < 500, qPrintable(QString::number(t.elapsed())));
            bool unloaded = false;
            connect(&w, &frmMain::unloaded, this, [&] { unloaded = true; });
            QString during;
            qint64 stopAt = -1;
            QTimer::singleShot(700, &w, [&] {
                during = w.panelText("general") + "|" + QString::number(w.isBusy());
                stopAt = t.elapsed();
                if (how == "escape") {
                    QTest::keyClicks(w.txtFileName, "ab");
                    QTest::keyClick(w.txtFileName, Qt::Key_Escape);
                } else {
                    w.close();
                }
            });
            QTRY_VERIFY_WITH_TIMEOUT(stopAt >= 0 && !w.isBusy(), 5000);
            QCOMPARE(during, "Connecting to " + host + "...|1");
            QVERIFY2(t.elapsed() - stopAt < 1500, qPrintable(QString::number(t.elapsed() - stopAt)));
            QVERIFY(!w.FTP1->Connected() && m_.face->shown.isEmpty());
            if (how == "escape") {
                QTRY_VERIFY(w.txtFileName->text().endsWith("ab"));
                QVERIFY(w.isVisible() && !unloaded);
                QCOMPARE(w.panelText("ftpconnection"), QString("Not connected: connecting was cancelled"));
            } else {
                QTRY_VERIFY(unloaded && !w.isVisible());
            }
        }
    }

    // An accepted code uploads and ends, without an unload (so nothing is
    // written back).
    void automaticUploadEnds()
    {
        const QString report = local("Report.zip");
        // Arguments, exit status, code/NAME on the server (empty: nothing), server up.
        const struct { QStringList args; int status; QString uploaded; bool serverUp; } rows[] = {
            {{"T2", report, "/B"}, 0, "T2/REPORT.ZIP", true},
            {{"/b", "t4", report}, 0, "T4/REPORT.ZIP", true},
            {{"T7", "fromini.zip", "/B"}, 0, "T7/FROMINI.ZIP", true},     // a bare name: the INI folder
            {{"T8", local("CASE.ZIP"), "/B"}, 0, "T8/CASE.ZIP", true},    // stored in another case
            {{"V7ACME", report, "/B"}, 0, "V7ACME/REPORT.ZIP", true},
            {{"T3", local("empty.bin"), "/B"}, 3, "", true},
            {{"T3", report, "/B"}, 4, "", false},
        };
        for (const auto &r : rows) {
            m_.face->shown.clear();
            QVERIFY(writeBytes(chatPath(), chatIni(r.serverUp ? m_.server.host() : QString("127.0.0.1:%1").arg(closedPort()))));
            const QByteArray chatBefore = readBytes(chatPath());
            frmMain w;
            bool unloaded = false;
            connect(&w, &frmMain::unloaded, this, [&] { unloaded = true; });
            const LoadResult lr = FormLoad(w, parseCommandLine(r.args));
            QVERIFY(lr.outcome == LoadResult::Ended && lr.exitStatus == r.status);
            QVERIFY(!w.FTP1->Connected() && !unloaded);
            QCOMPARE(readBytes(chatPath()), chatBefore);
            if (r.uploaded.isEmpty()) {
                QVERIFY(serverFiles("T3").isEmpty() && !m_.titles().contains("Transfer Notification"));
            } else {
                const QString code = r.uploaded.section('/', 0, 0);
                QVERIFY2(serverFiles(code).contains(r.uploaded.section('/', 1)), qPrintable(serverFiles(code).join(',')));
                QCOMPARE(m_.titles(), QStringList({"Transfer Notification"}));
                QFile::remove(m_.remote(r.uploaded));
            }
            for (const QString &text : r.serverUp ? QStringList() : m_.texts())
                QVERIFY2(text.startsWith("Cannot find (logon) the ftp server.\n") && text.contains("refused the connection"),
                         qPrintable(text));
            QVERIFY(r.serverUp || !m_.face->shown.isEmpty());
        }
    }

    // Closing saves an edited address (that line only); closed without an
    // edit, the file is left alone.
    void closingSavesAnEditedAddress()
    {
        const QByteArray before = readBytes(chatPath());
        for (const QString &typed : {QString("ftp.example.org:2121"), QString()}) {
            QVERIFY(writeBytes(chatPath(), before));
            frmMain w;
            QCOMPARE(FormLoad(w, parseCommandLine({})).outcome, LoadResult::Waiting);
            w.show();
            if (!typed.isEmpty())
                w.txtURL->setText(typed);
            QTest::mouseClick(w.cmdExit, Qt::LeftButton);
            QVERIFY(!w.isVisible() && !w.FTP1->Connected());
            QByteArray expected = before;
            if (!typed.isEmpty())
                QVERIFY(expected.replace("URL = " + m_.server.host().toUtf8() + "\r\n", "URL=" + typed.toUtf8() + "\r\n")
                        != before);
            QCOMPARE(readBytes(chatPath()), expected);
        }
    }

    // Without a display: the automatic upload still ends; a window that
    // would wait ends with status 6 and never logs in.
    void headlessRoad()
    {
        const QString report = local("Report.zip");
        const struct { QStringList args; int status; QString uploaded; } rows[] = {
            {{"T6", report, "/B"}, 0, "T6/REPORT.ZIP"},
            {{}, 6, ""},
            {{"Q7", report, "/B"}, 6, ""},
        };
        for (const auto &row : rows) {
            const QByteArray chatBefore = readBytes(chatPath());
            const QDateTime chatTime = QFileInfo(chatPath()).lastModified();
            const int logins = m_.server.loginCount();
            const Run r = runTobra(row.args, m_.ini.path(), m_.sys.path());
            QVERIFY2(r.exitCode == row.status, qPrintable(QString::number(r.exitCode) + ": " + r.err));
            QCOMPARE(readBytes(chatPath()), chatBefore);
            QCOMPARE(QFileInfo(chatPath()).lastModified(), chatTime);
            if (row.uploaded.isEmpty()) {
                QVERIFY2(r.err.contains(noDisplayText()), qPrintable(r.err));
                QCOMPARE(m_.server.loginCount(), logins);
            } else {
                QVERIFY(sameFileContents(report, m_.remote(row.uploaded)));
                QVERIFY2(r.err.contains("Transfer Notification: Upload of " + report + " complete"), qPrintable(r.err));
            }
        }
    }
};

QTEST_MAIN(TestWindowRoad)
#include "test_windowroad.moc"
