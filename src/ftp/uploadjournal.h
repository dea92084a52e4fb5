#pragma once

// Unfinished uploads of this installation, so a later run (after a crash,
// a power cut or a closed laptop) resumes its own temporary file instead
// of sending everything again. Kept in the state folder beside the log.

#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>

namespace tobra {

struct JournalEntry {
    QString server;      // "host:port"
    QString folder;      // absolute remote folder
    QString name;        // final remote name
    QString temp;        // temporary remote name
    QString local;       // absolute local path
    qint64 size = 0;     // of the local file when the upload started
    qint64 modified = 0; // ms since the epoch, of the local file
    QDateTime started;   // UTC
    qint64 pid = 0;      // the process sending it

    // Same upload target: the same local file to the same folder.
    bool sameTarget(const JournalEntry &o) const
    {
        return server == o.server && folder == o.folder && local == o.local;
    }
};

class UploadJournal {
public:
    explicit UploadJournal(const QString &path = defaultPath());
    static QString defaultPath();

    // The entry of an earlier run for this target, unless its run is still
    // going (another upload of this installation is sending it now).
    std::optional<JournalEntry> find(const JournalEntry &target) const;
    // Adds e, replacing an entry for the same target.
    void put(const JournalEntry &e);
    // Removes the entry for e's target whose temporary name is e.temp.
    void remove(const JournalEntry &e);

    // Every entry as stored, for tests.
    QList<JournalEntry> entries() const;

    // Entries older than this are dropped.
    static constexpr int kKeepDays = 7;

private:
    // Reads, changes and writes the file under a lock, so two programs
    // running at once keep each other's entries.
    template <typename Change>
    void update(Change change);
    QList<JournalEntry> load() const;

    QString path_;
};

}  // namespace tobra
