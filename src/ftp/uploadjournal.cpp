#include "ftp/uploadjournal.h"

#include "support/runlog.h"
#include "support/statefolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLockFile>
#include <QSaveFile>

#ifndef Q_OS_WIN
#include <cerrno>
#include <csignal>
#include <unistd.h>
#endif

namespace tobra {

namespace {

constexpr int kLockWaitMs = 5000;
// A journal larger than this is not ours to trust.
constexpr qint64 kMaxJournalBytes = 4 * 1024 * 1024;

bool processRunning(qint64 pid)
{
#ifdef Q_OS_WIN
    Q_UNUSED(pid);
    return false;
#else
    if (pid <= 0 || pid == qint64(::getpid()))
        return false;
    return ::kill(pid_t(pid), 0) == 0 || errno == EPERM;
#endif
}

QJsonObject toJson(const JournalEntry &e)
{
    return {{"server", e.server},   {"folder", e.folder},
            {"name", e.name},       {"temp", e.temp},
            {"local", e.local},     {"size", QString::number(e.size)},
            {"modified", QString::number(e.modified)},
            {"started", e.started.toUTC().toString(Qt::ISODateWithMs)},
            {"pid", QString::number(e.pid)}};
}

std::optional<JournalEntry> fromJson(const QJsonObject &o)
{
    JournalEntry e;
    e.server = o.value("server").toString();
    e.folder = o.value("folder").toString();
    e.name = o.value("name").toString();
    e.temp = o.value("temp").toString();
    e.local = o.value("local").toString();
    bool sizeOk = false, modifiedOk = false, pidOk = false;
    e.size = o.value("size").toString().toLongLong(&sizeOk);
    e.modified = o.value("modified").toString().toLongLong(&modifiedOk);
    e.pid = o.value("pid").toString().toLongLong(&pidOk);
    e.started = QDateTime::fromString(o.value("started").toString(), Qt::ISODateWithMs);
    if (e.server.isEmpty() || e.folder.isEmpty() || e.name.isEmpty() || e.temp.isEmpty() || e.local.isEmpty()
        || !sizeOk || !modifiedOk || !pidOk || !e.started.isValid())
        return std::nullopt;
    return e;
}

}  // namespace

UploadJournal::UploadJournal(const QString &path) : path_(path) {}

QString UploadJournal::defaultPath()
{
    return stateFolder() + QStringLiteral("/uploads.journal");
}

QList<JournalEntry> UploadJournal::load() const
{
    QFile f(path_);
    if (!f.exists())
        return {};
    if (!f.open(QIODevice::ReadOnly) || f.size() > kMaxJournalBytes) {
        logLine(QStringLiteral("journal"), QStringLiteral("%1 cannot be read; it is ignored").arg(path_));
        return {};
    }
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(f.readAll(), &error);
    if (error.error != QJsonParseError::NoError || !doc.isArray()) {
        logLine(QStringLiteral("journal"), QStringLiteral("%1 is damaged; it is ignored").arg(path_));
        return {};
    }
    const QDateTime oldest = QDateTime::currentDateTimeUtc().addDays(-kKeepDays);
    QList<JournalEntry> entries;
    for (const QJsonValue &v : doc.array()) {
        const std::optional<JournalEntry> e = fromJson(v.toObject());
        if (e && e->started >= oldest)
            entries.append(*e);
    }
    return entries;
}

QList<JournalEntry> UploadJournal::entries() const
{
    return load();
}

template <typename Change>
void UploadJournal::update(Change change)
{
    // Local paths are nobody else's business: a private folder and file.
    if (path_ == defaultPath())
        makeStateFolder();
    else
        QDir().mkpath(QFileInfo(path_).absolutePath());
    QLockFile lock(path_ + QStringLiteral(".lock"));
    // A lock left by a crashed run is taken over.
    lock.setStaleLockTime(30000);
    if (!lock.tryLock(kLockWaitMs)) {
        logLine(QStringLiteral("journal"), QStringLiteral("%1 is locked; not updated").arg(path_));
        return;
    }
    QList<JournalEntry> entries = load();
    change(entries);
    QJsonArray array;
    for (const JournalEntry &e : entries)
        array.append(toJson(e));
    if (!writePrivateFile(path_, QJsonDocument(array).toJson(QJsonDocument::Indented)))
        logLine(QStringLiteral("journal"), QStringLiteral("%1 cannot be written").arg(path_));
}

std::optional<JournalEntry> UploadJournal::find(const JournalEntry &target) const
{
    for (const JournalEntry &e : load())
        if (e.sameTarget(target) && !processRunning(e.pid))
            return e;
    return std::nullopt;
}

void UploadJournal::put(const JournalEntry &e)
{
    update([&](QList<JournalEntry> &entries) {
        entries.removeIf([&](const JournalEntry &old) { return old.sameTarget(e) && !processRunning(old.pid); });
        entries.append(e);
    });
}

void UploadJournal::remove(const JournalEntry &e)
{
    update([&](QList<JournalEntry> &entries) {
        entries.removeIf([&](const JournalEntry &old) { return old.sameTarget(e) && old.temp == e.temp; });
    });
}

}  // namespace tobra
