// Driver of bench/listing.sh: times the technician pick on the main window,
// from the click to a filled remote grid, against a running server.
//   bench_listing HOST CODE [RUNS]
// Prints one line per run and a summary:
//   cold_ms   pick on a fresh window (connects and logs in first)
//   warm_ms   pick while connected, as after the window's start-up
//   stall_ms  longest gap between two 5 ms timer ticks during the pick:
//             how long the window could not repaint
#include "harness/testftpserver.h"
#include "mainwindow/frmmain.h"
#include "ftp/ftpclient.h"
#include "support/messages.h"
#include "support/runlog.h"
#include "support/ui/lstcontrol.h"
#include "support/ui/msfgrid.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>

using namespace tobra;

namespace {

struct Pick {
    double ms = 0;
    double stallMs = 0;
    int rows = 0;
};

Pick timePick(frmMain &w, const QString &code)
{
    QElapsedTimer clock;
    qint64 lastTick = 0;
    qint64 worst = 0;
    QTimer ticker;
    ticker.setInterval(5);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        worst = std::max(worst, now - lastTick);
        lastTick = now;
    });
    ticker.start();
    clock.start();
    lstSelectMatching(w.lsttech, code, false);
    const qint64 done = clock.nsecsElapsed();
    worst = std::max(worst, done - lastTick);
    ticker.stop();
    Pick p;
    p.ms = double(done) / 1e6;
    p.stallMs = double(worst) / 1e6;
    for (int r = 1; r < w.MSFDir->Rows(); ++r)
        if (!w.MSFDir->TextMatrix(r, 0).isEmpty())
            ++p.rows;
    return p;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n == 0 ? 0 : (n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2);
}

}  // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: bench_listing HOST CODE [RUNS]\n");
        return 2;
    }
    const QString host = QString::fromLocal8Bit(argv[1]);
    const QString code = QString::fromLocal8Bit(argv[2]);
    const int runs = argc > 3 ? std::clamp(atoi(argv[3]), 1, 50) : 5;

    QTemporaryDir ini;
    qputenv("TOBRA_WINDIR", ini.path().toLocal8Bit());
    qputenv("TOBRA_SYSDIR", ini.path().toLocal8Bit());
    // Like curl's listing: plain FTP, no AUTH TLS first.
    {
        QFile chat(ini.path() + QStringLiteral("/CHAT.INI"));
        if (!chat.open(QIODevice::WriteOnly) || chat.write("[PREFERENCES]\r\nTLS=off\r\n") < 0) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(chat.fileName()));
            return 1;
        }
    }
    auto face = std::make_shared<ScriptedFace>();
    Messages::setFace(face);
    // As the program does: the session is written to the support log.
    RunLog::instance().openDefault();

    std::vector<double> cold, warm, stall;
    int rows = -1;
    for (int i = 0; i < runs; ++i) {
        frmMain w;
        w.AddTechs();
        w.txtURL->setText(host);
        w.txtFileName->setText(ini.path() + "/");
        w.show();
        const Pick c = timePick(w, code);
        const Pick h = timePick(w, code);
        if (!face->shown.isEmpty()) {
            std::fprintf(stderr, "the window said: %s\n", qPrintable(face->shown.first().text));
            return 1;
        }
        if ((rows >= 0 && (c.rows != rows || h.rows != rows)) || c.rows != h.rows) {
            std::fprintf(stderr, "the grid's row count changed between runs\n");
            return 1;
        }
        rows = c.rows;
        cold.push_back(c.ms);
        warm.push_back(h.ms);
        stall.push_back(std::max(c.stallMs, h.stallMs));
        std::printf("run %d: cold_ms=%.1f warm_ms=%.1f stall_ms=%.1f rows=%d\n", i + 1, c.ms, h.ms,
                    std::max(c.stallMs, h.stallMs), c.rows);
        w.FtpDisconnect();
    }
    std::printf("cold_ms=%.1f warm_ms=%.1f stall_ms=%.1f rows=%d\n", median(cold), median(warm),
                *std::max_element(stall.begin(), stall.end()), rows);
    return 0;
}
