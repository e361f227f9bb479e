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
        QTest::addColumn<QString>("item"); // "ready", "not ready", "dynamic" (a property without notify), "plain"
        QTest::addColumn<QString>("then");
        QTest::addColumn<bool>("atOnce");
        QTest::addColumn<int>("openedNow");
        QTest::addColumn<int>("openedLater"); // after the patience
        const auto row = [](const char* tag, const char* item, const char* then, bool atOnce, int now, int later) {
            QTest::addRow("%s", tag) << QString(item) << QString(then) << atOnce << now << later;
        };
        row("ready item admitted at once", "ready", "", true, 0, 0);
        row("not ready, then ready: opened once", "not ready", "ready", false, 1, 1);
        row("patience runs out: opened", "not ready", "", false, 0, 1);
        row("item destroyed while waiting: opened at once", "not ready", "destroy", false, 1, 1);
        row("cancel: never opened", "not ready", "cancel", false, 0, 0);
        row("ready, then cancelled in the same turn: never opened", "not ready", "ready cancel", false, 0, 0);
        row("second admit of the same item passes", "not ready", "admit", false, 0, 0);
        row("item without ready property passes", "plain", "", true, 0, 0);
        row("item without notify signal opens at patience", "dynamic", "ready", false, 0, 1);
    }
    void admit()
    {
        QFETCH(QString, item);
        QFETCH(QString, then);
        QFETCH(bool, atOnce);
        QFETCH(int, openedNow);
        QFETCH(int, openedLater);

        CompositionGate gate;
        gate.setPatience(150);
        QSignalSpy opened(&gate, &CompositionGate::opened);
        QObject* object = item.endsWith("ready") ? new Item : new QObject;
        if (item != "plain")
            object->setProperty("ready", item == "ready");

        QCOMPARE(gate.admit(object), atOnce);
        QCOMPARE(gate.waiting(), !atOnce);
        if (then.startsWith("ready"))
            object->setProperty("ready", true);
        if (then.endsWith("cancel"))
            gate.cancel();
        else if (then == "destroy")
            delete std::exchange(object, nullptr);
        else if (then == "admit")
            QVERIFY(gate.admit(object));
        QTRY_COMPARE_WITH_TIMEOUT(opened.count(), openedNow, 50); // well within the patience
        QTest::qWait(300);
        QCOMPARE(opened.count(), openedLater);
        QVERIFY(!gate.waiting());
        if (object && openedLater)
            QVERIFY2(gate.admit(object), "the caller's next ask lets the item waited for through");
        delete object;
    }
};

QTEST_GUILESS_MAIN(tst_Gate)
#include "tst_gate.moc"
