// The scene's logic, tested on the real quickwindow.qml from the resources: documents
// come from a loopback HTTP server, the engine is a recording stand-in, and the
// instant the diffusion rules see is pinned through the stack's fixedNow.

#include "scenefixture.h"

#include <QApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLocale>
#include <QQuickItem>
#include <QQuickWindow>
#include <QSignalSpy>
#include <QTest>
#include <QtWebEngine/QtWebEngine>

#include <memory>

namespace {

// Start delay used where the test is not about it, to keep the suite quick.
const int kQuickStart = 100;

QJsonObject statusInfos(const QString& message)
{
    return QJsonDocument::fromJson(message.toUtf8()).object().value(QStringLiteral("infos")).toObject();
}

QString cmdOf(const QString& message)
{
    return QJsonDocument::fromJson(message.toUtf8()).object().value(QStringLiteral("cmd")).toString();
}

QStringList sourcesOf(const QStringList& messages)
{
    QStringList out;
    for (const QString& m : messages) {
        if (cmdOf(m) == QLatin1String("player_composition_changed"))
            out.append(statusInfos(m).value(QStringLiteral("source")).toString());
    }
    return out;
}

QStringList cmdsOf(const QStringList& messages)
{
    QStringList out;
    for (const QString& m : messages)
        out.append(cmdOf(m));
    return out;
}

QJsonArray array(std::initializer_list<QJsonValue> values)
{
    return QJsonArray(values);
}

QByteArray oneSequence(const QJsonArray& elements, const QVariant& duration = QVariant(),
    const QJsonObject& transitions = QJsonObject())
{
    return doc::schedule(array({ doc::entry(elements, duration, transitions) }), QStringLiteral("S1"));
}

} // namespace

class tst_Scene : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<SceneFixture> f;

    // A fresh scene for every test: nothing carries over from one to the next.
    void start(int startDelay = kQuickStart)
    {
        f.reset(new SceneFixture());
        QVERIFY(f->ok());
        f->eval(QStringLiteral("stackViewInit.interval = %1").arg(startDelay));
    }

    void pinTime(const QString& jsDateArgs)
    {
        f->eval(QStringLiteral("stack.fixedNow = new Date(%1)").arg(jsDateArgs));
    }

    bool waitMessages(int count, int timeout = 5000)
    {
        QElapsedTimer t;
        t.start();
        while (f->recorder.messages.size() < count && t.elapsed() < timeout)
            QTest::qWait(10);
        return f->recorder.messages.size() >= count;
    }

    bool waitIdle(int timeout = 3000)
    {
        QElapsedTimer t;
        t.start();
        while (f->eval(QStringLiteral("stackDelegate.transitioning")).toBool() && t.elapsed() < timeout)
            QTest::qWait(10);
        return !f->eval(QStringLiteral("stackDelegate.transitioning")).toBool();
    }

    QString onScreenSource() const
    {
        return f->eval(QStringLiteral("stack.currentItem ? String(stack.currentItem.source) : ''")).toString();
    }

private slots:
    void cleanup() { f.reset(); }

    void documentForms_data();
    void documentForms();
    void qrDecision_data();
    void qrDecision();
    void oldFormKeepsPreviousIdentifier();
    void statusDatagram_data();
    void statusDatagram();
    void sources_data();
    void sources();
    void fillModes_data();
    void fillModes();
    void loadWhilePlaying();
    void slowEarlierAnswerIgnored();
    void relaunchDuringTransition();
    void shouldPlay_data();
    void shouldPlay();
    void weekdayIgnoresLocale();
    void debugLines();
    void startDelayAndDurations();
    void oneElementSchedule();
    void duplicateFollowsTicks();
    void windowEndRelaunches();
    void nothingAllowedThenAllowed();
    void failedFetchKeepsScreen();
    void transitionChoice_data();
    void transitionChoice();
    void transitionExpressions_data();
    void transitionExpressions();
    void transitionRunsOnScreen();
    void remoteStateTable_data();
    void remoteStateTable();
    void remoteIgnoredDuringTransition();
    void previousWrapsAndReturns();
    void pauseKeepsFullDuration();
    void playScheduleAndDefault();
    void malformedDocuments_data();
    void malformedDocuments();
};

void tst_Scene::documentForms_data()
{
    QTest::addColumn<QByteArray>("document");
    QTest::addColumn<QString>("firstSource");
    QTest::addColumn<int>("sequenceCount");
    QTest::addColumn<QString>("debugLine");

    const QJsonObject a = doc::element(QStringLiteral("Image"), QStringLiteral("/a.png"), 500);
    const QJsonObject b = doc::element(QStringLiteral("Image"), QStringLiteral("/b.png"), 500);

    QTest::addRow("current form") << oneSequence(array({ a })) << "/a.png" << 1 << "";
    QTest::addRow("old form") << doc::text({ { "objects", array({ b }) }, { "duration", 700 } }) << "/b.png" << 1 << "";
    QTest::addRow("schedule wins over objects")
        << doc::text({ { "schedule", QJsonDocument::fromJson(oneSequence(array({ a }))).object().value("schedule") },
               { "objects", array({ b }) } })
        << "/a.png" << 1 << "";
    QTest::addRow("neither form") << doc::text({ { "something", 1 } }) << "" << 0
                                  << "FUNCTION - init - NO JSON FOUND OR JSON DOES NOT CONTAIN schedule OR objects";
    QTest::addRow("null schedule with objects reads objects")
        << doc::text({ { "schedule", QJsonValue::Null }, { "objects", array({ b }) } }) << "/b.png" << 1
        << "FUNCTION - init - schedule is not an object, reading objects instead";
    QTest::addRow("null schedule alone") << doc::text({ { "schedule", QJsonValue::Null } }) << "" << 0
                                         << "FUNCTION - init - NO JSON FOUND OR JSON DOES NOT CONTAIN schedule OR objects";
    QTest::addRow("schedule without sequences plays nothing") << doc::text({ { "schedule", QJsonObject() } }) << "" << 0
                                                             << "FUNCTION - updateSequencesToPlay - stack.sequencesToPlay.length : 0";
    QTest::addRow("body is not JSON") << QByteArray("<html>error</html>") << "" << 0 << "";
}

void tst_Scene::documentForms()
{
    QFETCH(QByteArray, document);
    QFETCH(QString, firstSource);
    QFETCH(int, sequenceCount);
    QFETCH(QString, debugLine);

    start();
    f->load(document);
    if (firstSource.isEmpty()) {
        QTest::qWait(800);
        QCOMPARE(f->recorder.messages.size(), 0);
    } else {
        QVERIFY(waitMessages(1));
        QCOMPARE(statusInfos(f->recorder.messages.first().text).value("source").toString(), firstSource);
    }
    QCOMPARE(f->eval("stack.sequences.length").toInt(), sequenceCount);
    if (!debugLine.isEmpty())
        QVERIFY2(f->debugLines().contains(debugLine), qPrintable(f->debugLines().join('\n')));
    QVERIFY(f->server.requests().contains("/doc.json"));
}

void tst_Scene::qrDecision_data()
{
    QTest::addColumn<QJsonValue>("uid");
    QTest::addColumn<QJsonValue>("isPrivate");
    QTest::addColumn<QString>("call");

    const QJsonValue absent(QJsonValue::Undefined);
    QTest::addRow("private absent, identifier given") << QJsonValue("S9") << absent << "show:S9";
    QTest::addRow("private false") << QJsonValue("S9") << QJsonValue(false) << "show:S9";
    QTest::addRow("private true") << QJsonValue("S9") << QJsonValue(true) << "hide";
    QTest::addRow("private truthy string") << QJsonValue("S9") << QJsonValue("yes") << "hide";
    QTest::addRow("private zero is falsy") << QJsonValue("S9") << QJsonValue(0) << "show:S9";
    QTest::addRow("identifier absent") << absent << QJsonValue(false) << "hide";
    QTest::addRow("identifier empty") << QJsonValue("") << QJsonValue(false) << "hide";
    QTest::addRow("numeric identifier as decimal text") << QJsonValue(42) << absent << "show:42";
}

