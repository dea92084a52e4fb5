#include "app/ui/windowroad.h"

#include "app/exitcodes.h"

#include <QApplication>
#include <QLabel>
#include <QMainWindow>

namespace tobra {

int runWindowRoad(const CommandLine &)
{
    QMainWindow w;
    w.setObjectName(QStringLiteral("frmMain"));
    w.setWindowTitle(QStringLiteral("Tobra - Version: " TOBRA_VERSION));
    w.setCentralWidget(new QLabel(QStringLiteral("Tobra"), &w));
    w.show();
    return QApplication::exec() == 0 ? ExitOk : ExitOk;
}

}  // namespace tobra
