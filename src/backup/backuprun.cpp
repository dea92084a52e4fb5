#include "backup/backuprun.h"

#include "ftp/ftpclient.h"
#include "ftp/ftpevents.h"
#include "ftp/ftpsettings.h"
#include "support/globals.h"
#include "support/messages.h"
#include "support/modcommon.h"
#include "support/runlog.h"
#include "support/ui/inputblocker.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QWidget>

#include <thread>

namespace tobra {

int parseBackupSessions(const QString &text)
{
    return wholeNumberOr(text, 1, kMaxBackupSessions, kDefaultBackupSessions);
}

int backupSessionsFromSettings()
{
    return parseBackupSessions(readChatSetting(QStringLiteral("SESSIONS")));
}

// While the run waits for its other sessions alone, input is kept away as
// the window's blocker does during an operation of its own session; a close
// asks whether to cancel the run.
class RunInputBlocker : public TransferInputBlocker {
public:
    RunInputBlocker(FtpClient &ftp, std::function<void()> closeAgreed)
        : TransferInputBlocker(ftp), closeAgreed_(std::move(closeAgreed))
    {
    }

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (asking_)
            return false;
        if (event->type() == QEvent::Close && watched->isWidgetType()) {
            event->ignore();
            asking_ = true;
            const MsgAnswer a = Messages::show(closeQuestion(), MsgStyle::YesNo | MsgStyle::Question, programTitle());
            asking_ = false;
            if (a == MsgAnswer::Yes)
                closeAgreed_();
            return true;
        }
        return TransferInputBlocker::eventFilter(watched, event);
    }

private:
    std::function<void()> closeAgreed_;
    bool asking_ = false;
};

struct BackupRun::Session {
    std::unique_ptr<FtpClient> ftp = std::make_unique<FtpClient>();
    QString host, user, password;
    std::thread thread;
};

BackupRun::BackupRun(FtpClient &primary, Hooks hooks, QObject *parent)
    : QObject(parent), primary_(primary), hooks_(std::move(hooks))
{
    // The window's session reports its bytes as they go.
    connect(&primary_, &FtpClient::TransferProgress, this,
            [this](const QString &, const QString &, qint64, qint64 bytesDone, qint64, bool *) {
                if (primaryItem_ < 0)
                    return;
                primaryBytes_ = bytesDone;
                reportProgress();
            });
}

BackupRun::~BackupRun()
{
    for (const std::unique_ptr<Session> &s : sessions_)
        if (s->thread.joinable())
            s->thread.join();
}

void BackupRun::setSessions(int sessions)
{
    sessionCount_ = qBound(1, sessions, kMaxBackupSessions);
}

void BackupRun::setInputBlocking(QObject *windowBlocker, QAbstractButton *cancelButton)
{
    windowBlocker_ = windowBlocker;
    blocker_ = std::make_unique<RunInputBlocker>(primary_, [this] {
        closeRequested_ = true;
        cancel();
    });
    blocker_->setCancelButton(cancelButton);
}

QString BackupRun::cancelledReason()
{
    return QStringLiteral("not sent: the backup was cancelled");
}

QString BackupRun::skippedReason()
{
    return QStringLiteral("not sent: skipped at your answer");
}

void BackupRun::run(const QString &dataFolder, const QStringList &entries)
{
    record_ = RunRecord();
    record_.listed = int(entries.size());
    outcomes_.assign(entries.size(), Outcome());
    items_.clear();
    prepare(dataFolder, entries);
    if (!items_.empty()) {
        for (const Item &item : items_)
            bytesTotal_ += item.size;
        for (int i = 0; i < int(items_.size()); ++i)
            queue_.push_back(i);
        handBacks_.assign(items_.size(), 0);
        lastError_.assign(items_.size(), QString());
        QString reason;
        remoteFolder_ = hooks_.openFolder(&reason);
        if (remoteFolder_.isEmpty())
            queue_.clear();
        else
            send();
        for (int i = 0; i < int(items_.size()); ++i)
            if (outcomes_[items_[i].entry].result == Result::None) {
                const QString why = cancelled_ ? cancelledReason()
                                    : !reason.isEmpty() ? reason
                                    : !lastError_[i].isEmpty() ? lastError_[i]
                                                               : QStringLiteral("no connection to the server ") + makerHost();
                settle(items_[i].entry, {Result::Failed, items_[i].path, items_[i].name, why});
            }
    }
    for (const Outcome &o : outcomes_) {
        if (o.result == Result::Missing) {
            record_.missingPaths << o.path;
            record_.missingNames << o.name;
        } else if (o.result == Result::Failed) {
            record_.failures.append({o.path, o.name, o.reason});
        }
    }
}

