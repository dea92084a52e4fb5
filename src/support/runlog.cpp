#include "support/runlog.h"

#include "support/statefolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QUrl>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>

namespace tobra {

namespace {

const QString kMask = QStringLiteral("*****");
// A file this big or bigger is moved to "<name>.1" before the next line.
constexpr qint64 rotateSize = 1024 * 1024;

// Blanks out whatever would let one call show up as several lines (or move
// the cursor about in the viewer of the support staff).
QString oneLine(QString text)
{
    if (std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() >= 0x20 && c.unicode() < 0x7f; }))
        return text;
    for (QChar &c : text) {
        const QChar::Category cat = c.category();
        if (cat == QChar::Other_Control || cat == QChar::Separator_Line
            || cat == QChar::Separator_Paragraph)
            c = QLatin1Char(' ');
    }
    return text;
}

// Keeps exactly one older file; a failed rename just means appending on.
void moveAside(const QString &path)
{
    const QString older = path + QStringLiteral(".1");
    QFile::remove(older);
    QFile::rename(path, older);
}

}  // namespace

RunLog &RunLog::instance()
{
    static RunLog log;
    return log;
}

RunLog::~RunLog()
{
    file_.close();
}

QString RunLog::defaultPath()
{
    return stateFolder() + QStringLiteral("/tobra.log");
}

bool RunLog::openDefault()
{
    return makeStateFolder() && open(defaultPath(), true);
}

bool RunLog::open(const QString &path, bool rotate)
{
    std::lock_guard lock(mutex_);
    rotate_ = rotate;
    return openLocked(path);
}

bool RunLog::openLocked(const QString &path)
{
    file_.close();
    if (path.isEmpty())
        return false;
    const QFileInfo info(path);
    if (!QDir().mkpath(info.absolutePath()))
        return false;
    file_.setFileName(info.absoluteFilePath());
    createPrivateFile(file_.fileName());
    // A file already over the limit is moved aside by the first write().
    // Unbuffered: every line is one write() on an O_APPEND file, so it is on
    // disk if the program dies and whole even when two runs share the file.
    if (!file_.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
        return false;
    size_ = file_.size();
    return true;
}

void RunLog::rotateLocked()
{
    const QString name = file_.fileName();
    // Closed first: Windows does not rename open files.
    file_.close();
    moveAside(name);
    createPrivateFile(name);
    if (file_.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
        size_ = file_.size();
}

void RunLog::close()
{
    std::lock_guard lock(mutex_);
    file_.close();
}

bool RunLog::isOpen() const
{
    std::lock_guard lock(mutex_);
    return file_.isOpen();
}

QString RunLog::path() const
{
    std::lock_guard lock(mutex_);
    return file_.isOpen() ? file_.fileName() : QString();
}

void RunLog::addSecret(const QString &secret)
{
    // Stored as they look after oneLine(), since masking runs on that text.
    QStringList forms{oneLine(secret)};
    // Inside a URL the password is percent-encoded.
    forms << oneLine(QString::fromLatin1(QUrl::toPercentEncoding(secret)));
    std::lock_guard lock(mutex_);
    for (const QString &s : forms) {
        if (!s.isEmpty() && !secrets_.contains(s))
            secrets_ << s;
    }
    std::stable_sort(secrets_.begin(), secrets_.end(),
                     [](const QString &a, const QString &b) { return a.size() > b.size(); });
}

QString RunLog::maskLocked(QString text) const
{
    for (const QString &s : secrets_)
        text.replace(s, kMask);
    return text;
}

QByteArray RunLog::stampLocked()
{
    const qint64 ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                          std::chrono::system_clock::now().time_since_epoch())
                          .count();
    const qint64 second = ms / 1000;
    if (second != stampSecond_) {
        const std::time_t t = std::time_t(second);
        std::tm local{};
#ifdef Q_OS_WIN
        localtime_s(&local, &t);
#else
        localtime_r(&t, &local);
#endif
        char text[32];
        std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
        stampPrefix_ = text;
        stampSecond_ = second;
    }
    char rest[48];
    std::snprintf(rest, sizeof rest, ".%03d [%lld] ", int(ms % 1000), static_cast<long long>(QCoreApplication::applicationPid()));
    return stampPrefix_ + rest;
}

void RunLog::write(const QString &kind, const QString &text)
{
    std::lock_guard lock(mutex_);
    if (!file_.isOpen())
        return;
    // Made one line before masking, so a secret cut by a line break in the
    // text cannot come out whole once the break is a blank.
    const QString body = maskLocked(oneLine(kind + QLatin1Char(' ') + text));
    const QByteArray line = stampLocked() + (body + QLatin1Char('\n')).toUtf8();
    if (rotate_ && size_ >= rotateSize) {
        rotateLocked();
        if (!file_.isOpen())
            return;
    }
    const qint64 n = file_.write(line);
    if (n > 0)
        size_ += n;
}

void logLine(const QString &kind, const QString &text)
{
    RunLog::instance().write(kind, text);
}

}  // namespace tobra