void tst_Scene::qrDecision()
{
    QFETCH(QJsonValue, uid);
    QFETCH(QJsonValue, isPrivate);
    QFETCH(QString, call);

    start();
    const QJsonArray seq = array({ doc::entry(array({ doc::element("Image", "/a.png", 500) })) });
    f->load(doc::schedule(seq, uid, isPrivate));
    QTRY_COMPARE_WITH_TIMEOUT(f->recorder.qrCalls.size(), 1, 3000);
    QCOMPARE(f->recorder.qrCalls.first(), call);
    const QString expectedLine = call == QLatin1String("hide")
        ? QStringLiteral("FUNCTION - init - schedule is private => hiding the qrcode")
        : QStringLiteral("FUNCTION - init - schedule is public => showing the qrcode");
    QVERIFY(f->debugLines().contains(expectedLine));
}

void tst_Scene::oldFormKeepsPreviousIdentifier()
{
    start();
    const QByteArray oldForm = doc::text({ { "objects", array({ doc::element("Image", "/o.png", 500) }) } });
    f->load(oldForm, true, "/old.json");
    QTRY_COMPARE_WITH_TIMEOUT(f->recorder.qrCalls, QStringList { "hide" }, 3000);

    f->load(doc::schedule(array({ doc::entry(array({ doc::element("Image", "/a.png", 500) })) }), "PUB"), true,
        "/public.json");
    QTRY_COMPARE_WITH_TIMEOUT(f->recorder.qrCalls, (QStringList { "hide", "show:PUB" }), 3000);

    f->callLoad(f->server.url("/old.json"), f->server.hostPort(), true);
    QTRY_COMPARE_WITH_TIMEOUT(f->recorder.qrCalls, (QStringList { "hide", "show:PUB", "show:PUB" }), 3000);
}

void tst_Scene::statusDatagram_data()
{
    QTest::addColumn<QJsonObject>("element");
    QTest::addColumn<QVariant>("sequenceDuration");
    QTest::addColumn<QString>("expected");

    const QString prefix = QStringLiteral("{\"cmd\":\"player_composition_changed\",\"id\":\"auto\",\"device_id\":\"DEV-1\",");
    QJsonObject e = doc::element("Image", "/a.png", 900);
    QTest::addRow("own duration, no extras") << e << QVariant(300)
                                             << prefix + "\"infos\":{\"type\":\"Image\",\"source\":\"/a.png\",\"duration\":900}}";
    e = doc::element("Image", "/a.png");
    QTest::addRow("sequence duration") << e << QVariant(300)
                                       << prefix + "\"infos\":{\"type\":\"Image\",\"source\":\"/a.png\",\"duration\":300}}";
    QTest::addRow("no duration anywhere leaves the key out")
        << e << QVariant() << prefix + "\"infos\":{\"type\":\"Image\",\"source\":\"/a.png\"}}";
    e = doc::element("Image", "/a.png", 900);
    e.insert("hueColor", "#ff0000");
    e.insert("fragrance", "lavender");
    QTest::addRow("hue colour and fragrance")
        << e << QVariant(300)
        << prefix + "\"infos\":{\"type\":\"Image\",\"source\":\"/a.png\",\"duration\":900,\"hueColor\":\"#ff0000\",\"fragrance\":\"on\"}}";
    e = doc::element("Image", "/a.png", 900);
    e.insert("hueColor", QJsonObject { { "h", 120 } });
    e.insert("fragrance", 0);
    QTest::addRow("hue colour copied unchanged, any fragrance value is on")
        << e << QVariant(300)
        << prefix + "\"infos\":{\"type\":\"Image\",\"source\":\"/a.png\",\"duration\":900,\"hueColor\":{\"h\":120},\"fragrance\":\"on\"}}";
    e = doc::element("Image", "/a.png", 900);
    e.insert("hueColor", QJsonValue::Null);
    e.insert("fragrance", QJsonValue::Null);
    QTest::addRow("null extras are left out")
        << e << QVariant(300) << prefix + "\"infos\":{\"type\":\"Image\",\"source\":\"/a.png\",\"duration\":900}}";
}

void tst_Scene::statusDatagram()
{
    QFETCH(QJsonObject, element);
    QFETCH(QVariant, sequenceDuration);
    QFETCH(QString, expected);

    start();
    f->load(oneSequence(array({ element }), sequenceDuration));
    QVERIFY(waitMessages(1));
    QCOMPARE(f->recorder.messages.first().text, expected);
}

void tst_Scene::sources_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("itemSource");
    QTest::addColumn<QString>("reported");

    QTest::addRow("image on the server") << "Image" << "/img/a.png" << "http://%1/img/a.png" << "/img/a.png";
    QTest::addRow("image by file URL") << "Image" << "file:///tmp/a.png" << "file:///tmp/a.png" << "file:///tmp/a.png";
    QTest::addRow("image by absolute URL") << "Image" << "http://10.0.0.9/a.png" << "http://10.0.0.9/a.png"
                                           << "http://10.0.0.9/a.png";
    QTest::addRow("web view path is not prefixed") << "WebView" << "/page.html" << "!" << "/page.html";
    QTest::addRow("page builder path") << "PageBuilder" << "/pb/12" << "http://%1/pb/12" << "http://%1/pb/12";
    QTest::addRow("page builder absolute URL is still prefixed")
        << "PageBuilder" << "http://other/x" << "" << "http://%1http://other/x";
}

void tst_Scene::sources()
{
    QFETCH(QString, type);
    QFETCH(QString, source);
    QFETCH(QString, itemSource);
    QFETCH(QString, reported);

    start();
    f->load(oneSequence(array({ doc::element(type, source, 5000) })));
    QVERIFY(waitMessages(1));
    const QString hostPort = f->server.hostPort();
    QCOMPARE(statusInfos(f->recorder.messages.first().text).value("source").toString(), reported.arg(hostPort));
    if (itemSource == QLatin1String("!"))
        QVERIFY2(!onScreenSource().contains(hostPort), qPrintable(onScreenSource()));
    else if (!itemSource.isEmpty())
        QCOMPARE(onScreenSource(), itemSource.arg(hostPort));
}

void tst_Scene::fillModes_data()
{
    QTest::addColumn<QJsonValue>("fillMode");
    QTest::addColumn<int>("expected"); // the Qt Quick Image fill mode

    QTest::addRow("absent: Stretch") << QJsonValue(QJsonValue::Undefined) << 0;
    const char* names[] = { "Stretch", "PreserveAspectFit", "PreserveAspectCrop", "Tile", "TileVertically",
        "TileHorizontally", "Pad" };
    for (int i = 0; i < 7; ++i)
        QTest::addRow("%s", names[i]) << QJsonValue(QString::fromLatin1(names[i])) << i;
    QTest::addRow("unknown name keeps Stretch") << QJsonValue("Zoom") << 0;
    QTest::addRow("wrong case keeps Stretch") << QJsonValue("pad") << 0;
}

void tst_Scene::fillModes()
{
    QFETCH(QJsonValue, fillMode);
    QFETCH(int, expected);

    start();
    QJsonObject element = doc::element("Image", "/a.png", 5000);
    if (!fillMode.isUndefined())
        element.insert("attributes", QJsonObject { { "source", "/a.png" }, { "fillMode", fillMode } });
    f->load(oneSequence(array({ element })));
    QVERIFY(waitMessages(1));
    QCOMPARE(f->eval("stack.currentItem.fillMode").toInt(), expected);
}

