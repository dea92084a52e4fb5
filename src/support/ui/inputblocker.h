#pragma once

#include <QObject>
#include <QPointer>

#include <memory>
#include <vector>

class QAbstractButton;
class QWidget;

namespace tobra {

class FtpClient;

// Keeps user input away from the windows while the FTP component waits, so
// no second operation starts. The Cancel button and Escape still cancel a
// transfer, and closing a window during one asks whether to cancel it.
// Input for a message box shown by one of the component's event handlers
// passes. Installed by the component for the length of each wait.
class TransferInputBlocker : public QObject {
public:
    explicit TransferInputBlocker(FtpClient &ftp, QObject *parent = nullptr);

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

    FtpClient &ftp_;
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
