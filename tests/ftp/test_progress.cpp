#include "ftp/progressrule.h"
#include "ftp/ui/copyanimation.h"
#include "ftp/ui/progressdisplay.h"
#include "harness/fakeplatform.h"
#include "harness/testutil.h"
#include "support/globals.h"
#include "support/platform.h"

#include <QtTest>
#include <QtWidgets>

using namespace tobra;

namespace {

// Writes a clip of frames frames (w x h, uncompressed YUV4MPEG2, which the
// player knows by its content whatever the file is called) whose brightness
// rises from frame to frame, so decoded frames can be told apart.
bool writeClip(const QString &path, int frames, int w, int h, int fps)
{
    QByteArray clip = QStringLiteral("YUV4MPEG2 W%1 H%2 F%3:1 Ip A1:1 C420jpeg\n").arg(w).arg(h).arg(fps).toLatin1();
    for (int i = 0; i < frames; ++i)
        clip += "FRAME\n" + QByteArray(w * h, char(16 + (200 * i) / qMax(1, frames - 1))) + QByteArray(w * h / 2, char(128));
    return test::writeBytes(path, clip);
}

int grey(const QImage &img)
{
    return qGray(img.pixel(img.width() / 2, img.height() / 2));
}

}  // namespace

class TestProgress : public QObject {
    Q_OBJECT

private slots:
    void rules()
    {
        const double halves[][2] = {{0.5, 0}, {1.5, 2}, {2.5, 2}, {3.5, 4}, {2.51, 3}, {2.49, 2}, {-2.5, -2}, {-1.5, -2}, {7, 7}};
        for (const auto &h : halves)
            QCOMPARE(roundHalfEven(h[0]), h[1]);
        // File number, count, bar percent: 12.5 and 37.5 go to the even side.
        const int bars[][3] = {{1, 1, 100}, {1, 3, 33}, {2, 3, 67}, {1, 8, 12}, {3, 8, 38}, {0, 0, 0}};
        for (const auto &b : bars)
            QCOMPARE(runProgressPercent(b[0], b[1]), b[2]);
        const qint64 KB = 1024;
        // Bytes, total, seconds elapsed, the estimate (empty: none).
        const struct { qint64 bytes, total; int elapsed; QString text; } estimates[] = {
            {160 * KB, 160 * KB + 2048 * KB, 10, "2 minute(s) 16 KB/s"},   // 16 KB/s, 128 s left
            {100 * KB, 400 * KB, 4, "12 second(s) 25 KB/s"},
            {10 * KB, 910 * KB, 1, "2 minute(s) 10 KB/s"},      // 1.5 min, to 2
            {10 * KB, 1510 * KB, 1, "2 minute(s) 10 KB/s"},     // 2.5 min, to 2
            {10 * KB, 600 * KB, 1, "59 second(s) 10 KB/s"},
            {10 * KB, 610 * KB, 1, "1 minute(s) 10 KB/s"},
            {400, 400 + 10 * KB, 1, "26 second(s) 0 KB/s"},     // 0.39 KB/s: 25.6 s
            {20 * KB, 40 * KB, 0, "1 second(s) 20 KB/s"},       // 0 s counts as 1
            {20 * KB, 40 * KB, -86000, "1 second(s) 20 KB/s"},  // across midnight
            {64 * KB, 64 * KB, 2, "0 second(s) 32 KB/s"},
            {0, 100 * KB, 5, ""},
            {0, 0, 5, ""},
        };
        for (const auto &e : estimates)
            QCOMPARE(progressEstimate(e.bytes, e.total, e.elapsed).value_or(QString()), e.text);
    }

    void displayShowsFileServerAndBar()
    {
        QWidget window;
        QProgressBar bar(&window);
        QLabel opening("Opening:", &window), file("FILE from SERVER", &window), time("Estimated Time Left:", &window),
            estimate("0 minute(s)", &window);
        ProgressDisplay d({&window, &bar, nullptr, &opening, &file, &time, &estimate});

        bar.setVisible(false);
        program().CurrentFileNumber = 2;
        program().FileCount = 4;
        d.ShowProgressBar();
        QVERIFY(bar.value() == 50 && bar.isVisibleTo(&window));

        // A monotonic clock: the time of day may wrap at midnight meanwhile.
        qint64 now = 86399000;
        d.clockMs = [&] { return now; };
        d.StartFileDisplay(false, "REPORT.ZIP", "ftp.example.com");
        QCOMPARE(window.windowTitle(), QString("Uploading REPORT.ZIP"));
        QCOMPARE(file.text(), QString("REPORT.ZIP to ftp.example.com"));
        QCOMPARE(estimate.text(), QString());

        // A report without bytes keeps the label; a real one fills it.
        estimate.setText("before");
        d.Update(0, 1000);
        QCOMPARE(estimate.text(), QString("before"));
        now += 2000;
        d.Update(512 * 1024, 1024 * 1024);
        QCOMPARE(estimate.text(), QString("2 second(s) 256 KB/s"));
        QCOMPARE(bar.value(), 512 * 1024);

        // Beyond the bar's int range the bar still moves in proportion.
        const qint64 big = qint64(6) * 1024 * 1024 * 1024;
        d.Update(big / 2, big);
        QVERIFY(bar.maximum() > 0);
        QCOMPARE(qRound(100.0 * bar.value() / bar.maximum()), 50);
    }

    // The clip in the program folder, found in any letter case, plays
    // through the display, cut to 500 frames at its own pace. An unreadable
    // one leaves the display working, silently.
    void clipFromProgramFolder()
    {
        QTemporaryDir dir;
        auto fake = std::make_shared<FakePlatform>();
        fake->programDir = dir.path();
        auto old = setPlatform(fake);
        QWidget window;
        CopyAnimation anim(&window);
        ProgressDisplay d({&window, nullptr, &anim, nullptr, nullptr, nullptr, nullptr});
        QVERIFY(test::writeBytes(dir.filePath("filecopy.avi"), QByteArray("RIFF\x10\x00\x00\x00" "AVI LIST", 16)));
        QVERIFY(!d.loadCopyClip());
        d.StartAnimation();
        QVERIFY(!anim.isOpen() && !anim.isPlaying());

        QVERIFY(QFile::remove(dir.filePath("filecopy.avi")));
        QVERIFY(writeClip(dir.filePath("FileCopy.Avi"), 520, 16, 16, 50));
        QCOMPARE(findCopyClip({dir.path()}), dir.filePath("FileCopy.Avi"));
        d.StartAnimation();
        QVERIFY(anim.isOpen() && anim.isPlaying());
        QCOMPARE(anim.frameCount(), 500);
        QCOMPARE(anim.frameInterval(), 20);
        // Later frames are brighter than the first ones.
        const int first = grey(anim.pixmap().toImage());
        QTRY_VERIFY_WITH_TIMEOUT(grey(anim.pixmap().toImage()) > first + 20, 5000);
        d.StopAnimation();
        QVERIFY(!anim.isPlaying());
        setPlatform(old);
    }
};

QTEST_MAIN(TestProgress)
#include "test_progress.moc"