void tst_Scene::loadWhilePlaying()
{
    // A load stops the advance at once; the composition on screen stays until the
    // new document is in, then one second of black before the first new composition.
    start(1000);
    f->load(oneSequence(array({ doc::element("Image", "/a.png", 700), doc::element("Image", "/b.png", 700) })));
    QVERIFY(waitMessages(1, 3000));
    f->server.serve("/next.json", oneSequence(array({ doc::element("Image", "/n.png", 5000) })));
    QObject* shown = f->object("stack.currentItem");
    QMetaObject::invokeMethod(f->root(), "load", Q_ARG(QVariant, f->server.url("/next.json")),
        Q_ARG(QVariant, f->server.hostPort()), Q_ARG(QVariant, true));
    QVERIFY(!f->eval("stackViewTimer.running").toBool());
    QCOMPARE(f->object("stack.currentItem"), shown);
    const qint64 loadedAt = f->recorder.clock.elapsed();
    QTRY_VERIFY_WITH_TIMEOUT(f->object("stack.currentItem") == nullptr, 1000);
    QVERIFY(waitMessages(2, 3000));
    const qint64 delay = f->recorder.messages.at(1).at - loadedAt;
    QVERIFY2(delay >= 1000 && delay < 2500, qPrintable(QString::number(delay)));
    QCOMPARE(sourcesOf(f->recorder.texts()), (QStringList { "/a.png", "/n.png" }));
    QCOMPARE(f->eval("mainWindow.defaultJson").toString(), f->server.url("/next.json"));
}

void tst_Scene::slowEarlierAnswerIgnored()
{
    // "play" another schedule, then the default again before the first answer is in.
    start();
    f->load(oneSequence(array({ doc::element("Image", "/default.png", 5000) })));
    QVERIFY(waitMessages(1));
    const QString slow = QStringLiteral("/ws/stream.php?action=getSchedule&schedule_uid=SLOW&standalone=0");
    f->server.serve(slow, oneSequence(array({ doc::element("Image", "/slow.png", 5000) })));
    f->server.delay(slow, 600);
    f->invoke("playSchedule", QStringLiteral("SLOW"));
    f->invoke("playDefaultSchedule");
    QVERIFY(waitMessages(2));
    QTest::qWait(1500);
    QVERIFY(f->server.requests().contains(slow));
    QCOMPARE(sourcesOf(f->recorder.texts()), (QStringList { "/default.png", "/default.png" }));
    QVERIFY(f->debugLines().contains("FUNCTION - init - answer to an earlier request ignored"));
}

void tst_Scene::relaunchDuringTransition()
{
    // A relaunch completes the running change without its end handling: next and
    // previous stay ignored until the first change after the relaunch has ended.
    start();
    f->load(oneSequence(array({ doc::element("Image", "/a.png", 800), doc::element("Image", "/b.png", 5000) }), QVariant(),
        doc::transitions(doc::part("opacity", 0, 1, 1500), doc::part("opacity", 1, 0, 300))));
    QVERIFY(waitMessages(1));
    f->invoke("goToNextComposition");
    QTRY_VERIFY(f->eval("stackDelegate.transitioning").toBool());
    f->callLoad(f->server.url("/doc.json"), f->server.hostPort(), true);
    QVERIFY(waitMessages(3));
    QVERIFY(f->eval("stackDelegate.transitioning").toBool());
    f->invoke("goToNextComposition");
    QTest::qWait(300);
    QCOMPARE(sourcesOf(f->recorder.texts()), (QStringList { "/a.png", "/b.png", "/a.png" }));
    // The first element's own 800 ms bring the next change; once it has ended, next works.
    QVERIFY(waitMessages(4, 3000));
    QVERIFY(waitIdle(4000));
    f->invoke("goToNextComposition");
    QVERIFY(waitMessages(5, 2000));
    QCOMPARE(sourcesOf(f->recorder.texts()), (QStringList { "/a.png", "/b.png", "/a.png", "/b.png", "/a.png" }));
}

void tst_Scene::shouldPlay_data()
{
    QTest::addColumn<QString>("now"); // arguments of the JavaScript Date constructor, local time
    QTest::addColumn<QString>("diffusion");
    QTest::addColumn<bool>("plays");

    // 2026-12-07 is a Monday.
    const QString monday = QStringLiteral("2026, 11, 7, 12, 0, 0");
    QTest::addRow("All") << monday << R"({"weekdays":["All"],"dates":{},"hours":{}})" << true;
    QTest::addRow("named day") << monday << R"({"weekdays":["Sunday","Monday"],"dates":{},"hours":{}})" << true;
    QTest::addRow("other days") << monday << R"({"weekdays":["Tuesday"],"dates":{},"hours":{}})" << false;
    QTest::addRow("day names are case-sensitive") << monday << R"({"weekdays":["monday","all"],"dates":{},"hours":{}})"
                                                  << false;
    QTest::addRow("weekdays as a string") << monday << R"({"weekdays":"Monday","dates":{},"hours":{}})" << false;
    QTest::addRow("empty weekdays") << monday << R"({"weekdays":[],"dates":{},"hours":{}})" << false;
    QTest::addRow("absent weekdays") << monday << R"({"dates":{},"hours":{}})" << false;
    QTest::addRow("start date inclusive")
        << QString("2026, 11, 7, 0, 0, 0") << R"({"weekdays":["All"],"dates":{"start_date":"2026-12-07"},"hours":{}})" << true;
    QTest::addRow("before start date")
        << QString("2026, 11, 6, 23, 59, 59") << R"({"weekdays":["All"],"dates":{"start_date":"2026-12-07"},"hours":{}})"
        << false;
    QTest::addRow("end date inclusive")
        << QString("2026, 11, 7, 23, 59, 59") << R"({"weekdays":["All"],"dates":{"end_date":"2026-12-07"},"hours":{}})" << true;
    QTest::addRow("after end date")
        << QString("2026, 11, 8, 0, 0, 0") << R"({"weekdays":["All"],"dates":{"end_date":"2026-12-07"},"hours":{}})" << false;
    QTest::addRow("one-day range")
        << monday << R"({"weekdays":["All"],"dates":{"start_date":"2026-12-07","end_date":"2026-12-07"},"hours":{}})" << true;
    QTest::addRow("empty end date excludes every day")
        << monday << R"({"weekdays":["All"],"dates":{"end_date":""},"hours":{}})" << false;
    QTest::addRow("empty start date excludes nothing")
        << monday << R"({"weekdays":["All"],"dates":{"start_date":""},"hours":{}})" << true;
    QTest::addRow("null bounds impose no limit")
        << monday << R"({"weekdays":["All"],"dates":{"start_date":null,"end_date":null},"hours":{"start_time":null,"end_time":null}})"
        << true;
    QTest::addRow("end time exclusive, one second before")
        << QString("2026, 11, 7, 17, 59, 59") << R"({"weekdays":["All"],"dates":{},"hours":{"end_time":"18:00:00"}})" << true;
    QTest::addRow("end time exclusive, at the end")
        << QString("2026, 11, 7, 18, 0, 0") << R"({"weekdays":["All"],"dates":{},"hours":{"end_time":"18:00:00"}})" << false;
    QTest::addRow("start time inclusive")
        << QString("2026, 11, 7, 8, 0, 0") << R"({"weekdays":["All"],"dates":{},"hours":{"start_time":"08:00:00"}})" << true;
    QTest::addRow("before start time")
        << QString("2026, 11, 7, 7, 59, 59") << R"({"weekdays":["All"],"dates":{},"hours":{"start_time":"08:00:00"}})" << false;
    QTest::addRow("afternoon uses the 24-hour clock")
        << QString("2026, 11, 7, 14, 0, 0") << R"({"weekdays":["All"],"dates":{},"hours":{"start_time":"13:00:00","end_time":"15:00:00"}})"
        << true;
    QTest::addRow("window over midnight never matches, late")
        << QString("2026, 11, 7, 23, 0, 0") << R"({"weekdays":["All"],"dates":{},"hours":{"start_time":"22:00:00","end_time":"02:00:00"}})"
        << false;
    QTest::addRow("window over midnight never matches, early")
        << QString("2026, 11, 7, 1, 0, 0") << R"({"weekdays":["All"],"dates":{},"hours":{"start_time":"22:00:00","end_time":"02:00:00"}})"
        << false;
    QTest::addRow("empty end time excludes every time")
        << monday << R"({"weekdays":["All"],"dates":{},"hours":{"end_time":""}})" << false;
    QTest::addRow("dates read only when the day matches")
        << monday << R"({"weekdays":["Tuesday"],"dates":{"start_date":"2000-01-01"},"hours":{}})" << false;
    QTest::addRow("no diffusion never plays") << monday << "null" << false;
    QTest::addRow("missing dates and hours impose no limit") << monday << R"({"weekdays":["All"]})" << true;
}

