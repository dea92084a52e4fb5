#include "support/ui/statuslist.h"

#include <QSignalBlocker>

namespace tobra {

StatusList::StatusList(QWidget *parent) : QListWidget(parent)
{
    setAccessibleName(QStringLiteral("FTP Status Messages"));
}

void StatusList::addLine(const QString &line, int maxLines)
{
    addItem(line);
    while (maxLines > 0 && count() > maxLines)
        delete takeItem(0);
    if (isVisible()) {
        setCurrentRow(count() - 1);
        scrollToBottom();
    } else {
        // Qt 6.4 announces every change of a list's current row to
        // accessibility, hidden or not, and lays out the whole list to do so:
        // the view is not told while nobody can see it.
        const QSignalBlocker quiet(selectionModel());
        setCurrentRow(count() - 1, QItemSelectionModel::NoUpdate);
    }
}

void StatusList::showEvent(QShowEvent *event)
{
    QListWidget::showEvent(event);
    if (currentRow() >= 0) {
        setCurrentRow(currentRow(), QItemSelectionModel::ClearAndSelect);
        scrollToBottom();
    }
}

}  // namespace tobra
