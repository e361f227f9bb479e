// The frame pacer on a window whose render thread takes 100 ms a frame while the scene changes
// every 5 ms: the GUI thread keeps its pace (about 40 turns in 2 s without the pacer, about 350
// with it), and the last change is handed over well before the pacer's fallback lets it through.
#include "FramePacer.h"
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickWindow>
#include <QTest>
#include <QThread>

class tst_Pacer : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { qputenv("QSG_RENDER_LOOP", "threaded"); }
    void slowFrames()
    {
        QQmlEngine engine;
        QQmlComponent component(&engine);
        component.setData("import QtQuick 2.7; import QtQuick.Window 2.2\n Window { visible: true; width: 64;"
                          "height: 64; Rectangle { objectName: \"r\"; anchors.fill: parent } }",
            QUrl());
        QScopedPointer<QObject> root(component.create());
        auto* window = qobject_cast<QQuickWindow*>(root.data());
        QVERIFY(window && QTest::qWaitForWindowExposed(window));
        new FramePacer(window);
        QObject* rect = root->findChild<QObject*>("r");
        std::atomic<QRgb> synced { 0 }; // written while the GUI thread waits for the hand-over
        auto sync = [&] { synced = rect->property("color").value<QColor>().rgb(); };
        connect(window, &QQuickWindow::afterSynchronizing, this, sync, Qt::DirectConnection);
        connect(
            window, &QQuickWindow::beforeRendering, this, [] { QThread::msleep(100); }, Qt::DirectConnection);
        QElapsedTimer clock;
        int turns = 0;
        for (clock.start(); clock.elapsed() < 2000; QTest::qWait(5))
            rect->setProperty("color", QColor::fromHsv(turns++ % 360, 255, 255));
        rect->setProperty("color", QColor(Qt::blue));
        QTRY_COMPARE_WITH_TIMEOUT(synced.load(), QColor(Qt::blue).rgb(), 1000);
        QVERIFY2(turns > 120, qPrintable(QString("%1 turns of 5 ms in 2 s").arg(turns)));
    }
};
QTEST_MAIN(tst_Pacer)
#include "tst_pacer.moc"