void tst_Scene::shouldPlay()
{
    QFETCH(QString, now);
    QFETCH(QString, diffusion);
    QFETCH(bool, plays);

    start();
    pinTime(now);
    const QVariant result = f->eval(QStringLiteral("stack.shouldPlay({diffusion: %1, sequence: {elements: []}})").arg(diffusion));
    QCOMPARE(result.toBool(), plays);
    QVERIFY(!f->eval("stack.shouldPlay(null)").toBool());
}

void tst_Scene::weekdayIgnoresLocale()
{
    const QLocale saved;
    QLocale::setDefault(QLocale(QLocale::French, QLocale::France));
    start();
    pinTime("2026, 11, 7, 12, 0, 0");
    const bool english = f->eval(R"(stack.shouldPlay({diffusion: {weekdays: ["Monday"], dates: {}, hours: {}}}))").toBool();
    const bool french = f->eval(R"(stack.shouldPlay({diffusion: {weekdays: ["lundi"], dates: {}, hours: {}}}))").toBool();
    QLocale::setDefault(saved);
    QVERIFY(english);
    QVERIFY(!french);
}

void tst_Scene::debugLines()
{
    start();
    f->load(oneSequence(array({ doc::element("Image", "/a.png", 5000) })), false);
    QVERIFY(waitMessages(1));
    QVERIFY2(f->debugLines().isEmpty(), qPrintable(f->debugLines().join('\n')));

    SceneFixture::log().clear();
    f->callLoad(f->server.url("/doc.json"), f->server.hostPort(), true);
    QVERIFY(waitMessages(2));
    const QStringList lines = f->debugLines();
    QVERIFY(lines.size() >= 3);
    QCOMPARE(lines.mid(0, 3),
        (QStringList { "FUNCTION - load - BEGIN", f->server.hostPort() + ":" + f->server.url("/doc.json"),
            "FUNCTION - load - END" }));
    // The stamp is the local time of the line: check it against the clock.
    const QString first = SceneFixture::log().first();
    const QDateTime stamp = QDateTime::fromString(first.left(19), QStringLiteral("dd/MM/yyyy HH:mm:ss"));
    QVERIFY2(stamp.isValid(), qPrintable(first));
    QVERIFY(qAbs(stamp.secsTo(QDateTime::currentDateTime())) <= 2);
    QVERIFY(first.mid(19).startsWith(QLatin1String("- DEBUG :FUNCTION - load - BEGIN")));
    QVERIFY(lines.contains("FUNCTION - elementCount : 1"));
}

void tst_Scene::startDelayAndDurations()
{
    start(1000);
    const QJsonArray elements = array({ doc::element("Image", "/a.png", 300), doc::element("Image", "/b.png", 600),
        doc::element("Image", "/c.png") });
    f->load(oneSequence(elements, 400));
    QVERIFY(waitMessages(4, 6000));
    QCOMPARE(sourcesOf(f->recorder.texts()).mid(0, 4), (QStringList { "/a.png", "/b.png", "/c.png", "/a.png" }));
    const auto& m = f->recorder.messages;
    // The first composition comes one second after the document, then each stays its
    // duration: never earlier, and later only by what a loaded machine adds.
    QVERIFY2(m[0].at >= 1000 && m[0].at < 2500, qPrintable(QString::number(m[0].at)));
    const qint64 d1 = m[1].at - m[0].at, d2 = m[2].at - m[1].at, d3 = m[3].at - m[2].at;
    QVERIFY2(d1 >= 290 && d1 < 1000, qPrintable(QString::number(d1)));
    QVERIFY2(d2 >= 590 && d2 < 1300, qPrintable(QString::number(d2)));
    QVERIFY2(d3 >= 390 && d3 < 1100, qPrintable(QString::number(d3)));
    // One item waits in the container, the one after the composition on screen.
    QCOMPARE(f->eval("itemsContainer.children.length").toInt(), 1);
}

void tst_Scene::oneElementSchedule()
{
    // Duration 0: nothing advances by itself, so each advance below is the only one.
    start();
    f->load(oneSequence(array({ doc::element("Image", "/only.png", 0) })));
    QVERIFY(waitMessages(1));
    auto onScreen = [this] { return f->object("stack.currentItem"); };
    auto waiting = [this](int i) { return f->object(QStringLiteral("itemsContainer.children[%1]").arg(i)); };
    auto waitingCount = [this] { return f->eval("itemsContainer.children.length").toInt(); };
    auto duplicate = [this] { return f->object("stack.duplication"); };

    // Start step: the duplicate is on screen, one regular item waits.
    QObject* d = duplicate();
    QVERIFY(d);
    QCOMPARE(onScreen(), d);
    QCOMPARE(waitingCount(), 1);
    QObject* e1 = waiting(0);

    // Advance with the duplicate on screen: the regular path.
    f->eval("stackViewTimer.pushStack()");
    QVERIFY(waitIdle());
    QCOMPARE(onScreen(), e1);
    QCOMPARE(waitingCount(), 1);
    QObject* e2 = waiting(0);
    QVERIFY(e2 != e1);
    QTRY_VERIFY(duplicate() == nullptr); // D was destroyed once replaced

    // A tick builds a new duplicate, which waits after E2.
    f->eval("clock.timeChanged()");
    QObject* d2 = duplicate();
    QVERIFY(d2);
    QCOMPARE(waitingCount(), 2);
    QCOMPARE(waiting(1), d2);

    // The waiting duplicate goes on screen next; E2 keeps waiting.
    f->eval("stackViewTimer.pushStack()");
    QVERIFY(waitIdle());
    QCOMPARE(onScreen(), d2);
    QCOMPARE(waitingCount(), 1);
    QCOMPARE(waiting(0), e2);

    // With D2 on screen the regular path runs again.
    f->eval("stackViewTimer.pushStack()");
    QVERIFY(waitIdle());
    QCOMPARE(onScreen(), e2);
    QCOMPARE(waitingCount(), 1);

    // Every advance reported the same element.
    QCOMPARE(sourcesOf(f->recorder.texts()), (QStringList { "/only.png", "/only.png", "/only.png", "/only.png" }));
}

