#pragma once

#include <QObject>
#include <QPointer>

#include <functional>
#include <memory>
#include <vector>

class QAbstractButton;
class QWidget;

namespace tobra {

// What the blocker asks of the operation it guards.
struct GuardedOperation {
    // True while one of the operation's event handlers runs (input for a
    // message box it shows must pass).
    std::function<bool()> inEventHandler;
    // True while a transfer runs (closing a window then asks to cancel it).
    std::function<bool()> transferRunning;
    std::function<void()> requestCancel;
};

// Keeps user input away from the windows while an operation (the FTP
// component) waits, so no second operation starts. The Cancel button and
// Escape still cancel a transfer, and closing a window during one asks
// whether to cancel it. Input for a message box shown by one of the
// operation's event handlers passes. Installed by the operation for the
// length of each wait.
class TransferInputBlocker : public QObject {
public:
    explicit TransferInputBlocker(GuardedOperation operation, QObject *parent = nullptr);
    // Guards anything that answers the three calls of GuardedOperation by
    // those names, as the FTP component does; it must outlive the blocker.
    template <typename Operation>
    explicit TransferInputBlocker(Operation &op, QObject *parent = nullptr)
        : TransferInputBlocker(GuardedOperation{[&op] { return op.inEventHandler(); },
                                                [&op] { return op.transferRunning(); },
                                                [&op] { op.requestCancel(); }},
                               parent)
    {
    }

    void setCancelButton(QAbstractButton *button);
    // A stoppable owner lets every wait but a transfer be stopped: Escape
    // cancels it, a close reaches the window (which closes once the wait
    // ends), and typing is held and handed on by replayHeldKeys().
    void setWaitStoppable(bool stoppable) { stoppable_ = stoppable; }
    // Delivers the keys typed during the waits, in order, to where they were typed.
    void replayHeldKeys();
    // The window whose close was agreed to during a transfer, once; the
    // window closes itself when the transfer has ended.
    QWidget *takeCloseRequest();

    bool eventFilter(QObject *watched, QEvent *event) override;

    // The question asked when a window is closed during a transfer.
    static QString closeQuestion();

private:
    void askToCancel(QWidget *window);

    GuardedOperation op_;
    QPointer<QAbstractButton> cancel_;
    QPointer<QWidget> closeRequest_;
    bool asking_ = false;
    bool stoppable_ = false;
    struct HeldKey {
        QPointer<QObject> target;
        std::unique_ptr<QEvent> event;
    };
    std::vector<HeldKey> held_;
};

}  // namespace tobra
