#pragma once

#include "backup/productprofile.h"

#include <QEventLoop>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

class QAbstractButton;

namespace tobra {

class FtpClient;
class RunInputBlocker;

// CHAT.INI [PREFERENCES] SESSIONS: how many sessions a backup run sends its
// files over, the window's own one included. 1 to 4; a missing or bad value
// gives the default, 3.
constexpr int kDefaultBackupSessions = 3;
constexpr int kMaxBackupSessions = 4;
int parseBackupSessions(const QString &text);
int backupSessionsFromSettings();

// One backup run of a product window: which files of the list are sent,
// the sessions that send them, what became of each file and one progress of
// them all. The window keeps its controls and events; it hands the run its
// session and two steps only it knows (connecting, opening the company
// folder) and shows what the run reports.
//
// Sessions: the window's own FtpClient, driven on this (the window's)
// thread, where each operation waits in a local event loop as always; and
// up to SESSIONS - 1 more, each an FtpClient of the run driven on a thread
// of its own, where PutFile runs libcurl directly (FtpClient waits in an
// event loop only on the application's thread). They log in when the run
// starts sending and log out when it has sent. Each file goes over one
// session, with its own temporary name and proof; files that share a server
// name go one after the other, in list order, so the later one stays, as
// with one session.
class BackupRun : public QObject {
    Q_OBJECT
public:
    struct Hooks {
        // Connects the window's session when it is not, telling the user why
        // not; true when it is connected.
        std::function<bool()> connect;
        // Opens the company folder on the window's session: its server path,
        // or "" and *reason (why no file can be sent).
        std::function<QString(QString *reason)> openFolder;
    };

    BackupRun(FtpClient &primary, Hooks hooks, QObject *parent = nullptr);
    // Waits for the other sessions to log out.
    ~BackupRun() override;
    BackupRun(const BackupRun &) = delete;
    BackupRun &operator=(const BackupRun &) = delete;

    void setSessions(int sessions);
    // The window's input blocker (installed by its session during each
    // operation) and Cancel button: while the run waits for the other
    // sessions alone it keeps input away the same way.
    void setInputBlocking(QObject *windowBlocker, QAbstractButton *cancelButton);

    // Sends the files that the entries of get.INI name below dataFolder, in
    // that order as far as the answers and the sessions go; returns when
    // every file is sent or given up.
    void run(const QString &dataFolder, const QStringList &entries);
    // Stops every session at once; each removes its temporary file.
    void cancel();
    // The window's session lost its connection during the run: asks whether
    // to reconnect (once a run: the answer holds for every session) and does.
    void primaryLost();

    const RunRecord &record() const { return record_; }
    // The connection failed or the user declined to reconnect: the window
    // need not ask the server for its folder again.
    bool offline() const { return offline_ || declined_; }
    // A window was closed during the run and the user agreed to cancel.
    bool closeRequested() const { return closeRequested_; }
    static QString cancelledReason();
    static QString skippedReason();

signals:
    // A session starts sending path (its full local path).
    void fileStarted(const QString &path);
    // Bytes sent of all files to send, and files finished of all listed.
    // The window's session counts its bytes as they go, the others theirs
    // when a file is done.
    void progressed(qint64 bytesDone, qint64 bytesTotal, int filesFinished, int filesListed);
    // Status lines of the other sessions.
    void statusMessage(const QString &text);

private:
    struct Item {
        int entry;          // index in get.INI's list
        QString path;       // full local path
        QString name;       // the name the run reports
        QString remoteName; // the name on the server
        qint64 size = 0;
    };
    enum class Result { None, Sent, Missing, Failed, HandBack };
    struct Outcome {
        Result result = Result::None;
        QString path, name, reason;
    };
    struct Session;

    void prepare(const QString &dataFolder, const QStringList &entries);
    void send();
    void startSessions(int count);
    void drive(Session &s);
    void sendOnPrimary(int item);
    // Sends an item and lets it go (a lost one back to the queue, once).
    Outcome sendItem(FtpClient &ftp, int item);
    Outcome put(FtpClient &ftp, const Item &item) const;
    void started(int item);
    void finished(int item, const Outcome &o);
    void settle(int entry, const Outcome &o);
    void reportProgress();

    // The queue of items to send, shared by every session.
    int take();          // the next item free to send, or -1
    int takeLocked();    // the same, with mutex_ held
    int takeWaiting();   // the same, waiting while only a busy name is left
    // Done with an item; a lost one goes back to the queue's head (true),
    // once, for another session.
    bool release(int item, bool lost, const QString &reason);
    bool stopped() const { return cancelled_ || declined_; }

    // The one question of a run about a lost connection.
    int decide(bool forSession);
    bool awaitDecision();
    void post(std::function<void()> fn);
    void wake();
    void waitForSessions();

    FtpClient &primary_;
    Hooks hooks_;
    int sessionCount_ = kDefaultBackupSessions;
    QObject *windowBlocker_ = nullptr;
    std::unique_ptr<RunInputBlocker> blocker_;

    RunRecord record_;
    std::vector<Item> items_;            // written before the sessions start
    std::vector<Outcome> outcomes_;      // by entry; this thread only
    QString remoteFolder_;
    QString host_;
    qint64 bytesTotal_ = 0, bytesDone_ = 0, primaryBytes_ = 0;
    int primaryItem_ = -1;
    int filesFinished_ = 0;
    bool primaryAlive_ = true;
    bool closeRequested_ = false;
    bool offline_ = false;

    std::vector<std::unique_ptr<Session>> sessions_;
    int sessionsSending_ = 0;

    std::mutex mutex_;
    std::condition_variable queueChanged_;
    std::condition_variable decided_;
    std::deque<int> queue_;              // items, in list order
    std::vector<int> handBacks_;         // by item
    std::vector<QString> lastError_;     // by item: why its session let it go
    QSet<QString> busyNames_;            // server names being sent
    enum class Decision { None, Reconnect, Decline } decision_ = Decision::None;
    bool asking_ = false;
    std::atomic<bool> cancelled_{false};
    std::atomic<bool> declined_{false};

    QEventLoop *waiter_ = nullptr;
    bool woken_ = false;
};

}  // namespace tobra
