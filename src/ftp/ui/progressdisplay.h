#pragma once

#include <QObject>
#include <QString>

#include <functional>

class QLabel;
class QProgressBar;
class QWidget;

namespace tobra {

class CopyAnimation;
class Pacer;

// The progress display of a window: the file-of-run bar, the copy clip and
// the labels naming the file, the server, time left and rate. The controls
// belong to the window; this drives them.
class ProgressDisplay : public QObject {
    Q_OBJECT
public:
    struct Controls {
        QWidget *window = nullptr;       // its caption shows the transfer
        QProgressBar *ProgressBar1 = nullptr;
        CopyAnimation *Animation1 = nullptr;
        QLabel *lblOpening = nullptr;
        QLabel *lblFile = nullptr;
        QLabel *lblTime = nullptr;
        QLabel *lblEstimate = nullptr;
    };
    explicit ProgressDisplay(const Controls &c, QObject *parent = nullptr);
    // Drives the controls of window found by their object names.
    explicit ProgressDisplay(QWidget *window);

    // Bar := CurrentFileNumber / FileCount x 100, shown.
    void ShowProgressBar();
    // Caption "Uploading FILE", lblFile "FILE to SERVER", lblEstimate empty,
    // start time recorded.
    void StartFileDisplay(bool Download, const QString &File, const QString &Server);
    // Byte progress of the current file: bar, time left and rate. Returns
    // false: the display never asks to cancel.
    bool Update(qint64 Bytes, qint64 TotalBytes);
    // Opens FILECOPY.AVI from the program's folder when present.
    bool loadCopyClip();
    void StartAnimation();
    void StopAnimation();

    // Paces the bar and the labels; writes at once unless a window sets an
    // interval. Flush it before the controls are hidden or read.
    Pacer *pacer() const { return pacer_; }

    // Milliseconds on a monotonic clock; the wall clock would jump at
    // midnight and with every clock change. Tests replace it.
    std::function<qint64()> clockMs;
    // Clock reading when the current file started.
    qint64 startMs = 0;

private:
    Controls c_;
    Pacer *pacer_;
};

}  // namespace tobra