void tst_Scene::duplicateFollowsTicks()
{
    // Entry B opens at 12:00:10; the duplicate follows the list of the tick before.
    start();
    pinTime("2026, 11, 7, 12, 0, 0");
    const QJsonArray entries = array({ doc::entry(array({ doc::element("Image", "/a.png", 0) })),
        doc::entry(array({ doc::element("Image", "/b.png", 0) }), QVariant(), QJsonObject(),
            doc::diffusion(array({ "All" }), QJsonObject(), QJsonObject { { "start_time", "12:00:10" } })) });
    f->load(doc::schedule(entries, "S"));
    QVERIFY(waitMessages(1));
    f->eval("stackViewTimer.pushStack()");
    QVERIFY(waitIdle());
    QTRY_VERIFY(!f->object("stack.duplication"));
    f->eval("clock.timeChanged()");
    QObject* waitingDuplicate = f->object("stack.duplication");
    QVERIFY(waitingDuplicate);
    QCOMPARE(f->eval("itemsContainer.children.length").toInt(), 2);

    pinTime("2026, 11, 7, 12, 0, 10");
    f->eval("clock.timeChanged()");
    QCOMPARE(f->eval("stack.sequencesToPlay.length").toInt(), 2);
    QVERIFY2(f->object("stack.duplication") == waitingDuplicate, "kept until the tick after the change");

    f->eval("clock.timeChanged()");
    QVERIFY(!f->object("stack.duplication"));
    QVERIFY(f->debugLines().contains("FUNCTION - updateSequencesToPlay - clearDuplication"));
    QVERIFY(f->debugLines().contains("FUNCTION - updateSequencesToPlay - stack.sequencesToPlay.length : 2"));
    // A dropped duplicate that still waited is gone: it must not be shown later in
    // place of the element that follows.
    QCOMPARE(f->eval("itemsContainer.children.length").toInt(), 1);

    for (int i = 0; i < 3; ++i) {
        f->eval("stackViewTimer.pushStack()");
        QVERIFY(waitIdle());
    }
    QCOMPARE(sourcesOf(f->recorder.texts()).mid(2), (QStringList { "/b.png", "/a.png", "/b.png" }));
    QCOMPARE(onScreenSource(), "http://" + f->server.hostPort() + "/b.png");
    QCOMPARE(f->eval("itemsContainer.children.length").toInt(), 1);
}

void tst_Scene::windowEndRelaunches()
{
    start();
    pinTime("2026, 11, 7, 17, 59, 58");
    const QJsonArray entries = array({ doc::entry(array({ doc::element("Image", "/day.png", 60000) }), QVariant(),
                                           QJsonObject(),
                                           doc::diffusion(array({ "All" }), QJsonObject(), QJsonObject { { "end_time", "18:00:00" } })),
        doc::entry(array({ doc::element("Image", "/night.png", 60000) }), QVariant(), QJsonObject(),
            doc::diffusion(array({ "All" }), QJsonObject(), QJsonObject { { "start_time", "18:00:00" } })) });
    f->load(doc::schedule(entries, "S"));
    QVERIFY(waitMessages(1));
    QCOMPARE(sourcesOf(f->recorder.texts()), QStringList { "/day.png" });

    pinTime("2026, 11, 7, 17, 59, 59");
    f->eval("clock.timeChanged()");
    QTest::qWait(300);
    QCOMPARE(f->recorder.messages.size(), 1);

    pinTime("2026, 11, 7, 18, 0, 0");
    f->eval("clock.timeChanged()");
    QVERIFY(!f->object("stack.currentItem")); // black until the start step
    QVERIFY(waitMessages(2));
    QCOMPARE(sourcesOf(f->recorder.texts()), (QStringList { "/day.png", "/night.png" }));
    QVERIFY2(!f->eval("stackDelegate.transitioning").toBool(), "the first composition after a launch has no transition");
}

void tst_Scene::nothingAllowedThenAllowed()
{
    start();
    pinTime("2026, 11, 7, 7, 0, 0");
    const QJsonArray entries = array({ doc::entry(array({ doc::element("Image", "/a.png", 60000) }), QVariant(),
        QJsonObject(), doc::diffusion(array({ "All" }), QJsonObject(), QJsonObject { { "start_time", "08:00:00" } })) });
    f->load(doc::schedule(entries, "S"));
    QTest::qWait(400);
    QCOMPARE(f->recorder.messages.size(), 0);
    QVERIFY(f->eval("stack.currentSequence === null").toBool());

    // Remote operations with nothing on screen are ignored.
    f->invoke("goToNextComposition");
    f->invoke("goToPreviousComposition");
    f->invoke("pausePlayer");
    QVERIFY(!f->eval("stack.paused").toBool());
    QCOMPARE(f->recorder.messages.size(), 0);
    QVERIFY(f->debugLines().contains("FUNCTION - goToNextComposition - nothing on screen, ignored"));

    pinTime("2026, 11, 7, 8, 0, 0");
    f->eval("clock.timeChanged()");
    QVERIFY(waitMessages(1));
    QCOMPARE(sourcesOf(f->recorder.texts()), QStringList { "/a.png" });
}

void tst_Scene::failedFetchKeepsScreen()
{
    start();
    f->load(oneSequence(array({ doc::element("Image", "/a.png", 400), doc::element("Image", "/b.png", 400) })));
    QVERIFY(waitMessages(1));
    QObject* shown = f->object("stack.currentItem");
    // A 404 page is not a document: nothing new is taken and the advance stays stopped.
    f->callLoad(f->server.url("/missing.json"), f->server.hostPort(), true);
    QTest::qWait(1200);
    QCOMPARE(f->recorder.messages.size(), 1);
    QCOMPARE(f->object("stack.currentItem"), shown);
    QVERIFY(f->server.requests().contains("/missing.json"));
    QVERIFY(f->logContains("did not give a JSON document"));
}


namespace {

// Two sequences with transitions everywhere a rule can pick one from:
//   A: a0 (own enter and exit), a1 (none); defaults: enter rotation, exit opacity
//   B: b0 (own exit only), b1 (none); defaults: enter y, exit x
QByteArray transitionDocument(int duration = 0)
{
    QJsonObject a0 = doc::element("Image", "/a0.png", duration);
    a0.insert("transitions", doc::transitions(doc::part("opacity", 0, 1, 40), doc::part("x", 0, -100, 41)));
    const QJsonObject a1 = doc::element("Image", "/a1.png", duration);
    QJsonObject b0 = doc::element("Image", "/b0.png", duration);
    b0.insert("transitions", QJsonObject { { "exit", doc::part("x", 0, 300, 42) } });
    const QJsonObject b1 = doc::element("Image", "/b1.png", duration);
    const QJsonArray entries = array({
        doc::entry(array({ a0, a1 }), QVariant(), doc::transitions(doc::part("rotation", 90, 0, 43), doc::part("opacity", 1, 0, 44))),
        doc::entry(array({ b0, b1 }), QVariant(), doc::transitions(doc::part("y", 200, 0, 45), doc::part("x", 0, 500, 46))),
    });
    return doc::schedule(entries, "T");
}

QString param(const QString& property, double from, double to, int duration)
{
    return QStringLiteral("{\"animate\":true,\"property\":\"%1\",\"from\":%2,\"to\":%3,\"duration\":%4}")
        .arg(property)
        .arg(from)
        .arg(to)
        .arg(duration);
}

} // namespace

