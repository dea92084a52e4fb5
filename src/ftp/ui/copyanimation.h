#pragma once

#include <QImage>
#include <QLabel>
#include <QList>
#include <QStringList>
#include <QTimer>

namespace tobra {

// Plays a copy clip (an AVI file) in a label, decoded with FFmpeg. Without a
// clip, or in a build without FFmpeg, it shows nothing and every call is
// harmless.
class CopyAnimation : public QLabel {
    Q_OBJECT
public:
    explicit CopyAnimation(QWidget *parent = nullptr);
    ~CopyAnimation() override;

    // Decodes the clip's frames; false (and no clip) when it cannot be read.
    bool Open(const QString &path);
    void Close();
    void Play();
    void Stop();
    bool isOpen() const { return !frames_.isEmpty(); }
    bool isPlaying() const { return timer_.isActive(); }
    int frameCount() const { return int(frames_.size()); }
    // Time each frame shows, from the clip's frame rate.
    int frameInterval() const { return frameMs_; }
    QSize frameSize() const { return frames_.isEmpty() ? QSize() : frames_.first().size(); }

private:
    void showFrame(int i);
    QList<QImage> frames_;
    int frameMs_ = 100;
    int current_ = 0;
    QTimer timer_;
};

// The copy clip FILECOPY.AVI in the first of folders that holds it, found
// in any letter case; empty when there is none.
QString findCopyClip(const QStringList &folders);
// The folders the windows look for the clip in, in order. The program's
// start-up knows its install layout and sets them (the program's folder,
// then the installed data folder); until then, the program's folder.
void setCopyClipFolders(const QStringList &folders);
QStringList copyClipSearchFolders();

}  // namespace tobra
