#pragma once

#include <QString>

class QListWidget;

namespace tobra {

// Clears the selection of every item.
void lstUnSelectAll(QListWidget *list);
// Selects every item whose text equals text exactly.
void lstSelectText(QListWidget *list, const QString &text);
// Makes the first item current, then selects every item whose trimmed text
// equals the trimmed text; without matchCase both are compared in upper case.
// Each newly selected item is announced with itemClicked, as a user's click.
void lstSelectMatching(QListWidget *list, const QString &text, bool matchCase);
// Number of selected items.
int LstCountSelected(const QListWidget *list);

}  // namespace tobra
