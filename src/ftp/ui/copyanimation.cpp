#include "ftp/ui/copyanimation.h"

#include "support/modcommon.h"
#include "support/platform.h"

#include <QDir>
#include <QFileInfo>

#ifdef TOBRA_WITH_FFMPEG
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libswscale/swscale.h>
}

#include <cmath>
#endif

namespace tobra {

#ifdef TOBRA_WITH_FFMPEG
namespace {

// A copy clip is a short loop; anything far larger is not one and would only
// eat memory.
constexpr int kMaxFrames = 500;
constexpr int kMaxSide = 1024;
constexpr qint64 kMaxDecodedBytes = qint64(128) * 1024 * 1024;
// Packets read without a decoded frame before the clip is given up.
constexpr int kMaxPacketsPerFrame = 64;

struct FormatCloser {
    void operator()(AVFormatContext *c) const { avformat_close_input(&c); }
};
struct CodecCloser {
    void operator()(AVCodecContext *c) const { avcodec_free_context(&c); }
};
struct FrameCloser {
    void operator()(AVFrame *f) const { av_frame_free(&f); }
};
struct PacketCloser {
    void operator()(AVPacket *p) const { av_packet_free(&p); }
};
struct ScaleCloser {
    void operator()(SwsContext *s) const { sws_freeContext(s); }
};

// Frame time in milliseconds from the stream's rate, 100 ms when it gives none.
int frameMilliseconds(const AVStream *st)
{
    AVRational rate = st->avg_frame_rate;
    if (rate.num <= 0 || rate.den <= 0)
        rate = st->r_frame_rate;
    if (rate.num > 0 && rate.den > 0) {
        const double ms = 1000.0 * double(rate.den) / double(rate.num);
        if (std::isfinite(ms))
            return int(qBound(10.0, std::round(ms), 5000.0));
    }
    return 100;
}

// The clip's size scaled down to fit kMaxSide, keeping the aspect ratio.
QSize targetSize(int w, int h)
{
    QSize s(w, h);
    if (w > kMaxSide || h > kMaxSide)
        s.scale(kMaxSide, kMaxSide, Qt::KeepAspectRatio);
    return s.expandedTo(QSize(1, 1));
}

class ClipReader {
public:
    bool open(const QString &path)
    {
        AVFormatContext *fmt = nullptr;
        const QByteArray name = QFile::encodeName(path);
        if (avformat_open_input(&fmt, name.constData(), nullptr, nullptr) < 0)
            return false;
        fmt_.reset(fmt);
        if (avformat_find_stream_info(fmt_.get(), nullptr) < 0)
            return false;
        const AVCodec *codec = nullptr;
        stream_ = av_find_best_stream(fmt_.get(), AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0);
        if (stream_ < 0 || !codec)
            return false;
        const AVStream *st = fmt_->streams[stream_];
        codec_.reset(avcodec_alloc_context3(codec));
        if (!codec_ || avcodec_parameters_to_context(codec_.get(), st->codecpar) < 0)
            return false;
        if (avcodec_open2(codec_.get(), codec, nullptr) < 0)
            return false;
        frameMs = frameMilliseconds(st);
        frame_.reset(av_frame_alloc());
        packet_.reset(av_packet_alloc());
        return frame_ && packet_;
    }

    // Decodes up to kMaxFrames frames into images.
    QList<QImage> readAll()
    {
        QList<QImage> images;
        qint64 bytes = 0;
        int idle = 0;
        bool draining = false;
        while (images.size() < kMaxFrames && bytes < kMaxDecodedBytes) {
            const int got = avcodec_receive_frame(codec_.get(), frame_.get());
            if (got == 0) {
                QImage img = toImage(frame_.get());
                av_frame_unref(frame_.get());
                if (img.isNull())
                    break;
                bytes += img.sizeInBytes();
                images.append(img);
                idle = 0;
                continue;
            }
            if (got != AVERROR(EAGAIN) || draining)
                break;  // end of stream or a decoding error: keep what we have
            if (++idle > kMaxPacketsPerFrame)
                break;
            if (av_read_frame(fmt_.get(), packet_.get()) < 0) {
                avcodec_send_packet(codec_.get(), nullptr);
                draining = true;
                continue;
            }
            if (packet_->stream_index == stream_)
                avcodec_send_packet(codec_.get(), packet_.get());
            av_packet_unref(packet_.get());
        }
        return images;
    }

