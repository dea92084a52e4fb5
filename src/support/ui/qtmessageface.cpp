#include "support/ui/qtmessageface.h"

#include <QApplication>
#include <QMessageBox>

namespace tobra {

MsgAnswer QtMessageFace::show(const QString &text, int style, const QString &title)
{
    QMessageBox box(QApplication::activeWindow());
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
    box.setDefaultButton(buttons.first().qt);
    const int clicked = box.exec();
    for (const Button &b : buttons)
        if (clicked == b.qt)
            return b.answer;
    // Closed with Escape or the title bar: the cancelling button.
    return buttons.size() > 1 ? buttons.last().answer : buttons.first().answer;
}

}  // namespace tobra
