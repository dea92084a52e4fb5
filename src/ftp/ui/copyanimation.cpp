#include "ftp/ui/copyanimation.h"

#include <QDir>
#include <QFileInfo>

namespace tobra {

CopyAnimation::CopyAnimation(QWidget *parent) : QLabel(parent)
{
    setObjectName(QStringLiteral("Animation1"));
    setAlignment(Qt::AlignCenter);
    connect(&timer_, &QTimer::timeout, this, [this] { showFrame((current_ + 1) % int(frames_.size())); });
}

CopyAnimation::~CopyAnimation() = default;

bool CopyAnimation::Open(const QString &)
{
    // Decoding is added with the FFmpeg reader.
    return false;
}

void CopyAnimation::Close()
{
    Stop();
    frames_.clear();
    clear();
}

void CopyAnimation::Play()
{
    if (!frames_.isEmpty())
        timer_.start(frameMs_);
}

void CopyAnimation::Stop()
{
    timer_.stop();
}

void CopyAnimation::showFrame(int i)
{
    if (i < 0 || i >= frames_.size())
        return;
    current_ = i;
    setPixmap(QPixmap::fromImage(frames_.at(i)));
}

QString findCopyClip(const QString &programFolder)
{
    const QDir dir(programFolder);
    const QStringList names = dir.entryList(QDir::Files);
    for (const QString &n : names)
        if (n.compare(QLatin1String("FILECOPY.AVI"), Qt::CaseInsensitive) == 0)
            return dir.filePath(n);
    return QString();
}

}  // namespace tobra
