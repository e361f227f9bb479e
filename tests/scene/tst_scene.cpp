// The scene's logic on the real quickwindow.qml: documents come from a loopback HTTP
// server, the engine is a recording stand-in, and the instant the diffusion rules see
// is pinned through the stack's fixedNow.

#include "scenefixture.h"

#include <QApplication>
#include <QLocale>
#include <QQuickItem>
#include <QQuickWindow>
#include <QSignalSpy>
#include <QTest>
#include <QtWebEngine/QtWebEngine>

#include <memory>

namespace {

const int kQuickStart = 100; // start delay where the test is not about it

QJsonObject statusInfos(const QString& message)
{
    return QJsonDocument::fromJson(message.toUtf8()).object().value("infos").toObject();
}

QString cmdOf(const QString& message)
{
    return QJsonDocument::fromJson(message.toUtf8()).object().value("cmd").toString();
}

QStringList sourcesOf(const QStringList& messages)
{
    QStringList out;
    for (const QString& m : messages) {
        if (cmdOf(m) == QLatin1String("player_composition_changed"))
            out.append(statusInfos(m).value("source").toString());
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

QJsonArray array(std::initializer_list<QJsonValue> values) { return QJsonArray(values); }

QJsonObject img(const QString& source, const QVariant& duration = QVariant())
{
    return doc::element("Image", source, duration);
}

QByteArray oneSequence(const QJsonArray& elements, const QVariant& duration = QVariant(),
    const QJsonObject& transitions = QJsonObject())
{
    return doc::schedule(array({ doc::entry(elements, duration, transitions) }), QStringLiteral("S1"));
}

// One entry per element list, each with its own diffusion hours.
QByteArray entries(const QList<QPair<QJsonArray, QJsonObject>>& list)
{
    QJsonArray out;
    for (const auto& e : list)
        out.append(doc::entry(e.first, QVariant(), QJsonObject(), doc::diffusion(e.second)));
    return doc::schedule(out, "S");
}

QString param(const QString& property, double from, double to, int duration)
{
    return QStringLiteral("{\"animate\":true,\"property\":\"%1\",\"from\":%2,\"to\":%3,\"duration\":%4}")
        .arg(property).arg(from).arg(to).arg(duration);
}

} // namespace

class tst_Scene : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<SceneFixture> f;
    const QLocale m_locale;

    // A fresh scene for every test: nothing carries over from one to the next.
    void start(int startDelay = kQuickStart)
    {
        f.reset(new SceneFixture());
        QVERIFY(f->root);
        f->eval(QStringLiteral("stackViewInit.interval = %1").arg(startDelay));
    }

    // A fresh scene playing `document`, its first composition announced.
    bool play(const QByteArray& document, int startDelay = kQuickStart, int timeout = 5000)
    {
        start(startDelay);
        f->load(document);
        return waitMessages(1, timeout);
    }

    void pinTime(const QString& jsDateArgs) { f->eval(QStringLiteral("stack.fixedNow = new Date(%1)").arg(jsDateArgs)); }
    void tick() { f->eval("clock.timeChanged()"); }
    int waitingCount() const { return f->eval("itemsContainer.children.length").toInt(); }

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
        while (f->eval("stackDelegate.transitioning").toBool() && t.elapsed() < timeout)
            QTest::qWait(10);
        return !f->eval("stackDelegate.transitioning").toBool();
    }

    // Calls a stack method and waits for the change it starts to end.
    bool step(const char* method)
    {
        f->invoke(method);
        return waitIdle();
    }

    // Lets the advance timer fire now and waits for the change to end.
    bool push()
    {
        f->eval("stackViewTimer.pushStack()");
        return waitIdle();
    }

    QString onScreenSource() const
    {
        return f->eval("stack.currentItem ? String(stack.currentItem.source) : ''").toString();
    }

private slots:
    void cleanup()
    {
        f.reset();
        QLocale::setDefault(m_locale);
    }

    void documentForms_data()
    {
        QTest::addColumn<QByteArray>("document");
        QTest::addColumn<QString>("firstSource");
        QTest::addColumn<int>("sequenceCount");
        QTest::addColumn<QString>("debugLine");

        const QJsonObject a = img("/a.png", 500), b = img("/b.png", 500);
        const QString neither = "FUNCTION - init - NO JSON FOUND OR JSON DOES NOT CONTAIN schedule OR objects";
        QTest::addRow("current form") << oneSequence(array({ a })) << "/a.png" << 1 << "";
        QTest::addRow("old form") << doc::text({ { "objects", array({ b }) }, { "duration", 700 } }) << "/b.png" << 1 << "";
        QTest::addRow("schedule wins over objects")
            << doc::text({ { "schedule", QJsonDocument::fromJson(oneSequence(array({ a }))).object().value("schedule") },
                   { "objects", array({ b }) } })
            << "/a.png" << 1 << "";
        QTest::addRow("neither form") << doc::text({ { "something", 1 } }) << "" << 0 << neither;
        QTest::addRow("null schedule with objects reads objects")
            << doc::text({ { "schedule", QJsonValue::Null }, { "objects", array({ b }) } }) << "/b.png" << 1
            << "FUNCTION - init - schedule is not an object, reading objects instead";
        QTest::addRow("schedule without sequences plays nothing") << doc::text({ { "schedule", QJsonObject() } }) << "" << 0
            << "FUNCTION - updateSequencesToPlay - stack.sequencesToPlay.length : 0";
        QTest::addRow("body is not JSON") << QByteArray("<html>error</html>") << "" << 0 << "";
    }