// Each entry in list order, as the run has always gone through them: the
// questions, the folder, a missing file. What is left to send is queued.
void BackupRun::prepare(const QString &dataFolder, const QStringList &entries)
{
    const auto ask = [](const QString &text) {
        return Messages::show(text, MsgStyle::YesNo | MsgStyle::Question) == MsgAnswer::Yes;
    };
    for (int e = 0; e < int(entries.size()); ++e) {
        const QString &entry = entries.at(e);
        const QString path = localFileOfEntry(dataFolder, entry);
        if (cancelled_) {
            settle(e, {Result::Failed, path, entry, cancelledReason()});
            continue;
        }
        if (!isEntryInsideDataFolder(entry)) {
            settle(e, {Result::Failed, path, entry, QStringLiteral("the name does not lie inside the data folder")});
            continue;
        }
        const FileNameParts parts = ParseFileName(path);
        const QString name = uploadFileName(parts.name, parts.ext);
        const auto fail = [&](const QString &reason) { settle(e, {Result::Failed, path, name, reason}); };
        if (!primary_.Connected()) {
            // Asking again for every file would repeat the wait and the
            // message; the rest of the run is reported instead.
            if (!offline_)
                hooks_.connect();
            if (!primary_.Connected()) {
                offline_ = true;
                fail(QStringLiteral("no connection to the server ") + makerHost());
                continue;
            }
        }
        // A file the user chose to skip is not sent, and the run must say so.
        const bool safety = program().SafetyOn;
        if (safety && FileExists(path) && !ask(QStringLiteral("Overwrite ") + path + QStringLiteral(". Are you sure?"))) {
            fail(skippedReason());
            continue;
        }
        // The folder of the path as it stands: a folder named "Data [2024]"
        // is a folder, not the end of a drive prefix.
        const QString folder = localFolderOf(path);
        if (!PathExists(folder)) {
            if (safety && !ask(QStringLiteral("Create the directory ") + folder + QStringLiteral("?"))) {
                fail(skippedReason());
                continue;
            }
            if (folder.isEmpty() || !QDir().mkpath(toFileSystemPath(folder))) {
                fail(QStringLiteral("the folder ") + folder + QStringLiteral(" could not be created"));
                continue;
            }
        } else if (safety && FileExists(path)
                   && !ask(QStringLiteral("Overwrite ") + path + QStringLiteral(".  Are you sure?"))) {
            fail(skippedReason());
            continue;
        }
        if (!FileExists(path)) {
            settle(e, {Result::Missing, path, name, QString()});
            continue;
        }
        items_.push_back({e, path, name, RemoteFileName(path), QFileInfo(toFileSystemPath(path)).size()});
    }
}

// The window's session takes files on this thread while the others take
// theirs on their own; this thread waits (keeping the window painted) when
// its session has nothing to take.
void BackupRun::send()
{
    startSessions(qMin(sessionCount_ - 1, int(items_.size()) - 1));
    for (;;) {
        if (primaryAlive_ && !stopped() && !primary_.Connected()) {
            // Gone without the question (between two files, say): one new
            // login, as each file of a run has always tried.
            primaryAlive_ = hooks_.connect();
            offline_ = !primaryAlive_ && sessions_.empty();
        }
        if (primaryAlive_ && primary_.Connected()) {
            const int i = take();
            if (i >= 0) {
                sendOnPrimary(i);
                continue;
            }
        }
        bool more = false;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            more = !queue_.empty() && !stopped();
        }
        if (sessionsSending_ == 0 && (!more || !primaryAlive_))
            break;
        waitForSessions();
    }
    std::lock_guard<std::mutex> lock(mutex_);
    queue_.clear();
}

