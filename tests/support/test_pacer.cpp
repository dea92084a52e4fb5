// Paced writes to controls: the first at once, later ones kept and the
// newest of each run at the next refresh, final texts never overwritten.
#include "support/ui/pacer.h"

#include <QtTest>

using namespace tobra;

class TestPacer : public QObject {
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
};

QTEST_GUILESS_MAIN(TestPacer)
#include "test_pacer.moc"
