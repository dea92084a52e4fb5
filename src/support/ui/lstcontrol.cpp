#include "support/ui/lstcontrol.h"

#include <QListWidget>

namespace tobra {

void lstUnSelectAll(QListWidget *list)
{
    list->clearSelection();
}

void lstSelectText(QListWidget *list, const QString &text)
{
    for (int i = 0; i < list->count(); ++i)
        if (list->item(i)->text() == text)
            list->item(i)->setSelected(true);
}

void lstSelectMatching(QListWidget *list, const QString &text, bool matchCase)
{
    if (list->count() == 0)
        return;
    list->setCurrentRow(0, QItemSelectionModel::NoUpdate);
    const QString want = matchCase ? text.trimmed() : text.trimmed().toUpper();
    for (int i = 0; i < list->count(); ++i) {
        QListWidgetItem *it = list->item(i);
        const QString have = matchCase ? it->text().trimmed() : it->text().trimmed().toUpper();
        if (have != want)
            continue;
        if (list->selectionMode() == QAbstractItemView::SingleSelection)
            list->setCurrentRow(i);
        else
            it->setSelected(true);
        emit list->itemClicked(it);
    }
}

int LstCountSelected(const QListWidget *list)
{
    int n = 0;
    for (int i = 0; i < list->count(); ++i)
        if (list->item(i)->isSelected())
            ++n;
    return n;
}

}  // namespace tobra
