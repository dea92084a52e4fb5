#include "ftp/ui/progressdisplay.h"

#include "ftp/progressrule.h"
#include "ftp/ui/copyanimation.h"
#include "support/globals.h"
#include "support/monotonic.h"
#include "support/ui/pacer.h"

#include <QLabel>
#include <QProgressBar>
#include <QWidget>

#include <limits>

namespace tobra {

ProgressDisplay::ProgressDisplay(const Controls &c, QObject *parent)
    : QObject(parent), c_(c), pacer_(new Pacer(this))
{
    clockMs = monotonicMs;
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
    QProgressBar *bar = c_.ProgressBar1;
    const int percent = runProgressPercent(program().CurrentFileNumber, program().FileCount);
    pacer_->put(bar, [bar, percent] {
        bar->setRange(1, 100);
        bar->setValue(percent);
    });
    bar->setVisible(true);
}

void ProgressDisplay::StartFileDisplay(bool Download, const QString &File, const QString &Server)
{
    if (c_.window)
        c_.window->setWindowTitle((Download ? QStringLiteral("Downloading ") : QStringLiteral("Uploading ")) + File);
    if (QLabel *label = c_.lblFile) {
        const QString text = File + (Download ? QStringLiteral(" from ") : QStringLiteral(" to ")) + Server;
        pacer_->put(label, [label, text] { label->setText(text); });
    }
    if (QLabel *label = c_.lblEstimate)
        pacer_->put(label, [label] { label->clear(); });
    startMs = clockMs();
}

bool ProgressDisplay::Update(qint64 Bytes, qint64 TotalBytes)
{
    if (QProgressBar *bar = c_.ProgressBar1; bar && TotalBytes > 0) {
        // The bar counts in int; large files are shown in coarser steps.
        int shift = 0;
        while ((TotalBytes >> shift) > std::numeric_limits<int>::max())
            ++shift;
        const int max = int(TotalBytes >> shift), value = int(qMin(Bytes, TotalBytes) >> shift);
        pacer_->put(bar, [bar, max, value] {
            bar->setRange(0, max);
            bar->setValue(value);
        });
    }
    const int elapsed = int(qMin<qint64>((clockMs() - startMs) / 1000, std::numeric_limits<int>::max()));
    const std::optional<QString> text = progressEstimate(Bytes, TotalBytes, elapsed);
    if (QLabel *label = c_.lblEstimate; text && label)
        pacer_->put(label, [label, t = *text] { label->setText(t); });
    return false;
}

bool ProgressDisplay::loadCopyClip()
{
    if (!c_.Animation1)
        return false;
    const QString clip = findCopyClip(copyClipSearchFolders());
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
