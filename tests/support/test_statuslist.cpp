// The windows' hidden status list: the lines it keeps and the one it
// selects once shown. (That a hidden list raises no accessibility event per
// line is checked by tests/a11y, where accessibility is on.)
#include "support/ui/statuslist.h"

#include <QtTest>

using namespace tobra;

class TestStatusList : public QObject {
    Q_OBJECT
private slots:
    void keepsTheLatestLines_data()
    {
        QTest::addColumn<int>("maxLines");
        QTest::addColumn<int>("added");
        QTest::addColumn<QStringList>("kept");
        QTest::newRow("no limit") << 0 << 4 << QStringList{"line 1", "line 2", "line 3", "line 4"};
        QTest::newRow("under the limit") << 5 << 3 << QStringList{"line 1", "line 2", "line 3"};
        QTest::newRow("over the limit") << 2 << 5 << QStringList{"line 4", "line 5"};
    }

    void keepsTheLatestLines()
    {
        QFETCH(int, maxLines);
        QFETCH(int, added);
        QFETCH(QStringList, kept);
        StatusList list;
        list.hide();
        for (int i = 1; i <= added; ++i)
            list.addLine(QStringLiteral("line %1").arg(i), maxLines);
        QStringList lines;
        for (int i = 0; i < list.count(); ++i)
            lines << list.item(i)->text();
        QCOMPARE(lines, kept);
        QCOMPARE(list.currentRow(), kept.size() - 1);

        // Shown, the newest line is the selected one.
        list.show();
        QVERIFY(QTest::qWaitForWindowExposed(&list));
        QCOMPARE(list.selectedItems().size(), 1);
        QCOMPARE(list.selectedItems().first()->text(), kept.last());
    }
};

QTEST_MAIN(TestStatusList)
#include "test_statuslist.moc"
