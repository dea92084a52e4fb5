// The windows' small parts. Paced writes to controls: the first at once,
// later ones kept and the newest of each run at the next refresh, final
// texts never overwritten. The hidden status list: the lines it keeps and the
// one it selects once shown (that a hidden list raises no accessibility
// event per line is checked by tests/a11y, where accessibility is on).
#include "support/ui/pacer.h"
#include "support/ui/statuslist.h"

#include <QtTest>

using namespace tobra;

class TestUiParts : public QObject {
    Q_OBJECT
private slots:
    void keepsTheNewestPerControl()
    {
        Pacer p;
        QStringList a, b;
        auto toA = [&](const char *v) { return [&a, v] { a << v; }; };
        p.put(&a, toA("a1"));  // no interval: at once
        p.put(&a, toA("a2"));
        QCOMPARE(a, (QStringList{"a1", "a2"}));

        p.setInterval(60000);
        a.clear();
        p.put(&a, toA("a3"));  // within the interval of a2
        p.put(&a, toA("a4"));
        p.put(&b, [&b] { b << "b1"; });  // another control has its own interval
        QCOMPARE(a, QStringList());
        QCOMPARE(b, QStringList{"b1"});
        p.flush();
        QCOMPARE(a, QStringList{"a4"});
        p.flush();
        QCOMPARE(a, QStringList{"a4"});

        // A final text drops a kept one.
        p.put(&a, toA("a5"));
        p.now(&a, toA("final"));
        p.flush();
        QCOMPARE(a, (QStringList{"a4", "final"}));
    }

    void refreshesOnItsOwn()
    {
        Pacer p;
        p.setInterval(50);
        QString shown;
        p.put(&shown, [&] { shown = "first"; });
        p.put(&shown, [&] { shown = "newest"; });
        QCOMPARE(shown, QString("first"));
        QTRY_COMPARE_WITH_TIMEOUT(shown, QString("newest"), 5000);
    }

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

QTEST_MAIN(TestUiParts)
#include "test_uiparts.moc"