void BackupRun::startSessions(int count)
{
    for (int k = 0; k < count; ++k) {
        auto s = std::make_unique<Session>();
        FtpClient *ftp = s->ftp.get();
        ftp->setObjectName(QStringLiteral("FTP%1").arg(k + 2));
        ftp->setTimeouts(primary_.timeouts());
        ftp->setTls(primary_.tls());
        s->host = primary_.Host();
        s->user = ftpUser();
        s->password = ftpPassword();
        // Emitted on the session's thread, inside PutFile: a handler that
        // reconnects there makes the upload resume.
        connect(
            ftp, &FtpClient::ConnectionStateChanged, this,
            [this, ftp](int state) {
                if (state != FtpStateLost)
                    return;
                if (awaitDecision()) {
                    try {
                        ftp->Reconnect();
                    } catch (const FtpError &e) {
                        logLine(QStringLiteral("retry"), e.description());
                    }
                }
            },
            Qt::DirectConnection);
        // Reply lines come on this thread; the rest is queued from the session's.
        connect(ftp, &FtpClient::StatusMessage, this, [this](const QString &text) { emit statusMessage(text); });
        connect(ftp, &FtpClient::TransferComplete, this, [this](const QString &remote, const QString &local, bool down) {
            emit statusMessage(transferCompleteLine(remote, local, down));
        });
        connect(ftp, &FtpClient::TransferCancelled, this, [this](const QString &remote, const QString &local, bool down) {
            emit statusMessage(transferCancelledLine(remote, local, down));
        });
        ++sessionsSending_;
        Session *raw = s.get();
        sessions_.push_back(std::move(s));
        raw->thread = std::thread([this, raw] { drive(*raw); });
    }
}

// One of the other sessions, on its own thread: log in, send what the queue
// gives until it is empty, log out. Everything the window shows is posted.
void BackupRun::drive(Session &s)
{
    FtpClient &ftp = *s.ftp;
    bool connected = false;
    if (!stopped()) {
        try {
            ftp.Connect(s.host, s.user, s.password, kFtpPort);
            connected = true;
        } catch (const FtpError &e) {
            // The files go over the sessions that did log in.
            logLine(QStringLiteral("backup"), QStringLiteral("%1 could not log in: %2").arg(ftp.objectName(), e.description()));
        }
    }
    while (connected) {
        const int i = takeWaiting();
        if (i < 0)
            break;
        post([this, i] { started(i); });
        const Outcome o = sendItem(ftp, i);
        post([this, i, o] { finished(i, o); });
        if (o.result == Result::HandBack)
            break;
    }
    post([this] {
        --sessionsSending_;
        wake();
    });
    if (ftp.Connected()) {
        try {
            ftp.Disconnect();
        } catch (const FtpError &) {
            // Already gone.
        }
    }
}

void BackupRun::sendOnPrimary(int i)
{
    primaryItem_ = i;
    primaryBytes_ = 0;
    started(i);
    const Outcome o = sendItem(primary_, i);
    primaryItem_ = -1;
    primaryBytes_ = 0;
    // The window's blocker cancels its session alone (a close agreed to
    // during an upload): that stops the run.
    if (primary_.cancelRequested() && !cancelled_)
        cancel();
    finished(i, o);
}

BackupRun::Outcome BackupRun::sendItem(FtpClient &ftp, int i)
{
    Outcome o = put(ftp, items_[i]);
    const bool lost = o.result == Result::HandBack;
    if (!release(i, lost, o.reason) && lost)
        o.result = Result::Failed;
    return o;
}

BackupRun::Outcome BackupRun::put(FtpClient &ftp, const Item &item) const
{
    Outcome o{Result::Sent, item.path, item.name, QString()};
    QString folder = localFolderOf(item.path);
    ftp.setLocalDirectory(toFileSystemPath(StripRChar(folder)));
    try {
        // Naming the folder keeps the file out of the login folder even when
        // the session was opened again since the folder was opened.
        ftp.PutFile(toFileSystemPath(item.path), remoteFolder_);
    } catch (const FtpError &e) {
        o.reason = e.description();
        if (e.number() == kErrCancelled || (cancelled_ && !ftp.Connected())) {
            o.result = Result::Failed;
            o.reason = cancelledReason();
        } else {
            // Not connected: the connection went and did not come back. The
            // file goes to another session (once).
            o.result = ftp.Connected() || declined_ ? Result::Failed : Result::HandBack;
        }
    } catch (const std::exception &e) {
        o.result = Result::Failed;
        o.reason = QString::fromLocal8Bit(e.what());
    }
    return o;
}

void BackupRun::started(int i)
{
    emit fileStarted(items_[i].path);
    reportProgress();
}

void BackupRun::finished(int i, const Outcome &o)
{
    if (o.result != Result::HandBack) {
        if (o.result == Result::Sent) {
            bytesDone_ += items_[i].size;
            ++record_.sent;
        } else {
            bytesTotal_ -= items_[i].size;
        }
        settle(items_[i].entry, o);
        reportProgress();
    }
    wake();
}

void BackupRun::settle(int entry, const Outcome &o)
{
    outcomes_[entry] = o;
    ++filesFinished_;
}

