// What the end-to-end run cannot pin down, on the real quickwindow.qml from the
// resources at pinned instants: the one-element duplicate and clock relaunches (the
// diffusion rules themselves are tst_scripts'), as the scene's reporter announces them.

#include "CompositionReporter.h"
#include "PlayerTypes.h"
#include "ScheduleQRCode.h"
#include "Spinner.h"
#include "StatusScreen.h"

#include <QApplication>
#include <QFile>
#include <QImage>
#include <QJsonDocument>
#include <QQmlApplicationEngine>
#include <QQmlContext>
#include <QQmlExpression>
#include <QTest>
#include <QtWebEngine/QtWebEngine>

#include <memory>

namespace {

// An entry played every day within `hours`, of one image shown for `duration` ms: a
// file that loads (a broken one would be skipped).
QString entry(const char* name, const char* hours, int duration = 0)
{
    const QString path = qEnvironmentVariable("PLAYER_TEST_TMP") + '/' + name;
    QImage image(8, 8, QImage::Format_RGB32);
    image.fill(Qt::red);
    image.save(path);
    return QStringLiteral(R"({"diffusion":{"weekdays":["All"],"dates":{},"hours":%1},"sequence":{)"
                          R"("global_properties":{},"elements":[{"type":"Image","attributes":{"source":"%2"},)"
                          R"("duration":%3}]}})")
        .arg(hours, QUrl::fromLocalFile(path).toString())
        .arg(duration);
}

QByteArray schedule(const QStringList& entries)
{
    return QStringLiteral(R"({"schedule":{"schedule_uid":"S","sequences":[%1]}})").arg(entries.join(',')).toUtf8();
}

} // namespace

class tst_Scene : public QObject {
    Q_OBJECT

    Spinner m_spinner;
    ScheduleQRCode m_qrCode;
    QStringList m_sources; // of each composition the scene's reporter announced
    std::unique_ptr<CompositionReporter> m_reporter;
    std::unique_ptr<QQmlApplicationEngine> m_engine;
    QObject* m_root = nullptr;

    // A fresh scene playing `document` (start delay 100 ms), its first composition announced.
    bool play(const QByteArray& document, const QString& now = QString())
    {
        m_engine.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        m_sources.clear();
        m_engine.reset(new QQmlApplicationEngine);
        m_engine->rootContext()->setContextProperty("spinner", &m_spinner);
        m_engine->rootContext()->setContextProperty("qrCode", &m_qrCode);
        m_engine->rootContext()->setContextProperty("statusScreen", new StatusScreen(false, m_engine.get()));
        m_engine->rootContext()->setContextProperty("deviceUID", "DEV-1");
        m_engine->load(QUrl(QStringLiteral("qrc:/quickwindow.qml")));
        m_root = m_engine->rootObjects().value(0);
        m_reporter.reset(new CompositionReporter);
        if (!m_root || !m_reporter->watch(m_root))
            return false;
        connect(m_reporter.get(), &CompositionReporter::message, this, [this](const QString& message) {
            m_sources << QJsonDocument::fromJson(message.toUtf8())["infos"]["source"].toString().section('/', -1);
        });
        eval("stackViewInit.interval = 100");
        if (!now.isEmpty())
            pinTime(now);
        QFile file(qEnvironmentVariable("PLAYER_TEST_TMP") + "/doc.json");
        if (!file.open(QIODevice::WriteOnly) || file.write(document) != document.size())
            return false;
        file.close();
        QMetaObject::invokeMethod(m_root, "load", Q_ARG(QVariant, QUrl::fromLocalFile(file.fileName()).toString()),
            Q_ARG(QVariant, "127.0.0.1:9"), Q_ARG(QVariant, false));
        return waitMessages(1);
    }
    // Evaluated in the scene's own context, where its ids (stack, clock, ...) are visible.
    QVariant eval(const QString& expression) const
    {
        QQmlExpression expr(qmlContext(m_root), m_root, expression);
        const QVariant value = expr.evaluate();
        if (expr.hasError())
            qWarning().noquote() << expression << expr.error().toString();
        return value;
    }
    QObject* object(const QString& expression) const { return qvariant_cast<QObject*>(eval(expression)); }
    void pinTime(const QString& jsDateArgs) { eval(QStringLiteral("stack.fixedNow = new Date(%1)").arg(jsDateArgs)); }
    void tick() { eval("clock.timeChanged()"); }
    int waitingCount() const { return eval("itemsContainer.children.length").toInt(); }
    bool waitMessages(int count)
    {
        return QTest::qWaitFor([this, count] { return m_sources.size() >= count; }, 5000);
    }
    // Advances as the timer does, and waits for the change to end (and for the item coming in to be ready).
    bool push()
    {
        eval("stackViewTimer.pushStack()");
        return QTest::qWaitFor(
            [this] { return !eval("stackDelegate.transitioning").toBool() && !eval("pushGate.waiting").toBool(); },
            3000);
    }

private slots:
    void cleanupTestCase() { m_engine.reset(); }

    void duplicateFollowsTicks()
    {
        // One element alone is shown through a duplicate; entry B opens at 12:00:10 and the
        // duplicate follows the list of the tick before.
        QVERIFY(play(schedule({ entry("a.png", "{}"), entry("b.png", R"({"start_time":"12:00:10"})") }),
            "2026, 11, 7, 12, 0, 0"));
        QObject* first = object("stack.duplication");
        QVERIFY(first);
        QCOMPARE(object("stack.currentItem"), first);
        QVERIFY(push());
        QTRY_VERIFY(!object("stack.duplication")); // destroyed once replaced
        tick();
        QObject* waiting = object("stack.duplication");
        QVERIFY(waiting);
        QCOMPARE(waitingCount(), 2);

        pinTime("2026, 11, 7, 12, 0, 10");
        tick();
        QCOMPARE(object("stack.duplication"), waiting);
        tick();
        QVERIFY(!object("stack.duplication"));
        // A dropped duplicate that still waited is never shown in place of the next element.
        QCOMPARE(waitingCount(), 1);
        for (int i = 0; i < 3; ++i)
            QVERIFY(push());
        QCOMPARE(m_sources, (QStringList { "a.png", "a.png", "b.png", "a.png", "b.png" }));
        QCOMPARE(waitingCount(), 1);
    }

    void windowEndRelaunches()
    {
        QVERIFY(play(schedule({ entry("day.png", R"({"end_time":"18:00:00"})", 60000),
                         entry("night.png", R"({"start_time":"18:00:00"})", 60000) }),
            "2026, 11, 7, 17, 59, 59"));
        tick();
        QTest::qWait(300);
        QCOMPARE(m_sources, QStringList { "day.png" });
        pinTime("2026, 11, 7, 18, 0, 0");
        tick();
        QVERIFY(!object("stack.currentItem")); // black until the start step
        QVERIFY(waitMessages(2));
        QCOMPARE(m_sources, (QStringList { "day.png", "night.png" }));
    }
};

int main(int argc, char** argv)
{
    qputenv("QSG_RENDER_LOOP", "basic");
    qputenv("QML_XHR_ALLOW_FILE_READ", "1");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    QtWebEngine::initialize();
    registerPlayerTypes();
    tst_Scene test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_scene.moc"
