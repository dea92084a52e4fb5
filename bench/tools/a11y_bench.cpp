// One backup run of frmQof for bench/a11y.sh. Unlike backup_bench it runs on
// the display it is given and shows the window, as a user (and a screen
// reader) has it, and it prints when each file was done, so that a run whose
// files get slower as it goes shows up.
// The INI folder and the server come from TOBRA_WINDIR and TOBRA_MAKER_HOST.
#include "backup/productwindow.h"
#include "ftp/ftpclient.h"
#include "support/messages.h"

#include <QAccessible>
#include <QApplication>
#include <QElapsedTimer>
#include <QWindow>

#include <cstdio>
#include <memory>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    auto face = std::make_shared<tobra::ScriptedFace>();
    tobra::Messages::setFace(face);

    tobra::ProductWindow w(tobra::Product::Qof);
    QElapsedTimer t;
    t.start();
    if (!w.Form_Load()) {
        std::fprintf(stderr, "the product is not installed\n");
        return 1;
    }
    w.show();
    // Bounded: the window is mapped within a second or two on any display.
    QElapsedTimer mapped;
    mapped.start();
    while (!(w.windowHandle() && w.windowHandle()->isExposed()) && mapped.elapsed() < 10000)
        QApplication::processEvents(QEventLoop::AllEvents, 50);
    const qint64 openMs = t.restart();

    QList<qint64> doneUs;
    doneUs.reserve(256);
    QObject::connect(&w.ftp(), &tobra::FtpClient::TransferComplete, &w,
                     [&] { doneUs.append(t.nsecsElapsed() / 1000); });
    w.cmdOk_Click();
    const qint64 runMs = t.elapsed();

    const tobra::RunRecord &r = w.lastRun();
    std::printf("open_ms %lld run_ms %lld listed %d sent %d accessible %d\n", static_cast<long long>(openMs),
                static_cast<long long>(runMs), r.listed, r.sent, QAccessible::isActive() ? 1 : 0);
    // One line: the time each file took, in microseconds, in order.
    std::printf("file_us");
    qint64 last = 0;
    for (qint64 us : doneUs) {
        std::printf(" %lld", static_cast<long long>(us - last));
        last = us;
    }
    std::printf("\n");
    for (const tobra::ScriptedFace::Shown &s : face->shown)
        std::fprintf(stderr, "message: %s\n", qPrintable(s.text));
    for (const tobra::RunRecord::Failure &f : r.failures)
        std::fprintf(stderr, "not sent: %s: %s\n", qPrintable(f.path), qPrintable(f.reason));
    return r.complete() && r.sent == r.listed ? 0 : 1;
}