void BackupRun::reportProgress()
{
    emit progressed(bytesDone_ + primaryBytes_, bytesTotal_, filesFinished_, record_.listed);
}

int BackupRun::take()
{
    std::lock_guard<std::mutex> lock(mutex_);
    return takeLocked();
}

int BackupRun::takeLocked()
{
    if (stopped())
        return -1;
    for (auto it = queue_.begin(); it != queue_.end(); ++it) {
        const QString &name = items_[*it].remoteName;
        if (busyNames_.contains(name))
            continue;
        const int i = *it;
        queue_.erase(it);
        busyNames_.insert(name);
        return i;
    }
    return -1;
}

int BackupRun::takeWaiting()
{
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        const int i = takeLocked();
        if (i >= 0 || stopped() || queue_.empty())
            return i;
        // Only names another session is sending are left: wait for one.
        queueChanged_.wait(lock);
    }
}

bool BackupRun::release(int i, bool lost, const QString &reason)
{
    std::lock_guard<std::mutex> lock(mutex_);
    busyNames_.remove(items_[i].remoteName);
    const bool handBack = lost && handBacks_[i] == 0 && !stopped();
    if (handBack) {
        ++handBacks_[i];
        lastError_[i] = reason;
        queue_.push_front(i);
    }
    queueChanged_.notify_all();
    return handBack;
}

void BackupRun::cancel()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        cancelled_ = true;
    }
    primary_.requestCancel();
    for (const std::unique_ptr<Session> &s : sessions_)
        s->ftp->requestCancel();
    queueChanged_.notify_all();
    decided_.notify_all();
}

// 1: reconnect, 0: do not, -1: the question is being asked right now.
int BackupRun::decide(bool forSession)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (decision_ != Decision::None)
            return decision_ == Decision::Reconnect ? 1 : 0;
        if (asking_)
            return -1;
        asking_ = true;
    }
    // Asked for another session while this thread waits: the blocker that
    // keeps input from the window meanwhile must let the answer through.
    QObject *filter = forSession ? (waiter_ ? static_cast<QObject *>(blocker_.get()) : windowBlocker_) : nullptr;
    if (filter)
        QCoreApplication::instance()->removeEventFilter(filter);
    const bool yes = Messages::show(connectionLostQuestion(primary_.Host()), MsgStyle::YesNo | MsgStyle::Question,
                                    QStringLiteral("Connection lost"))
                     == MsgAnswer::Yes;
    if (filter)
        QCoreApplication::instance()->installEventFilter(filter);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        asking_ = false;
        decision_ = yes ? Decision::Reconnect : Decision::Decline;
        // Declining ends the tries of this run: what is left is reported.
        declined_ = !yes;
    }
    decided_.notify_all();
    queueChanged_.notify_all();
    wake();
    return yes ? 1 : 0;
}

bool BackupRun::awaitDecision()
{
    post([this] { decide(true); });
    std::unique_lock<std::mutex> lock(mutex_);
    decided_.wait(lock, [this] { return decision_ != Decision::None || cancelled_; });
    return decision_ == Decision::Reconnect && !cancelled_;
}

void BackupRun::primaryLost()
{
    const int answer = decide(false);
    if (answer < 0)
        return;  // the upload fails and goes to another session
    if (answer > 0 && !cancelled_) {
        try {
            primary_.Reconnect();
        } catch (const FtpError &e) {
            reportReconnectFailure(e);
            // No further tries on this session; the others go on.
            primaryAlive_ = false;
            offline_ = sessions_.empty();
        }
    } else if (primary_.Connected()) {
        try {
            primary_.Disconnect();
        } catch (const FtpError &) {
            // Already gone.
        }
    }
}

void BackupRun::post(std::function<void()> fn)
{
    QMetaObject::invokeMethod(this, std::move(fn), Qt::QueuedConnection);
}

void BackupRun::wake()
{
    woken_ = true;
    if (waiter_)
        waiter_->quit();
}

void BackupRun::waitForSessions()
{
    QEventLoop loop;
    waiter_ = &loop;
    woken_ = false;
    QCoreApplication *app = QCoreApplication::instance();
    if (blocker_)
        app->installEventFilter(blocker_.get());
    loop.exec();
    if (blocker_)
        app->removeEventFilter(blocker_.get());
    waiter_ = nullptr;
    if (!woken_) {
        // The application is quitting: exec() returns at once from now on.
        cancel();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

}  // namespace tobra