void tst_Scene::transitionChoice_data()
{
    QTest::addColumn<QStringList>("steps"); // "next" or "previous", from a0 on screen
    QTest::addColumn<QString>("onScreen");
    QTest::addColumn<QString>("enter");
    QTest::addColumn<QString>("exit");

    QTest::addRow("within a sequence: own exit, default enter")
        << QStringList { "next" } << "/a1.png" << param("rotation", 90, 0, 43) << param("x", 0, -100, 41);
    QTest::addRow("across sequences: leaving sequence's first enter, last exit")
        << QStringList { "next", "next" } << "/b0.png" << param("opacity", 0, 1, 40) << param("opacity", 1, 0, 44);
    QTest::addRow("within the next sequence: its own parts")
        << QStringList { "next", "next", "next" } << "/b1.png" << param("y", 200, 0, 45) << param("x", 0, 300, 42);
    QTest::addRow("wrapping back to the first sequence")
        << QStringList { "next", "next", "next", "next" } << "/a0.png" << param("y", 200, 0, 45) << param("x", 0, 500, 46);
    QTest::addRow("step back replays the change reversed")
        << QStringList { "next", "previous" } << "/a0.png" << param("x", -100, 0, 41) << param("rotation", 0, 90, 43);
    QTest::addRow("step back across sequences")
        << QStringList { "next", "next", "previous" } << "/a1.png" << param("opacity", 0, 1, 44) << param("opacity", 1, 0, 40);
    QTest::addRow("step back from the first element wraps to the last")
        << QStringList { "previous" } << "/b1.png" << param("x", 500, 0, 46) << param("y", 0, 200, 45);
}

void tst_Scene::transitionChoice()
{
    QFETCH(QStringList, steps);
    QFETCH(QString, onScreen);
    QFETCH(QString, enter);
    QFETCH(QString, exit);

    start();
    f->load(transitionDocument());
    QVERIFY(waitMessages(1));
    QVERIFY2(!f->eval("stackDelegate.transitioning").toBool(), "no transition for the first composition");
    for (const QString& step : steps) {
        f->invoke(step == QLatin1String("next") ? "goToNextComposition" : "goToPreviousComposition");
        QVERIFY(waitIdle());
    }
    QCOMPARE(sourcesOf(f->recorder.texts()).last(), onScreen);
    QCOMPARE(f->eval("JSON.stringify(stackDelegate.enterParam)").toString(), enter);
    QCOMPARE(f->eval("JSON.stringify(stackDelegate.exitParam)").toString(), exit);
    // The document's own parts are never changed by a reversal.
    const QJsonObject documentPart = QJsonDocument::fromJson(
        f->eval("JSON.stringify(stack.sequences[0].sequence.elements[0].transitions.exit)").toString().toUtf8())
                                         .object();
    QCOMPARE(documentPart, doc::part("x", 0, -100, 41));
}

void tst_Scene::transitionExpressions_data()
{
    QTest::addColumn<QJsonValue>("from");
    QTest::addColumn<QJsonValue>("to");
    QTest::addColumn<QString>("expected"); // "from/to", {w} the window width, {h} its height; empty when rejected

    QTest::addRow("numbers") << QJsonValue(0) << QJsonValue(1) << "0/1";
    QTest::addRow("window width") << QJsonValue("width") << QJsonValue(0) << "{w}/0";
    QTest::addRow("scene sizes in arithmetic") << QJsonValue("-mainWindow.width / 2") << QJsonValue("stack.height % 7 + (height - height)")
                                               << "-{w2}/{h7}";
    QTest::addRow("Math") << QJsonValue("Math.max(width, 10) * Math.round(0.6)") << QJsonValue("Math.PI") << "{w}/3.141592653589793";
    QTest::addRow("call of a scene function") << QJsonValue("mainWindow.close()") << QJsonValue(0) << "";
    QTest::addRow("another name") << QJsonValue("stackViewTimer.interval") << QJsonValue(0) << "";
    QTest::addRow("assignment") << QJsonValue(0) << QJsonValue("width = 5") << "";
    QTest::addRow("function") << QJsonValue("(function () { return 1; })()") << QJsonValue(0) << "";
    QTest::addRow("file read") << QJsonValue("new XMLHttpRequest()") << QJsonValue(0) << "";
    QTest::addRow("boolean") << QJsonValue(true) << QJsonValue(0) << "";
}

void tst_Scene::transitionExpressions()
{
    QFETCH(QJsonValue, from);
    QFETCH(QJsonValue, to);
    QFETCH(QString, expected);

    start();
    if (f->eval("typeof Expression.evaluate").toString() != QLatin1String("function"))
        QSKIP("the transition expression evaluator is not in the resources yet");
    const QJsonObject part { { "property", "x" }, { "from", from }, { "to", to }, { "duration", 30 } };
    f->load(oneSequence(array({ doc::element("Image", "/a.png", 0), doc::element("Image", "/b.png", 0) }), QVariant(),
        doc::transitions(part, doc::part("opacity", 1, 0, 30))));
    QVERIFY(waitMessages(1));

    // Evaluated when each change starts, against the window as it is then.
    for (int width : { 1000, 1400 }) {
        QQuickWindow* window = qobject_cast<QQuickWindow*>(f->root());
        QVERIFY(window);
        window->setVisibility(QWindow::Windowed);
        window->resize(width, 600);
        QTRY_COMPARE(f->eval("stack.width").toInt(), width);
        QTRY_COMPARE(f->eval("stack.height").toInt(), 600);
        SceneFixture::log().clear();
        f->invoke("goToNextComposition");
        QVERIFY(waitIdle());
        const QString enter = f->eval("JSON.stringify(stackDelegate.enterParam)").toString();
        const QString exit = f->eval("JSON.stringify(stackDelegate.exitParam)").toString();
        QCOMPARE(exit, param("opacity", 1, 0, 30)); // the other part still runs
        if (expected.isEmpty()) {
            QVERIFY2(enter.contains("\"animate\":false"), qPrintable(enter));
            bool rejected = false;
            for (const QString& line : f->debugLines())
                rejected = rejected || line.startsWith("FUNCTION - getTransition - enter transition rejected");
            QVERIFY2(rejected, qPrintable(f->debugLines().join('\n')));
            QVERIFY(f->eval("mainWindow.visible").toBool());
        } else {
            const QStringList values = expected.split('/');
            const int height = f->eval("stack.height").toInt();
            auto value = [&](QString v) {
                return v.replace("{w2}", QString::number(width / 2.0))
                    .replace("{h7}", QString::number(height % 7))
                    .replace("{w}", QString::number(width))
                    .replace("{h}", QString::number(height));
            };
            QCOMPARE(enter, QStringLiteral("{\"animate\":true,\"property\":\"x\",\"from\":%1,\"to\":%2,\"duration\":30}")
                                .arg(value(values.at(0)), value(values.at(1))));
        }
    }
}

void tst_Scene::transitionRunsOnScreen()
{
    // A slow exit on x: mid-way the leaving item is off its place; at the end it is back at 0.
    start();
    const QJsonObject slowExit = doc::part("x", 0, 800, 600);
    f->load(oneSequence(array({ doc::element("Image", "/a.png", 0), doc::element("Image", "/b.png", 0) }), QVariant(),
        doc::transitions(doc::part("opacity", 0, 1, 600), slowExit)));
    QVERIFY(waitMessages(1));
    QObject* leaving = f->object("stack.currentItem");
    QSignalSpy destroyed(leaving, &QObject::destroyed);
    // The leaving item is destroyed right after the change: follow its x until then.
    double lastX = -1;
    QQuickItem* leavingItem = qobject_cast<QQuickItem*>(leaving);
    QVERIFY(leavingItem);
    QMetaObject::Connection follow = QObject::connect(leavingItem, &QQuickItem::xChanged, [&] { lastX = leaving->property("x").toDouble(); });
    f->invoke("goToNextComposition");
    QTest::qWait(300);
    QVERIFY(f->eval("stackDelegate.transitioning").toBool());
    const double x = leaving->property("x").toDouble();
    const double opacity = f->eval("stack.currentItem.opacity").toDouble();
    QVERIFY2(x > 200 && x < 600, qPrintable(QString::number(x)));
    QVERIFY2(opacity > 0.25 && opacity < 0.75, qPrintable(QString::number(opacity)));
    QVERIFY(waitIdle());
    QCOMPARE(lastX, 0.0);
    QCOMPARE(f->eval("stack.currentItem.opacity").toDouble(), 1.0);
    QTRY_COMPARE(destroyed.count(), 1); // replaced items go
    QObject::disconnect(follow);
}

