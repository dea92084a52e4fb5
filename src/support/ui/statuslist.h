#pragma once

#include <QListWidget>

namespace tobra {

// The hidden list of a window's status lines (lstMessages). Each new line
// becomes the current one. While the list is hidden, as it always is, the
// line is neither selected nor scrolled to, and the view is not told of the
// new current row: each of these makes Qt lay out every line again, with
// accessibility on for every new line, so that every file of a long backup
// took longer than the one before. Once shown, the list selects its current
// line and scrolls to it.
class StatusList : public QListWidget {
public:
    explicit StatusList(QWidget *parent = nullptr);

    // Appends a line and makes it current; with maxLines > 0 the oldest
    // lines beyond that many are dropped.
    void addLine(const QString &line, int maxLines = 0);

protected:
    void showEvent(QShowEvent *event) override;
};

}  // namespace tobra
