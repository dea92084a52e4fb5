#include "support/ui/inputblocker.h"

#include "support/messages.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QEvent>
#include <QKeyEvent>
#include <QWidget>

namespace tobra {

TransferInputBlocker::TransferInputBlocker(GuardedOperation operation, QObject *parent)
    : QObject(parent), op_(std::move(operation))
{
}

void TransferInputBlocker::setCancelButton(QAbstractButton *button) { cancel_ = button; }

QWidget *TransferInputBlocker::takeCloseRequest()
{
    QWidget *w = closeRequest_;
    closeRequest_ = nullptr;
    return w;
}

QString TransferInputBlocker::closeQuestion()
{
    return QStringLiteral("A file is being sent. Cancel the upload and close the window?");
}

void TransferInputBlocker::askToCancel(QWidget *window)
{
    asking_ = true;
    const MsgAnswer a = Messages::show(closeQuestion(), MsgStyle::YesNo | MsgStyle::Question, programTitle());
    asking_ = false;
    if (a == MsgAnswer::Yes && op_.transferRunning()) {
        closeRequest_ = window;
        op_.requestCancel();
    }
}

namespace {
// Enough for a typed line; beyond it keys are dropped.
constexpr std::size_t kMaxHeldKeys = 512;
}  // namespace

void TransferInputBlocker::replayHeldKeys()
{
    std::vector<HeldKey> keys;
    keys.swap(held_);
    for (HeldKey &k : keys)
        if (k.target)
            QCoreApplication::postEvent(k.target, k.event.release());
}

bool TransferInputBlocker::eventFilter(QObject *watched, QEvent *event)
{
    if (asking_ || op_.inEventHandler())
        return false;
    const bool widget = watched->isWidgetType();
    if (stoppable_ && widget && !op_.transferRunning()) {
        switch (event->type()) {
        case QEvent::KeyPress:
            if (static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape) {
                op_.requestCancel();
                return true;
            }
            [[fallthrough]];
        case QEvent::KeyRelease:
            if (held_.size() < kMaxHeldKeys)
                held_.push_back({watched, std::unique_ptr<QEvent>(static_cast<QKeyEvent *>(event)->clone())});
            return true;
        case QEvent::Close:
            // The window decides: it stops the wait and closes after it.
            return false;
        default:
            break;
        }
    }
    const bool toCancel = widget && cancel_ && watched == cancel_.data() && cancel_->isEnabled();
    switch (event->type()) {
    case QEvent::KeyPress:
        if (widget && static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape && cancel_ && cancel_->isEnabled()) {
            cancel_->click();
            return true;
        }
        return widget;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::KeyRelease:
    case QEvent::Wheel:
    case QEvent::ContextMenu:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
        // Window-level events are passed on so Qt can deliver them to the
        // widget under them, where they are judged.
        return widget && !toCancel;
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
        // Shortcuts reach actions, which are not widgets.
        return true;
    case QEvent::Close:
        if (widget) {
            // A close event starts out accepted; ignoring it keeps the window.
            event->ignore();
            if (op_.transferRunning())
                askToCancel(static_cast<QWidget *>(watched));
            return true;
        }
        return false;
    default:
        return false;
    }
}

}  // namespace tobra