void tst_Scene::remoteStateTable_data()
{
    QTest::addColumn<bool>("paused");
    QTest::addColumn<int>("duration");
    QTest::addColumn<QString>("command");
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<int>("index");
    QTest::addColumn<bool>("pausedAfter");
    QTest::addColumn<bool>("timerRunning");

    const QString changed = QStringLiteral("player_composition_changed");
    for (bool paused : { false, true }) {
        for (int duration : { 3000, 0 }) {
            const QString state = QStringLiteral("%1, %2 duration, ").arg(paused ? "paused" : "running", duration ? "positive" : "zero");
            // Next always advances; the flag stays as it was; the timer runs only when not paused.
            QTest::addRow("%s", qPrintable(state + "next"))
                << paused << duration << "goToNextComposition" << QStringList { changed } << 1 << paused << !paused;
            QTest::addRow("%s", qPrintable(state + "pause"))
                << paused << duration << "pausePlayer" << (paused ? QStringList() : QStringList { "player_is_paused" }) << 0
                << true << false;
            QTest::addRow("%s", qPrintable(state + "resume"))
                << paused << duration << "resumePlayer" << (paused ? QStringList { "player_is_resumed" } : QStringList()) << 0
                << false << (duration > 0);
        }
    }
}

void tst_Scene::remoteStateTable()
{
    QFETCH(bool, paused);
    QFETCH(int, duration);
    QFETCH(QString, command);
    QFETCH(QStringList, messages);
    QFETCH(int, index);
    QFETCH(bool, pausedAfter);
    QFETCH(bool, timerRunning);

    start();
    f->load(oneSequence(array({ doc::element("Image", "/a.png", duration), doc::element("Image", "/b.png", 3000),
        doc::element("Image", "/c.png", 3000) })));
    QVERIFY(waitMessages(1));
    if (paused) {
        f->invoke("pausePlayer");
        QCOMPARE(cmdsOf(f->recorder.texts()).last(), QStringLiteral("player_is_paused"));
    }
    const int before = f->recorder.messages.size();
    f->invoke(command.toLatin1().constData());
    if (!messages.isEmpty())
        QVERIFY(waitMessages(before + messages.size(), 2000));
    QTest::qWait(100);
    QVERIFY(waitIdle());
    QCOMPARE(cmdsOf(f->recorder.texts().mid(before)), messages);
    QCOMPARE(f->eval("stack.index").toInt(), index);
    QCOMPARE(f->eval("stack.paused").toBool(), pausedAfter);
    QCOMPARE(f->eval("stackViewTimer.running").toBool(), timerRunning);
    if (!messages.isEmpty() && messages.first() != QLatin1String("player_composition_changed")) {
        QCOMPARE(f->recorder.messages.last().text,
            QStringLiteral("{\"cmd\":\"%1\",\"id\":\"auto\",\"device_id\":\"DEV-1\"}").arg(messages.first()));
    }
}

void tst_Scene::remoteIgnoredDuringTransition()
{
    start();
    f->load(oneSequence(array({ doc::element("Image", "/a.png", 0), doc::element("Image", "/b.png", 0),
                            doc::element("Image", "/c.png", 0) }),
        QVariant(), doc::transitions(doc::part("opacity", 0, 1, 800), doc::part("opacity", 1, 0, 800))));
    QVERIFY(waitMessages(1));
    f->invoke("goToNextComposition");
    QVERIFY(f->eval("stackDelegate.transitioning").toBool());
    f->invoke("goToNextComposition");
    f->invoke("goToPreviousComposition");
    QCOMPARE(sourcesOf(f->recorder.texts()), (QStringList { "/a.png", "/b.png" }));
    // Pause and resume still work while the change runs.
    f->invoke("pausePlayer");
    f->invoke("resumePlayer");
    QCOMPARE(cmdsOf(f->recorder.texts()).mid(2), (QStringList { "player_is_paused", "player_is_resumed" }));
    QVERIFY(waitIdle());
    f->invoke("goToNextComposition");
    QCOMPARE(sourcesOf(f->recorder.texts()).last(), QStringLiteral("/c.png"));
}

void tst_Scene::previousWrapsAndReturns()
{
    start();
    const QJsonArray entries = array({ doc::entry(array({ doc::element("Image", "/a0.png", 0), doc::element("Image", "/a1.png", 0) })),
        doc::entry(array({ doc::element("Image", "/b0.png", 0), doc::element("Image", "/b1.png", 0) })) });
    f->load(doc::schedule(entries, "S"));
    QVERIFY(waitMessages(1));
    QObject* first = f->object("stack.currentItem");
    f->invoke("goToPreviousComposition");
    QVERIFY(waitIdle());
    f->invoke("goToNextComposition");
    QVERIFY(waitIdle());
    f->invoke("goToNextComposition");
    QVERIFY(waitIdle());
    f->invoke("goToPreviousComposition");
    QVERIFY(waitIdle());
    QCOMPARE(sourcesOf(f->recorder.texts()), (QStringList { "/a0.png", "/b1.png", "/a0.png", "/a1.png", "/a0.png" }));
    QVERIFY(f->object("stack.currentItem") != first); // built afresh
    // The item waiting is the one stepped back from.
    QCOMPARE(f->eval("String(itemsContainer.children[0].source)").toString(), "http://" + f->server.hostPort() + "/a1.png");
    QCOMPARE(f->eval("itemsContainer.children.length").toInt(), 1);
}

void tst_Scene::pauseKeepsFullDuration()
{
    // Paused after 300 ms of a 600 ms image, resumed 400 ms later: it stays another full 600 ms.
    start();
    f->load(oneSequence(array({ doc::element("Image", "/a.png", 600), doc::element("Image", "/b.png", 5000) })));
    QVERIFY(waitMessages(1));
    QTest::qWait(300);
    f->invoke("pausePlayer");
    QTest::qWait(400);
    QCOMPARE(f->recorder.messages.size(), 2);
    const qint64 resumedAt = f->recorder.clock.elapsed();
    f->invoke("resumePlayer");
    QVERIFY(waitMessages(4, 2000));
    const qint64 stayed = f->recorder.messages.at(3).at - resumedAt;
    QVERIFY2(stayed >= 590 && stayed < 1300, qPrintable(QString::number(stayed)));
    QCOMPARE(cmdsOf(f->recorder.texts()), (QStringList { "player_composition_changed", "player_is_paused",
                                              "player_is_resumed", "player_composition_changed" }));
}

void tst_Scene::playScheduleAndDefault()
{
    start();
    f->load(oneSequence(array({ doc::element("Image", "/default.png", 5000) })));
    QVERIFY(waitMessages(1));
    const QString other = QStringLiteral("/ws/stream.php?action=getSchedule&schedule_uid=X 7&standalone=0");
    f->server.serve(QStringLiteral("/ws/stream.php?action=getSchedule&schedule_uid=X%207&standalone=0"),
        oneSequence(array({ doc::element("Image", "/other.png", 5000) })));
    f->invoke("playSchedule", QStringLiteral("X 7"));
    QVERIFY(waitMessages(2));
    QCOMPARE(f->eval("stack.json").toString(), "http://" + f->server.hostPort() + other);
    QCOMPARE(sourcesOf(f->recorder.texts()).last(), QStringLiteral("/other.png"));

    f->invoke("playDefaultSchedule");
    QVERIFY(waitMessages(3));
    QCOMPARE(sourcesOf(f->recorder.texts()).last(), QStringLiteral("/default.png"));
    QCOMPARE(f->server.requests().count("/doc.json"), 2);

    f->invoke("playSchedule", QVariant::fromValue(nullptr));
    QVERIFY(f->debugLines().contains("FUNCTION - playSchedule -> scheduleUID is not defined"));
}

