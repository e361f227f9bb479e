// The status screen's model: a failure in words, and when the screen is shown.

#include "ScheduleSource.h"
#include "StatusScreen.h"

#include <QQmlComponent>
#include <QQmlEngine>
#include <QtTest>

class tst_StatusScreen : public QObject {
    Q_OBJECT

private slots:
    void words_data()
    {
        QTest::addColumn<QString>("reason");
        QTest::addColumn<QString>("words");
        QTest::addRow("server down") << QString("Connection refused") << "connection refused";
        QTest::addRow("HTTP error page") << QString("HTTP 500, not JSON (illegal value at 0)") << "HTTP 500";
        QTest::addRow("unknown host") << QString("Host signage.invalid not found") << "host not found";
        QTest::addRow("no answer in time") << QString("Operation canceled") << "timed out";
        QTest::addRow("JSON without a schedule") << QString("no schedule") << "not a schedule document";
    }
    void words()
    {
        QFETCH(QString, reason);
        QTEST(StatusScreen::failureWords(reason), "words");
    }

    // Events in order on a scene with a schedule source: "fail", "document", "shown".
    void shown_data()
    {
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<QString>("events");
        QTest::addColumn<bool>("shown");
        QTest::addRow("before any document") << QByteArray() << "" << true;
        QTest::addRow("after failures") << QByteArray("[screen]\nstatusScreen=true\n") << "fail fail" << true;
        QTest::addRow("after a document with nothing scheduled") << QByteArray() << "fail document fail" << false;
        QTest::addRow("after the first composition") << QByteArray() << "shown fail" << false;
        QTest::addRow("turned off in the settings") << QByteArray("[screen]\nstatusScreen=false\n") << "" << false;
    }
    void shown()
    {
        QFETCH(QByteArray, ini);
        QFETCH(QString, events);
        QTemporaryFile file;
        QVERIFY(file.open() && file.write(ini) == ini.size() && file.flush());
        QQmlEngine engine;
        QQmlComponent component(&engine);
        component.setData("import QtQml 2.0\nQtObject { signal compositionShown(var composition) }", QUrl());
        std::unique_ptr<QObject> scene(component.create());
        auto* source = new ScheduleSource(scene.get());
        StatusScreen status(StatusScreen::enabledFromSettings(file.fileName()));
        QVERIFY(status.watch(scene.get()));
        for (const QString& event : events.split(' ', Qt::SkipEmptyParts)) {
            if (event == "fail")
                emit source->failed("Connection refused");
            else if (event == "document")
                emit source->documentReady(QJSValue(), false);
            else
                QMetaObject::invokeMethod(scene.get(), "compositionShown", Q_ARG(QVariant, QVariant()));
        }
        QTEST(status.isShown(), "shown");
        QCOMPARE(status.failure(), events.contains("fail") ? "connection refused" : "");
    }
};

QTEST_GUILESS_MAIN(tst_StatusScreen)
#include "tst_statusscreen.moc"
