// The windows' hidden status list: the lines it keeps and the one it
// selects once shown. (That a hidden list raises no accessibility event per
// line is checked by tests/a11y, where accessibility is on.)
#include "support/ui/statuslist.h"

#include <QtTest>

using namespace tobra;

class TestStatusList : public QObject {
    Q_OBJECT
private slots:
    void keepsTheLatestLines()
    {
        // The limit (0: none), lines added, lines kept.
        const struct { int maxLines, added; QStringList kept; } rows[] = {
            {0, 4, {"line 1", "line 2", "line 3", "line 4"}}, {5, 3, {"line 1", "line 2", "line 3"}},
            {2, 5, {"line 4", "line 5"}},
        };
        for (const auto &r : rows) {
            StatusList list;
            list.hide();
            for (int i = 1; i <= r.added; ++i)
                list.addLine(QStringLiteral("line %1").arg(i), r.maxLines);
            QStringList lines;
            for (int i = 0; i < list.count(); ++i)
                lines << list.item(i)->text();
            QCOMPARE(lines, r.kept);
            QCOMPARE(list.currentRow(), r.kept.size() - 1);
            // Shown, the newest line is the selected one.
            list.show();
            QVERIFY(QTest::qWaitForWindowExposed(&list));
            QCOMPARE(list.selectedItems().size(), 1);
            QCOMPARE(list.selectedItems().first()->text(), r.kept.last());
        }
    }
};

QTEST_MAIN(TestStatusList)
#include "test_statuslist.moc"