    int frameMs = 100;

private:
    QImage toImage(const AVFrame *f)
    {
        if (f->width <= 0 || f->height <= 0 || f->width > 16384 || f->height > 16384)
            return QImage();
        const QSize out = targetSize(f->width, f->height);
        // MJPEG clips come as full-range "J" formats, which the scaler wants
        // as the plain format plus a range flag.
        AVPixelFormat format = AVPixelFormat(f->format);
        bool fullRange = f->color_range == AVCOL_RANGE_JPEG;
        switch (format) {
        case AV_PIX_FMT_YUVJ420P: format = AV_PIX_FMT_YUV420P; fullRange = true; break;
        case AV_PIX_FMT_YUVJ422P: format = AV_PIX_FMT_YUV422P; fullRange = true; break;
        case AV_PIX_FMT_YUVJ444P: format = AV_PIX_FMT_YUV444P; fullRange = true; break;
        case AV_PIX_FMT_YUVJ440P: format = AV_PIX_FMT_YUV440P; fullRange = true; break;
        default: break;
        }
        sws_.reset(sws_getCachedContext(sws_.release(), f->width, f->height, format, out.width(), out.height(),
                                        AV_PIX_FMT_RGB32, SWS_BILINEAR, nullptr, nullptr, nullptr));
        if (!sws_)
            return QImage();
        if (fullRange) {
            const int *coeffs = sws_getCoefficients(SWS_CS_DEFAULT);
            sws_setColorspaceDetails(sws_.get(), coeffs, 1, coeffs, 1, 0, 1 << 16, 1 << 16);
        }
        QImage img(out, QImage::Format_RGB32);
        if (img.isNull())
            return QImage();
        uint8_t *dst[4] = {img.bits(), nullptr, nullptr, nullptr};
        const int dstStride[4] = {int(img.bytesPerLine()), 0, 0, 0};
        if (sws_scale(sws_.get(), f->data, f->linesize, 0, f->height, dst, dstStride) <= 0)
            return QImage();
        return img;
    }

    std::unique_ptr<AVFormatContext, FormatCloser> fmt_;
    std::unique_ptr<AVCodecContext, CodecCloser> codec_;
    std::unique_ptr<AVFrame, FrameCloser> frame_;
    std::unique_ptr<AVPacket, PacketCloser> packet_;
    std::unique_ptr<SwsContext, ScaleCloser> sws_;
    int stream_ = -1;
};

}  // namespace
#endif  // TOBRA_WITH_FFMPEG

CopyAnimation::CopyAnimation(QWidget *parent) : QLabel(parent)
{
    setObjectName(QStringLiteral("Animation1"));
    setAccessibleName(QStringLiteral("Copy animation"));
    setAlignment(Qt::AlignCenter);
    connect(&timer_, &QTimer::timeout, this, [this] {
        if (!frames_.isEmpty())
            showFrame((current_ + 1) % int(frames_.size()));
    });
}

CopyAnimation::~CopyAnimation() = default;

bool CopyAnimation::Open(const QString &path)
{
    Close();
#ifdef TOBRA_WITH_FFMPEG
    const QString fsPath = toFileSystemPath(path);
    if (!QFileInfo(fsPath).isFile())
        return false;
    // A damaged clip is simply not shown; FFmpeg need not say so on stderr.
    av_log_set_level(AV_LOG_QUIET);
    ClipReader reader;
    if (!reader.open(fsPath))
        return false;
    QList<QImage> images = reader.readAll();
    if (images.isEmpty())
        return false;
    frames_ = std::move(images);
    frameMs_ = reader.frameMs;
    showFrame(0);
    return true;
#else
    Q_UNUSED(path);
    return false;  // built without FFmpeg: no clip is ever shown
#endif
}

void CopyAnimation::Close()
{
    Stop();
    frames_.clear();
    current_ = 0;
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

namespace {
QStringList g_clipFolders;
}  // namespace

void setCopyClipFolders(const QStringList &folders)
{
    g_clipFolders = folders;
}

QStringList copyClipSearchFolders()
{
    return g_clipFolders.isEmpty() ? QStringList{platform().programDirectory()} : g_clipFolders;
}

QString findCopyClip(const QStringList &folders)
{
    for (const QString &folder : folders) {
        const QDir dir(folder);
        const QStringList names = dir.entryList(QDir::Files);
        for (const QString &n : names)
            if (n.compare(QLatin1String("FILECOPY.AVI"), Qt::CaseInsensitive) == 0)
                return dir.filePath(n);
    }
    return QString();
}

}  // namespace tobra