    void documentForms()
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
        QVERIFY(f->server.requests.contains("/doc.json"));
    }

    void qrDecision_data()
    {
        QTest::addColumn<QJsonValue>("uid");
        QTest::addColumn<QJsonValue>("isPrivate");
        QTest::addColumn<QString>("call");

        const QJsonValue absent(QJsonValue::Undefined);
        QTest::addRow("private absent, identifier given") << QJsonValue("S9") << absent << "show:S9";
        QTest::addRow("private truthy string") << QJsonValue("S9") << QJsonValue("yes") << "hide";
        QTest::addRow("private zero is falsy") << QJsonValue("S9") << QJsonValue(0) << "show:S9";
        QTest::addRow("identifier absent") << absent << QJsonValue(false) << "hide";
        QTest::addRow("identifier empty") << QJsonValue("") << QJsonValue(false) << "hide";
        QTest::addRow("numeric identifier as decimal text") << QJsonValue(42) << absent << "show:42";
    }

    void qrDecision()
    {
        QFETCH(QJsonValue, uid);
        QFETCH(QJsonValue, isPrivate);
        QFETCH(QString, call);

        start();
        f->load(doc::schedule(array({ doc::entry(array({ img("/a.png", 500) })) }), uid, isPrivate));
        QTRY_COMPARE_WITH_TIMEOUT(f->recorder.qrCalls.size(), 1, 3000);
        QCOMPARE(f->recorder.qrCalls.first(), call);
        QVERIFY(f->debugLines().contains(call == QLatin1String("hide")
                ? QStringLiteral("FUNCTION - init - schedule is private => hiding the qrcode")
                : QStringLiteral("FUNCTION - init - schedule is public => showing the qrcode")));
    }

    void oldFormKeepsPreviousIdentifier()
    {
        start();
        f->load(doc::text({ { "objects", array({ img("/o.png", 500) }) } }), true, "/old.json");
        QTRY_COMPARE_WITH_TIMEOUT(f->recorder.qrCalls, QStringList { "hide" }, 3000);
        f->load(doc::schedule(array({ doc::entry(array({ img("/a.png", 500) })) }), "PUB"), true, "/public.json");
        QTRY_COMPARE_WITH_TIMEOUT(f->recorder.qrCalls, (QStringList { "hide", "show:PUB" }), 3000);
        f->callLoad(f->server.url("/old.json"));
        QTRY_COMPARE_WITH_TIMEOUT(f->recorder.qrCalls, (QStringList { "hide", "show:PUB", "show:PUB" }), 3000);
    }

    void statusDatagram_data()
    {
        QTest::addColumn<QJsonObject>("element");
        QTest::addColumn<QVariant>("sequenceDuration");
        QTest::addColumn<QString>("expected"); // after the "infos" key

        QTest::addRow("own duration, no extras") << img("/a.png", 900) << QVariant(300)
                                                 << R"({"type":"Image","source":"/a.png","duration":900}})";
        QTest::addRow("sequence duration") << img("/a.png") << QVariant(300)
                                           << R"({"type":"Image","source":"/a.png","duration":300}})";
        QTest::addRow("no duration anywhere leaves the key out") << img("/a.png") << QVariant()
                                                                 << R"({"type":"Image","source":"/a.png"}})";
        QJsonObject e = img("/a.png", 900);
        e.insert("hueColor", QJsonObject { { "h", 120 } });
        e.insert("fragrance", 0);
        QTest::addRow("hue colour copied unchanged, any fragrance value is on")
            << e << QVariant(300) << R"({"type":"Image","source":"/a.png","duration":900,"hueColor":{"h":120},"fragrance":"on"}})";
        e.insert("hueColor", QJsonValue::Null);
        e.insert("fragrance", QJsonValue::Null);
        QTest::addRow("null extras are left out") << e << QVariant(300)
                                                  << R"({"type":"Image","source":"/a.png","duration":900}})";
    }

    void statusDatagram()
    {
        QFETCH(QJsonObject, element);
        QFETCH(QVariant, sequenceDuration);
        QFETCH(QString, expected);

        QVERIFY(play(oneSequence(array({ element }), sequenceDuration)));
        QCOMPARE(f->recorder.messages.first().text,
            R"({"cmd":"player_composition_changed","id":"auto","device_id":"DEV-1","infos":)" + expected);
    }

    void sources_data()
    {
        QTest::addColumn<QString>("type");
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("itemSource"); // "!" for "not on the server", empty when not checked
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

    void sources()
    {
        QFETCH(QString, type);
        QFETCH(QString, source);
        QFETCH(QString, itemSource);
        QFETCH(QString, reported);

        QVERIFY(play(oneSequence(array({ doc::element(type, source, 5000) }))));
        const QString hostPort = f->server.hostPort();
        QCOMPARE(statusInfos(f->recorder.messages.first().text).value("source").toString(), reported.arg(hostPort));
        if (itemSource == QLatin1String("!"))
            QVERIFY2(!onScreenSource().contains(hostPort), qPrintable(onScreenSource()));
        else if (!itemSource.isEmpty())
            QCOMPARE(onScreenSource(), itemSource.arg(hostPort));
    }

    void fillModes_data()
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

    void fillModes()
    {
        QFETCH(QJsonValue, fillMode);
        QFETCH(int, expected);

        QJsonObject element = img("/a.png", 5000);
        if (!fillMode.isUndefined())
            element.insert("attributes", QJsonObject { { "source", "/a.png" }, { "fillMode", fillMode } });
        QVERIFY(play(oneSequence(array({ element }))));
        QCOMPARE(f->eval("stack.currentItem.fillMode").toInt(), expected);
    }

    void loadWhilePlaying()
    {
        // A load stops the advance at once; the composition on screen stays until the
        // new document is in, then one second of black before the first new composition.
        QVERIFY(play(oneSequence(array({ img("/a.png", 700), img("/b.png", 700) })), 1000, 3000));
        f->server.serve("/next.json", oneSequence(array({ img("/n.png", 5000) })));
        QObject* shown = f->object("stack.currentItem");
        f->callLoad(f->server.url("/next.json"));
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

    void relaunchDuringTransition()
    {
        // A relaunch completes the running change without its end handling: next and
        // previous stay ignored until the first change after the relaunch has ended.
        QVERIFY(play(oneSequence(array({ img("/a.png", 800), img("/b.png", 5000) }), QVariant(),
            doc::transitions(doc::part("opacity", 0, 1, 1500), doc::part("opacity", 1, 0, 300)))));
        f->invoke("goToNextComposition");
        QTRY_VERIFY(f->eval("stackDelegate.transitioning").toBool());
        f->callLoad(f->server.url("/doc.json"));
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

    void shouldPlay_data()
    {
        QTest::addColumn<QString>("now"); // arguments of the JavaScript Date constructor, local time
        QTest::addColumn<QString>("diffusion");
        QTest::addColumn<bool>("plays");

        // December 2026, day `d` (the 7th is a Monday).
        auto at = [](int d, int h, int m, int s) { return QStringLiteral("2026, 11, %1, %2, %3, %4").arg(d).arg(h).arg(m).arg(s); };
        auto days = [](const char* weekdays) { return QStringLiteral(R"({"weekdays":%1,"dates":{},"hours":{}})").arg(weekdays); };
        auto all = [](const char* dates, const char* hours = "{}") {
            return QStringLiteral(R"({"weekdays":["All"],"dates":%1,"hours":%2})").arg(dates, hours);
        };
        const QString monday = at(7, 12, 0, 0);
        const char* startsMonday = R"({"start_date":"2026-12-07"})";
        const char* endsMonday = R"({"end_date":"2026-12-07"})";
        const char* endsAt18 = R"({"end_time":"18:00:00"})";
        const char* startsAt8 = R"({"start_time":"08:00:00"})";
        QTest::addRow("named day") << monday << days(R"(["Sunday","Monday"])") << true;
        QTest::addRow("other days") << monday << days(R"(["Tuesday"])") << false;
        QTest::addRow("day names are English whatever the locale") << monday << days(R"(["lundi"])") << false;
        QTest::addRow("day names are case-sensitive") << monday << days(R"(["monday","all"])") << false;
        QTest::addRow("weekdays as a string") << monday << days(R"("Monday")") << false;
        QTest::addRow("absent weekdays") << monday << R"({"dates":{},"hours":{}})" << false;
        QTest::addRow("start date inclusive") << at(7, 0, 0, 0) << all(startsMonday) << true;
        QTest::addRow("before start date") << at(6, 23, 59, 59) << all(startsMonday) << false;
        QTest::addRow("end date inclusive") << at(7, 23, 59, 59) << all(endsMonday) << true;
        QTest::addRow("after end date") << at(8, 0, 0, 0) << all(endsMonday) << false;
        QTest::addRow("empty end date excludes every day") << monday << all(R"({"end_date":""})") << false;
        QTest::addRow("empty start date excludes nothing") << monday << all(R"({"start_date":""})") << true;
        QTest::addRow("null bounds impose no limit")
            << monday << all(R"({"start_date":null,"end_date":null})", R"({"start_time":null,"end_time":null})") << true;
        QTest::addRow("end time exclusive, one second before") << at(7, 17, 59, 59) << all("{}", endsAt18) << true;
        QTest::addRow("end time exclusive, at the end") << at(7, 18, 0, 0) << all("{}", endsAt18) << false;
        QTest::addRow("start time inclusive") << at(7, 8, 0, 0) << all("{}", startsAt8) << true;
        QTest::addRow("before start time") << at(7, 7, 59, 59) << all("{}", startsAt8) << false;
        QTest::addRow("afternoon uses the 24-hour clock")
            << at(7, 14, 0, 0) << all("{}", R"({"start_time":"13:00:00","end_time":"15:00:00"})") << true;
        QTest::addRow("window over midnight never matches")
            << at(7, 23, 0, 0) << all("{}", R"({"start_time":"22:00:00","end_time":"02:00:00"})") << false;
        QTest::addRow("empty end time excludes every time") << monday << all("{}", R"({"end_time":""})") << false;
        QTest::addRow("no diffusion never plays") << monday << "null" << false;
        QTest::addRow("missing dates and hours impose no limit") << monday << R"({"weekdays":["All"]})" << true;
    }

    void shouldPlay()
    {
        QFETCH(QString, now);
        QFETCH(QString, diffusion);
        QFETCH(bool, plays);

        QLocale::setDefault(QLocale(QLocale::French, QLocale::France)); // no row depends on the locale
        start();
        pinTime(now);
        QCOMPARE(f->eval(QStringLiteral("stack.shouldPlay({diffusion: %1, sequence: {elements: []}})").arg(diffusion)).toBool(),
            plays);
        QVERIFY(!f->eval("stack.shouldPlay(null)").toBool());
    }

    void debugLines()
    {
        start();
        f->load(oneSequence(array({ img("/a.png", 5000) })), false);
        QVERIFY(waitMessages(1));
        QVERIFY2(f->debugLines().isEmpty(), qPrintable(f->debugLines().join('\n')));

        SceneFixture::log().clear();
        f->callLoad(f->server.url("/doc.json"));
        QVERIFY(waitMessages(2));
        const QStringList lines = f->debugLines();
        QVERIFY(lines.size() >= 3);
        QCOMPARE(lines.mid(0, 3), (QStringList { "FUNCTION - load - BEGIN", f->server.hostPort() + ":" + f->server.url("/doc.json"),
                                      "FUNCTION - load - END" }));
        // The stamp is the local time of the line.
        const QString first = SceneFixture::log().first();
        const QDateTime stamp = QDateTime::fromString(first.left(19), QStringLiteral("dd/MM/yyyy HH:mm:ss"));
        QVERIFY2(stamp.isValid(), qPrintable(first));
        QVERIFY(qAbs(stamp.secsTo(QDateTime::currentDateTime())) <= 2);
        QVERIFY(first.mid(19).startsWith(QLatin1String("- DEBUG :FUNCTION - load - BEGIN")));
        QVERIFY(lines.contains("FUNCTION - elementCount : 1"));
    }

    void startDelayAndDurations()
    {
        start(1000);
        f->load(oneSequence(array({ img("/a.png", 300), img("/b.png", 600), img("/c.png") }), 400));
        QVERIFY(waitMessages(4, 6000));
        QCOMPARE(sourcesOf(f->recorder.texts()).mid(0, 4), (QStringList { "/a.png", "/b.png", "/c.png", "/a.png" }));
        const auto& m = f->recorder.messages;
        // One second after the document, then each its duration: never earlier, and later
        // only by what a loaded machine adds.
        QVERIFY2(m[0].at >= 1000 && m[0].at < 2500, qPrintable(QString::number(m[0].at)));
        const qint64 d1 = m[1].at - m[0].at, d2 = m[2].at - m[1].at, d3 = m[3].at - m[2].at;
        QVERIFY2(d1 >= 290 && d1 < 1000, qPrintable(QString::number(d1)));
        QVERIFY2(d2 >= 590 && d2 < 1300, qPrintable(QString::number(d2)));
        QVERIFY2(d3 >= 390 && d3 < 1100, qPrintable(QString::number(d3)));
        QCOMPARE(waitingCount(), 1); // the item after the one on screen
    }

    void oneElementSchedule()
    {
        // Duration 0: nothing advances by itself, so each advance below is the only one.
        QVERIFY(play(oneSequence(array({ img("/only.png", 0) }))));
        auto onScreen = [this] { return f->object("stack.currentItem"); };
        auto waiting = [this](int i) { return f->object(QStringLiteral("itemsContainer.children[%1]").arg(i)); };
        auto duplicate = [this] { return f->object("stack.duplication"); };

        // Start step: the duplicate is on screen, one regular item waits.
        QObject* d = duplicate();
        QVERIFY(d);
        QCOMPARE(onScreen(), d);
        QCOMPARE(waitingCount(), 1);
        QObject* e1 = waiting(0);

        // Advance with the duplicate on screen: the regular path.
        QVERIFY(push());
        QCOMPARE(onScreen(), e1);
        QCOMPARE(waitingCount(), 1);
        QObject* e2 = waiting(0);
        QVERIFY(e2 != e1);
        QTRY_VERIFY(duplicate() == nullptr); // destroyed once replaced

        // A tick builds a new duplicate, which waits after E2 and goes on screen next.
        tick();
        QObject* d2 = duplicate();
        QVERIFY(d2);
        QCOMPARE(waitingCount(), 2);
        QCOMPARE(waiting(1), d2);
        QVERIFY(push());
        QCOMPARE(onScreen(), d2);
        QCOMPARE(waitingCount(), 1);
        QCOMPARE(waiting(0), e2);

        // With D2 on screen the regular path runs again.
        QVERIFY(push());
        QCOMPARE(onScreen(), e2);
        QCOMPARE(waitingCount(), 1);
        QCOMPARE(sourcesOf(f->recorder.texts()), (QStringList { "/only.png", "/only.png", "/only.png", "/only.png" }));
    }

    void duplicateFollowsTicks()
    {
        // Entry B opens at 12:00:10; the duplicate follows the list of the tick before.
        start();
        pinTime("2026, 11, 7, 12, 0, 0");
        f->load(entries({ { array({ img("/a.png", 0) }), {} }, { array({ img("/b.png", 0) }), { { "start_time", "12:00:10" } } } }));
        QVERIFY(waitMessages(1));
        QVERIFY(push());
        QTRY_VERIFY(!f->object("stack.duplication"));
        tick();
        QObject* waitingDuplicate = f->object("stack.duplication");
        QVERIFY(waitingDuplicate);
        QCOMPARE(waitingCount(), 2);

        pinTime("2026, 11, 7, 12, 0, 10");
        tick();
        QCOMPARE(f->eval("stack.sequencesToPlay.length").toInt(), 2);
        QVERIFY2(f->object("stack.duplication") == waitingDuplicate, "kept until the tick after the change");

        tick();
        QVERIFY(!f->object("stack.duplication"));
        QVERIFY(f->debugLines().contains("FUNCTION - updateSequencesToPlay - clearDuplication"));
        QVERIFY(f->debugLines().contains("FUNCTION - updateSequencesToPlay - stack.sequencesToPlay.length : 2"));
        // A dropped duplicate that still waited must not be shown later in place of the next element.
        QCOMPARE(waitingCount(), 1);
        for (int i = 0; i < 3; ++i)
            QVERIFY(push());
        QCOMPARE(sourcesOf(f->recorder.texts()).mid(2), (QStringList { "/b.png", "/a.png", "/b.png" }));
        QCOMPARE(onScreenSource(), "http://" + f->server.hostPort() + "/b.png");
        QCOMPARE(waitingCount(), 1);
    }

    void windowEndRelaunches()
    {
        start();
        pinTime("2026, 11, 7, 17, 59, 58");
        f->load(entries({ { array({ img("/day.png", 60000) }), { { "end_time", "18:00:00" } } },
            { array({ img("/night.png", 60000) }), { { "start_time", "18:00:00" } } } }));
        QVERIFY(waitMessages(1));
        QCOMPARE(sourcesOf(f->recorder.texts()), QStringList { "/day.png" });

        pinTime("2026, 11, 7, 17, 59, 59");
        tick();
        QTest::qWait(300);
        QCOMPARE(f->recorder.messages.size(), 1);

        pinTime("2026, 11, 7, 18, 0, 0");
        tick();
        QVERIFY(!f->object("stack.currentItem")); // black until the start step
        QVERIFY(waitMessages(2));
        QCOMPARE(sourcesOf(f->recorder.texts()), (QStringList { "/day.png", "/night.png" }));
        QVERIFY2(!f->eval("stackDelegate.transitioning").toBool(), "the first composition after a launch has no transition");
    }

    void nothingAllowedThenAllowed()
    {
        start();
        pinTime("2026, 11, 7, 7, 0, 0");
        f->load(entries({ { array({ img("/a.png", 60000) }), { { "start_time", "08:00:00" } } } }));
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
        tick();
        QVERIFY(waitMessages(1));
        QCOMPARE(sourcesOf(f->recorder.texts()), QStringList { "/a.png" });
    }

    void failedFetchKeepsScreen()
    {
        QVERIFY(play(oneSequence(array({ img("/a.png", 400), img("/b.png", 400) }))));
        QObject* shown = f->object("stack.currentItem");
        // A 404 page is not a document: nothing new is taken and the advance stays stopped.
        f->callLoad(f->server.url("/missing.json"));
        QTest::qWait(1200);
        QCOMPARE(f->recorder.messages.size(), 1);
        QCOMPARE(f->object("stack.currentItem"), shown);
        QVERIFY(f->server.requests.contains("/missing.json"));
        QVERIFY(SceneFixture::log().join('\n').contains("did not give a JSON document"));
    }

    void transitionChoice_data()
    {
        QTest::addColumn<QStringList>("steps"); // "next" or "previous", from a0 on screen
        QTest::addColumn<QString>("onScreen");
        QTest::addColumn<QString>("enter");
        QTest::addColumn<QString>("exit");

        QTest::addRow("within a sequence: own exit, default enter")
            << QStringList { "next" } << "/a1.png" << param("rotation", 90, 0, 43) << param("x", 0, -100, 41);
        QTest::addRow("across sequences: leaving sequence's first enter, last exit")
            << QStringList { "next", "next" } << "/b0.png" << param("opacity", 0, 1, 40) << param("opacity", 1, 0, 44);
        QTest::addRow("wrapping back to the first sequence")
            << QStringList { "next", "next", "next", "next" } << "/a0.png" << param("y", 200, 0, 45) << param("x", 0, 500, 46);
        QTest::addRow("step back replays the change reversed")
            << QStringList { "next", "previous" } << "/a0.png" << param("x", -100, 0, 41) << param("rotation", 0, 90, 43);
        QTest::addRow("step back across sequences")
            << QStringList { "next", "next", "previous" } << "/a1.png" << param("opacity", 0, 1, 44) << param("opacity", 1, 0, 40);
        QTest::addRow("step back from the first element wraps to the last")
            << QStringList { "previous" } << "/b1.png" << param("x", 500, 0, 46) << param("y", 0, 200, 45);
    }

    void transitionChoice()
    {
        QFETCH(QStringList, steps);
        QFETCH(QString, onScreen);
        QFETCH(QString, enter);
        QFETCH(QString, exit);

        // A: a0 (own enter and exit), a1 (none); defaults: enter rotation, exit opacity.
        // B: b0 (own exit only), b1 (none); defaults: enter y, exit x.
        QJsonObject a0 = img("/a0.png", 0), b0 = img("/b0.png", 0);
        a0.insert("transitions", doc::transitions(doc::part("opacity", 0, 1, 40), doc::part("x", 0, -100, 41)));
        b0.insert("transitions", QJsonObject { { "exit", doc::part("x", 0, 300, 42) } });
        QVERIFY(play(doc::schedule(array({
            doc::entry(array({ a0, img("/a1.png", 0) }), QVariant(), doc::transitions(doc::part("rotation", 90, 0, 43), doc::part("opacity", 1, 0, 44))),
            doc::entry(array({ b0, img("/b1.png", 0) }), QVariant(), doc::transitions(doc::part("y", 200, 0, 45), doc::part("x", 0, 500, 46))) }), "T")));
        QVERIFY2(!f->eval("stackDelegate.transitioning").toBool(), "no transition for the first composition");
        for (const QString& s : steps)
            QVERIFY(step(s == QLatin1String("next") ? "goToNextComposition" : "goToPreviousComposition"));
        QCOMPARE(sourcesOf(f->recorder.texts()).last(), onScreen);
        QCOMPARE(f->eval("JSON.stringify(stackDelegate.enterParam)").toString(), enter);
        QCOMPARE(f->eval("JSON.stringify(stackDelegate.exitParam)").toString(), exit);
        // The document's own parts are never changed by a reversal.
        QCOMPARE(QJsonDocument::fromJson(f->eval("JSON.stringify(stack.sequences[0].sequence.elements[0].transitions.exit)")
                                             .toString().toUtf8()).object(),
            doc::part("x", 0, -100, 41));
    }

    void transitionExpressions_data()
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
        QTest::addRow("file read") << QJsonValue("new XMLHttpRequest()") << QJsonValue(0) << "";
        QTest::addRow("boolean") << QJsonValue(true) << QJsonValue(0) << "";
    }

    void transitionExpressions()
    {
        QFETCH(QJsonValue, from);
        QFETCH(QJsonValue, to);
        QFETCH(QString, expected);

        start();
        if (f->eval("typeof Expression.evaluate").toString() != QLatin1String("function"))
            QSKIP("the transition expression evaluator is not in the resources yet");
        const QJsonObject part { { "property", "x" }, { "from", from }, { "to", to }, { "duration", 30 } };
        f->load(oneSequence(array({ img("/a.png", 0), img("/b.png", 0) }), QVariant(), doc::transitions(part, doc::part("opacity", 1, 0, 30))));
        QVERIFY(waitMessages(1));

        // Evaluated when each change starts, against the window as it is then.
        for (int width : { 1000, 1400 }) {
            QQuickWindow* window = qobject_cast<QQuickWindow*>(f->root);
            QVERIFY(window);
            window->setVisibility(QWindow::Windowed);
            window->resize(width, 600);
            QTRY_COMPARE(f->eval("stack.width").toInt(), width);
            QTRY_COMPARE(f->eval("stack.height").toInt(), 600);
            SceneFixture::log().clear();
            QVERIFY(step("goToNextComposition"));
            const QString enter = f->eval("JSON.stringify(stackDelegate.enterParam)").toString();
            QCOMPARE(f->eval("JSON.stringify(stackDelegate.exitParam)").toString(), param("opacity", 1, 0, 30)); // still runs
            if (expected.isEmpty()) {
                QVERIFY2(enter.contains("\"animate\":false"), qPrintable(enter));
                QVERIFY2(f->hasDebugLineStarting("FUNCTION - getTransition - enter transition rejected"),
                    qPrintable(f->debugLines().join('\n')));
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

    void transitionRunsOnScreen()
    {
        // A slow exit on x: mid-way the leaving item is off its place; at the end it is back at 0.
        QVERIFY(play(oneSequence(array({ img("/a.png", 0), img("/b.png", 0) }), QVariant(),
            doc::transitions(doc::part("opacity", 0, 1, 600), doc::part("x", 0, 800, 600)))));
        QQuickItem* leaving = qobject_cast<QQuickItem*>(f->object("stack.currentItem"));
        QVERIFY(leaving);
        QSignalSpy destroyed(leaving, &QObject::destroyed);
        // The leaving item is destroyed right after the change: follow its x until then.
        double lastX = -1;
        QMetaObject::Connection follow = QObject::connect(leaving, &QQuickItem::xChanged, [&] { lastX = leaving->x(); });
        f->invoke("goToNextComposition");
        QTest::qWait(300);
        QVERIFY(f->eval("stackDelegate.transitioning").toBool());
        const double x = leaving->x();
        const double opacity = f->eval("stack.currentItem.opacity").toDouble();
        QVERIFY2(x > 200 && x < 600, qPrintable(QString::number(x)));
        QVERIFY2(opacity > 0.25 && opacity < 0.75, qPrintable(QString::number(opacity)));
        QVERIFY(waitIdle());
        QCOMPARE(lastX, 0.0);
        QCOMPARE(f->eval("stack.currentItem.opacity").toDouble(), 1.0);
        QTRY_COMPARE(destroyed.count(), 1); // replaced items go
        QObject::disconnect(follow);
    }

    void remoteStateTable_data()
    {
        QTest::addColumn<bool>("paused");
        QTest::addColumn<int>("duration");
        QTest::addColumn<QString>("command");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<int>("index");
        QTest::addColumn<bool>("pausedAfter");
        QTest::addColumn<bool>("timerRunning");

        for (bool paused : { false, true }) {
            for (int duration : { 3000, 0 }) {
                const QString state = QStringLiteral("%1, %2 duration, ").arg(paused ? "paused" : "running", duration ? "positive" : "zero");
                // Next always advances; the flag stays as it was; the timer runs only when not paused.
                QTest::addRow("%s", qPrintable(state + "next")) << paused << duration << "goToNextComposition"
                                                                << QStringList { "player_composition_changed" } << 1 << paused << !paused;
                QTest::addRow("%s", qPrintable(state + "pause"))
                    << paused << duration << "pausePlayer" << (paused ? QStringList() : QStringList { "player_is_paused" }) << 0
                    << true << false;
                QTest::addRow("%s", qPrintable(state + "resume"))
                    << paused << duration << "resumePlayer" << (paused ? QStringList { "player_is_resumed" } : QStringList()) << 0
                    << false << (duration > 0);
            }
        }
    }

    void remoteStateTable()
    {
        QFETCH(bool, paused);
        QFETCH(int, duration);
        QFETCH(QString, command);
        QFETCH(QStringList, messages);
        QFETCH(int, index);
        QFETCH(bool, pausedAfter);
        QFETCH(bool, timerRunning);

        QVERIFY(play(oneSequence(array({ img("/a.png", duration), img("/b.png", 3000), img("/c.png", 3000) }))));
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

    void remoteIgnoredDuringTransition()
    {
        QVERIFY(play(oneSequence(array({ img("/a.png", 0), img("/b.png", 0), img("/c.png", 0) }), QVariant(),
            doc::transitions(doc::part("opacity", 0, 1, 800), doc::part("opacity", 1, 0, 800)))));
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

    void previousWrapsAndReturns()
    {
        QVERIFY(play(doc::schedule(array({ doc::entry(array({ img("/a0.png", 0), img("/a1.png", 0) })),
            doc::entry(array({ img("/b0.png", 0), img("/b1.png", 0) })) }), "S")));
        QObject* first = f->object("stack.currentItem");
        for (const char* method : { "goToPreviousComposition", "goToNextComposition", "goToNextComposition", "goToPreviousComposition" })
            QVERIFY(step(method));
        QCOMPARE(sourcesOf(f->recorder.texts()), (QStringList { "/a0.png", "/b1.png", "/a0.png", "/a1.png", "/a0.png" }));
        QVERIFY(f->object("stack.currentItem") != first); // built afresh
        // The item waiting is the one stepped back from.
        QCOMPARE(f->eval("String(itemsContainer.children[0].source)").toString(), "http://" + f->server.hostPort() + "/a1.png");
        QCOMPARE(waitingCount(), 1);
    }

    void pauseKeepsFullDuration()
    {
        // Paused after 300 ms of a 600 ms image, resumed 400 ms later: it stays another full 600 ms.
        QVERIFY(play(oneSequence(array({ img("/a.png", 600), img("/b.png", 5000) }))));
        QTest::qWait(300);
        f->invoke("pausePlayer");
        QTest::qWait(400);
        QCOMPARE(f->recorder.messages.size(), 2);
        const qint64 resumedAt = f->recorder.clock.elapsed();
        f->invoke("resumePlayer");
        QVERIFY(waitMessages(4, 2000));
        const qint64 stayed = f->recorder.messages.at(3).at - resumedAt;
        QVERIFY2(stayed >= 590 && stayed < 1300, qPrintable(QString::number(stayed)));
        QCOMPARE(cmdsOf(f->recorder.texts()),
            (QStringList { "player_composition_changed", "player_is_paused", "player_is_resumed", "player_composition_changed" }));
    }

    void playScheduleAndDefault()
    {
        QVERIFY(play(oneSequence(array({ img("/default.png", 5000) }))));
        const QString other = QStringLiteral("/ws/stream.php?action=getSchedule&schedule_uid=X 7&standalone=0");
        f->server.serve("/ws/stream.php?action=getSchedule&schedule_uid=X%207&standalone=0", oneSequence(array({ img("/other.png", 5000) })));
        f->invoke("playSchedule", QStringLiteral("X 7"));
        QVERIFY(waitMessages(2));
        QCOMPARE(f->eval("stack.json").toString(), "http://" + f->server.hostPort() + other);
        QCOMPARE(sourcesOf(f->recorder.texts()).last(), QStringLiteral("/other.png"));

        f->invoke("playDefaultSchedule");
        QVERIFY(waitMessages(3));
        QCOMPARE(sourcesOf(f->recorder.texts()).last(), QStringLiteral("/default.png"));
        QCOMPARE(f->server.requests.count("/doc.json"), 2);

        // Another schedule, then the default again before the first answer is in: only the newest is taken.
        const QString slow = QStringLiteral("/ws/stream.php?action=getSchedule&schedule_uid=SLOW&standalone=0");
        f->server.serve(slow, oneSequence(array({ img("/slow.png", 5000) })));
        f->server.delay(slow, 600);
        f->invoke("playSchedule", QStringLiteral("SLOW"));
        f->invoke("playDefaultSchedule");
        QVERIFY(waitMessages(4));
        QTest::qWait(1500);
        QVERIFY(f->server.requests.contains(slow));
        QCOMPARE(sourcesOf(f->recorder.texts()), (QStringList { "/default.png", "/other.png", "/default.png", "/default.png" }));
        QVERIFY(f->debugLines().contains("FUNCTION - init - answer to an earlier request ignored"));

        f->invoke("playSchedule", QVariant::fromValue(nullptr));
        QVERIFY(f->debugLines().contains("FUNCTION - playSchedule -> scheduleUID is not defined"));
    }

    void malformedDocuments_data()
    {
        QTest::addColumn<QByteArray>("document");
        QTest::addColumn<QStringList>("shown"); // sources of the first compositions, in order
        QTest::addColumn<QString>("debugLine"); // the start of a line that says what was skipped

        const QJsonObject a = img("/a.png", 150), b = img("/b.png", 150), video = doc::element("Video", "/v.mp4", 150);
        const QJsonObject goodEntry = doc::entry(array({ a, b }));
        const QStringList aba { "/a.png", "/b.png", "/a.png" };
        auto row = [&](const char* tag, const QJsonArray& entries, const QString& line) {
            QTest::addRow("%s", tag) << doc::schedule(entries, "M") << aba << line;
        };
        auto without = [](QJsonObject o, const char* key, const char* inner = nullptr) {
            if (!inner) {
                o.remove(key);
            } else {
                QJsonObject i = o.value(key).toObject();
                i.remove(inner);
                o.insert(key, i);
            }
            return o;
        };
        const QString skipped = "FUNCTION - keepPlayableParts - sequence ";

        row("unknown element type is skipped", array({ doc::entry(array({ a, doc::element("Flash", "/f.swf", 150), b })) }),
            skipped + "0 element 1 skipped: unknown type \"Flash\"");
        row("element without attributes is skipped",
            array({ doc::entry(array({ a, QJsonObject { { "type", "Image" }, { "duration", 150 } }, b })) }),
            skipped + "0 element 1 skipped: no attributes");
        row("element that is not an object is skipped", array({ doc::entry(array({ a, 5, b })) }),
            skipped + "0 element 1 skipped: not an object");
        row("entry without diffusion is skipped", array({ without(doc::entry(array({ video })), "diffusion"), goodEntry }),
            skipped + "0 skipped: no diffusion");
        row("entry without sequence is skipped", array({ without(doc::entry(array({ a })), "sequence"), goodEntry }),
            skipped + "0 skipped: no sequence");
        row("entries that are not objects are skipped", array({ 1, "x", QJsonValue::Null, goodEntry }),
            skipped + "2 skipped: not an object");
        row("entry without dates or hours plays without limits",
            array({ without(without(goodEntry, "diffusion", "dates"), "diffusion", "hours") }), skipped + "0: no dates, no date limit");
        row("entry without global_properties uses the elements' own values",
            array({ without(goodEntry, "sequence", "global_properties") }),
            skipped + "0: no global_properties, elements use only their own values");
        row("entry whose elements are not an array plays nothing, the others play",
            array({ QJsonObject { { "diffusion", doc::diffusion() },
                        { "sequence", QJsonObject { { "global_properties", QJsonObject() }, { "elements", "a" } } } },
                goodEntry }),
            skipped + "0: no elements");
        QTest::addRow("empty sequences are passed over")
            << doc::schedule(array({ doc::entry(array({ a })), doc::entry({}), doc::entry(array({ b })), doc::entry({}) }), "M")
            << QStringList { "/a.png", "/b.png", "/a.png", "/b.png" } << "";
        row("a sequence of videos only, while videos cannot be built", array({ doc::entry(array({ video, video })), goodEntry }),
            skipped + "0 element 0 skipped: Video items cannot be built");
        QJsonObject nullTransitions = a;
        nullTransitions.insert("transitions", QJsonValue::Null);
        row("null transitions fall back to the defaults",
            array({ doc::entry(array({ nullTransitions, b }), QVariant(), doc::transitions(doc::part("opacity", 0, 1, 20), doc::part("opacity", 1, 0, 20))) }),
            "");
        row("transitions without exit animate the entering item only",
            array({ doc::entry(array({ a, b }), QVariant(), QJsonObject { { "enter", doc::part("opacity", 0, 1, 20) } }) }),
            "FUNCTION - getTransition - no exit transition, not animated");
        row("transition part without property",
            array({ doc::entry(array({ a, b }), QVariant(),
                doc::transitions(QJsonObject { { "from", 0 }, { "to", 1 }, { "duration", 20 } }, doc::part("opacity", 1, 0, 20))) }),
            "FUNCTION - getTransition - enter transition without property, not animated");
    }

    void malformedDocuments()
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
        if (!debugLine.isEmpty())
            QVERIFY2(f->hasDebugLineStarting(debugLine), qPrintable(f->debugLines().join('\n')));
        QVERIFY(!onScreenSource().isEmpty()); // what is on screen is what was reported last
    }
};

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
