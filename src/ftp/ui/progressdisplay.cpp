#include "ftp/ui/progressdisplay.h"

#include "ftp/progressrule.h"
#include "ftp/ui/copyanimation.h"
#include "support/globals.h"
#include "support/platform.h"

#include <QLabel>
#include <QProgressBar>
#include <QWidget>

#include <chrono>
#include <limits>

namespace tobra {

ProgressDisplay::ProgressDisplay(const Controls &c, QObject *parent) : QObject(parent), c_(c)
{
    clockMs = [] {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
            .count();
    };
}

static ProgressDisplay::Controls controlsOf(QWidget *window)
{
    ProgressDisplay::Controls c;
    c.window = window;
    c.ProgressBar1 = window->findChild<QProgressBar *>(QStringLiteral("ProgressBar1"));
    c.Animation1 = window->findChild<CopyAnimation *>(QStringLiteral("Animation1"));
    c.lblOpening = window->findChild<QLabel *>(QStringLiteral("lblOpening"));
    c.lblFile = window->findChild<QLabel *>(QStringLiteral("lblFile"));
    c.lblTime = window->findChild<QLabel *>(QStringLiteral("lblTime"));
    c.lblEstimate = window->findChild<QLabel *>(QStringLiteral("lblEstimate"));
    return c;
}

ProgressDisplay::ProgressDisplay(QWidget *window) : ProgressDisplay(controlsOf(window), window) {}

void ProgressDisplay::ShowProgressBar()
{
    if (!c_.ProgressBar1)
        return;
    c_.ProgressBar1->setRange(1, 100);
    c_.ProgressBar1->setValue(runProgressPercent(program().CurrentFileNumber, program().FileCount));
    c_.ProgressBar1->setVisible(true);
}

void ProgressDisplay::StartFileDisplay(bool Download, const QString &File, const QString &Server)
{
    if (c_.window)
        c_.window->setWindowTitle((Download ? QStringLiteral("Downloading ") : QStringLiteral("Uploading ")) + File);
    if (c_.lblFile)
        c_.lblFile->setText(File + (Download ? QStringLiteral(" from ") : QStringLiteral(" to ")) + Server);
    if (c_.lblEstimate)
        c_.lblEstimate->setText(QString());
    startMs = clockMs();
}

bool ProgressDisplay::Update(qint64 Bytes, qint64 TotalBytes)
{
    if (c_.ProgressBar1 && TotalBytes > 0) {
        // The bar counts in int; large files are shown in coarser steps.
        int shift = 0;
        while ((TotalBytes >> shift) > std::numeric_limits<int>::max())
            ++shift;
        c_.ProgressBar1->setRange(0, int(TotalBytes >> shift));
        c_.ProgressBar1->setValue(int(qMin(Bytes, TotalBytes) >> shift));
    }
    const int elapsed = int(qMin<qint64>((clockMs() - startMs) / 1000, std::numeric_limits<int>::max()));
    const std::optional<QString> text = progressEstimate(Bytes, TotalBytes, elapsed);
    if (text && c_.lblEstimate)
        c_.lblEstimate->setText(*text);
    return false;
}

bool ProgressDisplay::loadCopyClip()
{
    if (!c_.Animation1)
        return false;
    const QString clip = findCopyClip(platform().programDirectory());
    return !clip.isEmpty() && c_.Animation1->Open(clip);
}

void ProgressDisplay::StartAnimation()
{
    if (c_.Animation1 && (c_.Animation1->isOpen() || loadCopyClip()))
        c_.Animation1->Play();
}

void ProgressDisplay::StopAnimation()
{
    if (c_.Animation1)
        c_.Animation1->Stop();
}

}  // namespace tobra
