#include "mainwindow/frmabout.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace tobra {

frmAbout::frmAbout(QWidget *parent) : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("frmAbout"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("About Tobra"));

    auto *title = new QLabel(
        QStringLiteral("Tobra %1 (%2)").arg(QStringLiteral(TOBRA_VERSION), QStringLiteral(TOBRA_GIT_DESCRIBE)), this);
    QFont f = title->font();
    f.setBold(true);
    f.setPointSizeF(f.pointSizeF() * 1.3);
    title->setFont(f);
    auto *caption = new QLabel(QStringLiteral("Changes:"), this);

    lstabout = new QListWidget(this);
    lstabout->setObjectName(QStringLiteral("lstabout"));
    lstabout->setSelectionMode(QAbstractItemView::NoSelection);
    lstabout->setFocusPolicy(Qt::NoFocus);
    lstabout->setAccessibleName(QStringLiteral("Changes"));
    caption->setBuddy(lstabout);

    cmdExit = new QPushButton(QStringLiteral("E&xit"), this);
    cmdExit->setObjectName(QStringLiteral("cmdExit"));
    cmdExit->setDefault(true);
    connect(cmdExit, &QPushButton::clicked, this, &QWidget::close);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cmdExit);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(title);
    layout->addWidget(caption);
    layout->addWidget(lstabout, 1);
    layout->addLayout(buttons);

    Form_Load();
    // Wide enough for the history line without a scroll bar.
    const int lineWidth = lstabout->fontMetrics().horizontalAdvance(historyLines().constLast());
    lstabout->setMinimumWidth(lineWidth + 4 * lstabout->frameWidth() + 24);
    const int rows = lstabout->fontMetrics().height() * 5 + 2 * lstabout->frameWidth();
    lstabout->setMinimumHeight(rows);
    lstabout->setMaximumHeight(rows * 2);
}

QStringList frmAbout::historyLines()
{
    return {QStringLiteral("04/16/2002  1.1.2 Added support to get around firewall")};
}

void frmAbout::Form_Load()
{
    lstabout->clear();
    lstabout->addItems(historyLines());
}

}  // namespace tobra
