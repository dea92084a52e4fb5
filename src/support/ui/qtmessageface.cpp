#include "support/ui/qtmessageface.h"

#include <QApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QMessageBox>
#include <QWidget>

namespace tobra {

namespace {

// The window a message belongs to: the active one, else a shown window (a
// message of a start-up or of a wait can come while none is active), so a
// box never stands alone on the desktop.
QWidget *ownerWindow()
{
    if (QWidget *w = QApplication::activeWindow())
        return w;
    QWidget *shown = nullptr;
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (!w->isVisible() || (w->windowType() != Qt::Window && w->windowType() != Qt::Dialog))
            continue;
        // A dialog over its window is the nearer owner.
        if (!shown || w->windowType() == Qt::Dialog)
            shown = w;
    }
    return shown;
}

}  // namespace

MsgAnswer QtMessageFace::show(const QString &text, int style, const QString &title)
{
    QMessageBox box(ownerWindow());
    box.setWindowTitle(title);
    box.setText(text);
    // Read out with the box, not only when the user goes looking for it.
    box.setAccessibleDescription(text);
    switch (style & 0x70) {
    case MsgStyle::Critical: box.setIcon(QMessageBox::Critical); break;
    case MsgStyle::Question: box.setIcon(QMessageBox::Question); break;
    case MsgStyle::Exclamation: box.setIcon(QMessageBox::Warning); break;
    case MsgStyle::Information: box.setIcon(QMessageBox::Information); break;
    default: box.setIcon(QMessageBox::NoIcon); break;
    }
    struct Button {
        QMessageBox::StandardButton qt;
        MsgAnswer answer;
    };
    QList<Button> buttons;
    switch (style & 7) {
    case 1: buttons = {{QMessageBox::Ok, MsgAnswer::Ok}, {QMessageBox::Cancel, MsgAnswer::Cancel}}; break;
    case MsgStyle::AbortRetryIgnore:
        buttons = {{QMessageBox::Abort, MsgAnswer::Abort},
                   {QMessageBox::Retry, MsgAnswer::Retry},
                   {QMessageBox::Ignore, MsgAnswer::Ignore}};
        break;
    case 3:
        buttons = {{QMessageBox::Yes, MsgAnswer::Yes},
                   {QMessageBox::No, MsgAnswer::No},
                   {QMessageBox::Cancel, MsgAnswer::Cancel}};
        break;
    case MsgStyle::YesNo: buttons = {{QMessageBox::Yes, MsgAnswer::Yes}, {QMessageBox::No, MsgAnswer::No}}; break;
    case 5: buttons = {{QMessageBox::Retry, MsgAnswer::Retry}, {QMessageBox::Cancel, MsgAnswer::Cancel}}; break;
    default: buttons = {{QMessageBox::Ok, MsgAnswer::Ok}}; break;
    }
    QMessageBox::StandardButtons all;
    for (const Button &b : buttons)
        all |= b.qt;
    box.setStandardButtons(all);
    const qsizetype preferred = (style & MsgStyle::DefaultButton2) && buttons.size() > 1 ? 1 : 0;
    box.setDefaultButton(buttons.at(preferred).qt);
    // A question asked in the middle of a wait is answered with the normal
    // pointer, not the hourglass.
    const bool waiting = QGuiApplication::overrideCursor() != nullptr;
    if (waiting)
        QGuiApplication::setOverrideCursor(QCursor(Qt::ArrowCursor));
    const int clicked = box.exec();
    if (waiting)
        QGuiApplication::restoreOverrideCursor();
    for (const Button &b : buttons)
        if (clicked == b.qt)
            return b.answer;
    // Closed with Escape or the title bar: the cancelling button.
    return buttons.size() > 1 ? buttons.last().answer : buttons.first().answer;
}

}  // namespace tobra
