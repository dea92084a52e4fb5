// One backup run of frmQof for bench/backup.sh: opens the window (connect,
// company folder), presses Ok, and prints the times and what the run did.
// The INI folder and the server come from TOBRA_WINDIR and TOBRA_MAKER_HOST.
#include "backup/productwindow.h"
#include "ftp/ftpclient.h"
#include "support/messages.h"
#include "support/runlog.h"

#include <QApplication>
#include <QElapsedTimer>

#include <cstdio>
#include <memory>

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    auto face = std::make_shared<tobra::ScriptedFace>();
    tobra::Messages::setFace(face);
    // As the program does: the run is written to the support log.
    tobra::RunLog::instance().openDefault();

    tobra::ProductWindow w(tobra::Product::Qof);
    QElapsedTimer t;
    t.start();
    if (!w.Form_Load()) {
        std::fprintf(stderr, "the product is not installed\n");
        return 1;
    }
    const qint64 openMs = t.restart();
    w.cmdOk_Click();
    const qint64 runMs = t.elapsed();

    const tobra::RunRecord &r = w.lastRun();
    std::printf("open_ms %lld run_ms %lld listed %d sent %d missing %lld failed %lld client_logins %d\n",
                static_cast<long long>(openMs), static_cast<long long>(runMs), r.listed, r.sent,
                static_cast<long long>(r.missingPaths.size()), static_cast<long long>(r.failures.size()),
                w.ftp().loginCount());
    for (const tobra::ScriptedFace::Shown &s : face->shown)
        std::fprintf(stderr, "message: %s\n", qPrintable(s.text));
    for (const tobra::RunRecord::Failure &f : r.failures)
        std::fprintf(stderr, "not sent: %s: %s\n", qPrintable(f.path), qPrintable(f.reason));
    return r.complete() && r.sent == r.listed ? 0 : 1;
}