void tst_Scene::malformedDocuments_data()
{
    QTest::addColumn<QByteArray>("document");
    QTest::addColumn<QStringList>("shown"); // sources of the first compositions, in order
    QTest::addColumn<QString>("debugLine"); // a line that says what was skipped

    const QJsonObject a = doc::element("Image", "/a.png", 150);
    const QJsonObject b = doc::element("Image", "/b.png", 150);
    const QJsonObject video = doc::element("Video", "/v.mp4", 150);
    const QJsonObject goodEntry = doc::entry(array({ a, b }));
    auto scheduleOf = [](const QJsonArray& entries) { return doc::schedule(entries, "M"); };
    auto withoutKey = [](QJsonObject o, const QString& path) {
        const QStringList keys = path.split('.');
        if (keys.size() == 1) {
            o.remove(keys[0]);
            return o;
        }
        QJsonObject inner = o.value(keys[0]).toObject();
        inner.remove(keys[1]);
        o.insert(keys[0], inner);
        return o;
    };

    QTest::addRow("unknown element type is skipped")
        << scheduleOf(array({ doc::entry(array({ a, doc::element("Flash", "/f.swf", 150), b })) }))
        << QStringList { "/a.png", "/b.png", "/a.png" }
        << "FUNCTION - keepPlayableParts - sequence 0 element 1 skipped: unknown type \"Flash\"";
    QTest::addRow("element without attributes is skipped")
        << scheduleOf(array({ doc::entry(array({ a, QJsonObject { { "type", "Image" }, { "duration", 150 } }, b })) }))
        << QStringList { "/a.png", "/b.png", "/a.png" } << "FUNCTION - keepPlayableParts - sequence 0 element 1 skipped: no attributes";
    QTest::addRow("element that is not an object is skipped")
        << scheduleOf(array({ doc::entry(array({ a, 5, b })) })) << QStringList { "/a.png", "/b.png", "/a.png" }
        << "FUNCTION - keepPlayableParts - sequence 0 element 1 skipped: not an object";
    QTest::addRow("entry without diffusion is skipped")
        << scheduleOf(array({ withoutKey(doc::entry(array({ video })), "diffusion"), goodEntry }))
        << QStringList { "/a.png", "/b.png", "/a.png" } << "FUNCTION - keepPlayableParts - sequence 0 skipped: no diffusion";
    QTest::addRow("entry without sequence is skipped")
        << scheduleOf(array({ withoutKey(doc::entry(array({ a })), "sequence"), goodEntry }))
        << QStringList { "/a.png", "/b.png", "/a.png" } << "FUNCTION - keepPlayableParts - sequence 0 skipped: no sequence";
    QTest::addRow("entries that are not objects are skipped")
        << scheduleOf(array({ 1, "x", QJsonValue::Null, goodEntry })) << QStringList { "/a.png", "/b.png", "/a.png" }
        << "FUNCTION - keepPlayableParts - sequence 2 skipped: not an object";
    QTest::addRow("entry without dates or hours plays without limits")
        << scheduleOf(array({ withoutKey(withoutKey(goodEntry, "diffusion.dates"), "diffusion.hours") }))
        << QStringList { "/a.png", "/b.png", "/a.png" } << "FUNCTION - keepPlayableParts - sequence 0: no dates, no date limit";
    QTest::addRow("entry without global_properties uses the elements' own values")
        << scheduleOf(array({ QJsonObject { { "diffusion", doc::diffusion() },
               { "sequence", QJsonObject { { "elements", array({ a, b }) } } } } }))
        << QStringList { "/a.png", "/b.png", "/a.png" }
        << "FUNCTION - keepPlayableParts - sequence 0: no global_properties, elements use only their own values";
    QTest::addRow("entry whose elements are not an array plays nothing, the others play")
        << scheduleOf(array({ QJsonObject { { "diffusion", doc::diffusion() },
                                  { "sequence", QJsonObject { { "global_properties", QJsonObject() }, { "elements", "a" } } } },
               goodEntry }))
        << QStringList { "/a.png", "/b.png", "/a.png" } << "FUNCTION - keepPlayableParts - sequence 0: no elements";
    QTest::addRow("empty sequences are passed over")
        << scheduleOf(array({ doc::entry(array({ a })), doc::entry(QJsonArray()), doc::entry(array({ b })),
               doc::entry(QJsonArray()) }))
        << QStringList { "/a.png", "/b.png", "/a.png", "/b.png" } << "";
    QTest::addRow("a sequence of videos only, while videos cannot be built")
        << scheduleOf(array({ doc::entry(array({ video, video })), goodEntry }))
        << QStringList { "/a.png", "/b.png", "/a.png" }
        << "FUNCTION - keepPlayableParts - sequence 0 element 0 skipped: Video items cannot be built";
    QJsonObject badFill = a;
    badFill.insert("attributes", QJsonObject { { "source", "/a.png" }, { "fillMode", "Zoom" } });
    QTest::addRow("unknown fillMode keeps stretch") << scheduleOf(array({ doc::entry(array({ badFill, b })) }))
                                                    << QStringList { "/a.png", "/b.png", "/a.png" }
                                                    << "FUNCTION - configElt - unknown fillMode \"Zoom\", kept Stretch";
    QJsonObject nullTransitions = a;
    nullTransitions.insert("transitions", QJsonValue::Null);
    QTest::addRow("null transitions fall back to the defaults")
        << scheduleOf(array({ doc::entry(array({ nullTransitions, b }), QVariant(),
               doc::transitions(doc::part("opacity", 0, 1, 20), doc::part("opacity", 1, 0, 20))) }))
        << QStringList { "/a.png", "/b.png", "/a.png" } << "";
    QTest::addRow("transitions without exit animate the entering item only")
        << scheduleOf(array({ doc::entry(array({ a, b }), QVariant(), QJsonObject { { "enter", doc::part("opacity", 0, 1, 20) } }) }))
        << QStringList { "/a.png", "/b.png", "/a.png" } << "FUNCTION - getTransition - no exit transition, not animated";
    QTest::addRow("transition part without property")
        << scheduleOf(array({ doc::entry(array({ a, b }), QVariant(),
               doc::transitions(QJsonObject { { "from", 0 }, { "to", 1 }, { "duration", 20 } }, doc::part("opacity", 1, 0, 20))) }))
        << QStringList { "/a.png", "/b.png", "/a.png" } << "FUNCTION - getTransition - enter transition without property, not animated";
}

void tst_Scene::malformedDocuments()
{
    QFETCH(QByteArray, document);
    QFETCH(QStringList, shown);
    QFETCH(QString, debugLine);

    start();
    if (QString(QTest::currentDataTag()).contains("videos cannot be built")
        && f->eval("stack.videoComponent.status === Component.Ready").toBool())
        QSKIP("video items can be built in this build");
    f->load(document);
    QVERIFY2(waitMessages(shown.size(), 4000), qPrintable(f->debugLines().join('\n')));
    QCOMPARE(sourcesOf(f->recorder.texts()).mid(0, shown.size()), shown);
    if (!debugLine.isEmpty()) {
        bool found = false;
        for (const QString& line : f->debugLines())
            found = found || line.startsWith(debugLine);
        QVERIFY2(found, qPrintable(f->debugLines().join('\n')));
    }
    // What is on screen is what was reported last.
    QVERIFY(!onScreenSource().isEmpty());
}

int main(int argc, char** argv)
{
    qputenv("QSG_RENDER_LOOP", "basic");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    QtWebEngine::initialize();
    tst_Scene test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_scene.moc"
