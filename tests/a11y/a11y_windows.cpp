// Shows every window of the program at once for the accessibility walk
// (a11y_walk_test.sh): the main window, the three product windows, the about
// box and a message box. Prints the message box's text and the texts of the
// status panels, and what adding rows to a hidden list and grid announced;
// then runs until it is ended or for at most two minutes.
#include "backup/productwindow.h"
#include "mainwindow/frmmain.h"
#include "support/messages.h"
#include "support/ui/inputblocker.h"
#include "support/ui/msfgrid.h"
#include "support/ui/qtmessageface.h"

#include <QAccessible>
#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <cstdio>
#include <functional>
#include <memory>

namespace {

const QObject *g_watched = nullptr;
int g_rows = 0, g_focusOrSelection = 0;

void countEvent(QAccessibleEvent *event)
{
    const QAccessible::Event t = event->type();
    if (event->object() == g_watched) {
        g_rows += t == QAccessible::TableModelChanged;
        g_focusOrSelection += t == QAccessible::Focus || t == QAccessible::SelectionAdd;
    }
}

// Adds rows to a view nobody sees and prints what that announced. A focus
// or selection change there is noise to a screen reader, and for a list Qt
// lays out every row before it announces one: none may come per row.
void countHiddenEvents(const char *what, QObject *view, int rows, const std::function<void()> &addRow)
{
    g_watched = view;
    g_rows = g_focusOrSelection = 0;
    const auto previous = QAccessible::installUpdateHandler(countEvent);
    for (int i = 0; i < rows; ++i)
        addRow();
    QAccessible::installUpdateHandler(previous);
    std::printf("%s rows %d announced %d focus-or-selection %d\n", what, rows, g_rows, g_focusOrSelection);
}

}  // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    tobra::Messages::setFace(std::make_shared<tobra::QtMessageFace>());

    tobra::frmMain main;
    main.show();
    // A panel whose text changed after it was shown must be heard by the new text.
    main.setPanelText(QStringLiteral("general"), QStringLiteral("Getting Remote Directory List..."));
    main.HelpMenuItem_Click();
    tobra::ProductWindow products[] = {tobra::ProductWindow(tobra::Product::Qof), tobra::ProductWindow(tobra::Product::Qofp),
                                       tobra::ProductWindow(tobra::Product::Qsnp)};
    for (auto &p : products)
        p.show();

    // Accessibility comes on once the AT-SPI bus has answered (at most ten
    // seconds are waited for that); then the rest is reported and the
    // message box shown.
    const QString question = tobra::TransferInputBlocker::closeQuestion();
    QElapsedTimer waited;
    waited.start();
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (!QAccessible::isActive() && waited.elapsed() < 10000)
            return;
        poll.stop();
        countHiddenEvents("hidden-list", main.lstMessages, 50,
                          [&] { main.AddStatusMessage(QStringLiteral("226 Transfer complete")); });
        // The product windows fill their server grid out of sight after a run.
        auto *grid = products[0].findChild<tobra::FlexGrid *>(QStringLiteral("MSFDir"));
        countHiddenEvents("hidden-grid", grid, 50, [&] {
            tobra::msfNextRow(grid);
            tobra::msfSetCell(grid, QStringLiteral("QOFDATA.MDB"), grid->Row(), 0);
        });
        std::printf("message %s\n", qPrintable(question));
        for (const char *key : {"general", "ftpconnection", "netconnection"})
            std::printf("panel %s\n", qPrintable(main.panelText(QLatin1String(key))));
        std::printf("panel Ready\n");  // the product windows' "general"
        std::fflush(stdout);
        tobra::Messages::show(question, tobra::MsgStyle::YesNo | tobra::MsgStyle::Question);
    });
    poll.start(50);
    QTimer::singleShot(120000, &app, &QApplication::quit);
    return app.exec();
}
