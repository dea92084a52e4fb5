#pragma once

#include <QWidget>

class QListWidget;
class QPushButton;

namespace tobra {

// The about box: the program's change history. Modeless; it is deleted when
// closed, so every opening is a fresh load.
class frmAbout : public QWidget {
    Q_OBJECT
public:
    explicit frmAbout(QWidget *parent = nullptr);

    QListWidget *lstabout = nullptr;
    QPushButton *cmdExit = nullptr;

    // The history lines, newest last.
    static QStringList historyLines();

private:
    void Form_Load();
};

}  // namespace tobra
