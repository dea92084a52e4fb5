#pragma once

#include <QObject>
#include <QPointer>

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
};

}  // namespace tobra
