// The change gate: when the advance held back for an item goes on, and when it must not.

#include "CompositionGate.h"

#include <QSignalSpy>
#include <QTest>

class Item : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool ready MEMBER m_ready NOTIFY readyChanged)

public:
    bool m_ready = false;

signals:
    void readyChanged();
};

class tst_Gate : public QObject {
    Q_OBJECT

private slots:
    void admit_data()
    {
        QTest::addColumn<QString>("kind"); // "declared" ready property, "dynamic" one (no notify), "none"
        QTest::addColumn<bool>("ready");
        QTest::addColumn<QString>("then");
        QTest::addColumn<bool>("atOnce");
        QTest::addColumn<int>("openedNow");
        QTest::addColumn<int>("openedLater"); // after the patience

        QTest::addRow("ready item admitted at once") << "declared" << true << "" << true << 0 << 0;
        QTest::addRow("not ready, then ready: opened once") << "declared" << false << "ready" << false << 1 << 1;
        QTest::addRow("patience runs out: opened") << "declared" << false << "" << false << 0 << 1;
        QTest::addRow("item destroyed while waiting: opened at once")
            << "declared" << false << "destroy" << false << 1 << 1;
        QTest::addRow("cancel: never opened") << "declared" << false << "cancel" << false << 0 << 0;
        QTest::addRow("second admit of the same item passes") << "declared" << false << "admit" << false << 0 << 0;
        QTest::addRow("item without ready property passes") << "none" << false << "" << true << 0 << 0;
        QTest::addRow("item without notify signal opens at patience")
            << "dynamic" << false << "ready" << false << 0 << 1;
    }
    void admit()
    {
        QFETCH(QString, kind);
        QFETCH(bool, ready);
        QFETCH(QString, then);
        QFETCH(bool, atOnce);
        QFETCH(int, openedNow);
        QFETCH(int, openedLater);

        CompositionGate gate;
        gate.setPatience(150);
        QSignalSpy opened(&gate, &CompositionGate::opened);
        auto* item = kind == "declared" ? new Item : new QObject;
        if (kind == "declared")
            static_cast<Item*>(item)->m_ready = ready;
        else if (kind == "dynamic")
            item->setProperty("ready", ready);

        QCOMPARE(gate.admit(item), atOnce);
        QCOMPARE(gate.waiting(), !atOnce);
        if (then == "ready") {
            item->setProperty("ready", true);
            if (auto* declared = qobject_cast<Item*>(item))
                emit declared->readyChanged();
        } else if (then == "destroy") {
            delete item;
            item = nullptr;
        } else if (then == "cancel") {
            gate.cancel();
        } else if (then == "admit") {
            QVERIFY(gate.admit(item));
        }
        QTRY_COMPARE_WITH_TIMEOUT(opened.count(), openedNow, 50); // well within the patience
        QTest::qWait(300);
        QCOMPARE(opened.count(), openedLater);
        QVERIFY(!gate.waiting());
        if (item && openedLater)
            QVERIFY2(gate.admit(item), "the caller's next ask lets the item waited for through");
        delete item;
    }
};

QTEST_GUILESS_MAIN(tst_Gate)
#include "tst_gate.moc"
