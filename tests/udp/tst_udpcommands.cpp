#include "IUdpSender.h"
#include "enginefixture.h"

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkDatagram>
#include <QScopeGuard>
#include <QSettings>
#include <QTest>

using udptest::Banner;
using udptest::Transport;

// The engine's command and sync handlers, driven both by direct slot calls and by
// real datagrams on 127.0.0.1:8000 and :9000, against a scene that records the
// remote operations it is asked for.
class TestUdpCommands : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void command_data();
    void command();
    void deviceFilter_data();
    void deviceFilter();
    void deviceFilterFollowsSync();
    void sync_data();
    void sync();
    void validateJSONValues_data();
    void validateJSONValues();
    void bannerTimerRepeats();
    void statusDatagramLeavesThroughEth0();
    // Builds engines of its own: keep it last.
    void incompleteScene_data();
    void incompleteScene();

private:
    void setLaunch(const QVariantMap& values);
    udptest::EngineFixture m_scene;
};

static const QStringList launchNames { "host", "port", "deviceUid", "jsonFile", "startDate", "endDate" };

// What a datagram finds when it arrives in the command and sync rows: a banner that
// is neither hidden nor in its default colours, and its time-out running. A handler
// that accepts the datagram resets both; one that ignores it leaves them.
static Banner before()
{
    Banner banner;
    banner.running = true;
    banner.text = QStringLiteral("Before");
    banner.busy = true;
    banner.color = QColor(1, 2, 3, 4);
    banner.textColor = QColor(9, 9, 9, 255);
    banner.imageSource = QStringLiteral("images/alert.png");
    banner.imageVisible = true;
    return banner;
}
static const int beforeTimeout = 3000;

static QByteArray json(const QJsonObject& object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

void TestUdpCommands::initTestCase()
{
    QVERIFY2(udptest::inPrivateNetworkNamespace(), "run through tests/isolate.sh --net");
    // player.ini is read from the working directory; keep it to the test's own.
    const QString dir = qEnvironmentVariable("PLAYER_TEST_TMP");
    QVERIFY(!dir.isEmpty());
    QVERIFY(QDir::setCurrent(dir));
    ApplicationEngine::localScheduleFile = dir + QStringLiteral("/no-local-schedule.json");
    QVERIFY(m_scene.start(QStringLiteral(UDP_TEST_DATA "/recorder.qml")));
    QCOMPARE(m_scene.takeLoads().size(), 1);
}

void TestUdpCommands::init()
{
    for (const QString& name : launchNames)
        qApp->setProperty(name.toLatin1(), QVariant());
    QFile::remove(QStringLiteral("player.ini"));
    m_scene.timer()->stop();
    m_scene.spinner()->reset();
    m_scene.stack->setProperty("bannerOnPlay", false);
    m_scene.takeCalls();
    m_scene.takeLoads();
}

void TestUdpCommands::setLaunch(const QVariantMap& values)
{
    for (auto it = values.begin(); it != values.end(); ++it)
        qApp->setProperty(it.key().toLatin1(), it.value());
}

// Adds one row per transport: the same datagram by direct call and over UDP.
template <typename... Values>
static void addRows(const char* tag, Values... values)
{
    ((QTest::addRow("%s, by call", tag) << Transport::DirectCall) << ... << values);
    ((QTest::addRow("%s, by datagram", tag) << Transport::Datagram) << ... << values);
}

void TestUdpCommands::command_data()
{
    QTest::addColumn<Transport>("transport");
    QTest::addColumn<QByteArray>("datagram");
    QTest::addColumn<bool>("sceneShowsBanner");
    QTest::addColumn<QStringList>("calls");
    QTest::addColumn<Banner>("banner");
    QTest::addColumn<int>("timeout"); // -1: the time-out timer is not running

    auto cmd = [](const QString& name, const QJsonObject& extra = {}) {
        QJsonObject object { { "cmd", name }, { "id", "42" }, { "device_id", "any" } };
        for (auto it = extra.begin(); it != extra.end(); ++it)
            object.insert(it.key(), it.value());
        return json(object);
    };
    const QStringList none;

    addRows("next calls the scene, then Next for 2 s", cmd("player_next"), false,
        QStringList { "goToNextComposition" }, Banner::plain("Next"), 2000);
    addRows("previous calls the scene, then Previous for 2 s", cmd("player_previous"), false,
        QStringList { "goToPreviousComposition" }, Banner::plain("Previous"), 2000);
    addRows("pause calls the scene, then Pause for 2 s", cmd("player_pause"), false, QStringList { "pausePlayer" },
        Banner::plain("Pause"), 2000);
    addRows("resume calls the scene, then Resume for 2 s", cmd("player_resume"), false,
        QStringList { "resumePlayer" }, Banner::plain("Resume"), 2000);
    addRows("play with a schedule id passes it as a string", cmd("player_play", { { "schedule_id", "S-42" } }), false,
        QStringList { "playSchedule(string:S-42)" }, Banner::hidden(), -1);
    addRows("play with a numeric schedule id passes an empty string", cmd("player_play", { { "schedule_id", 42 } }),
        false, QStringList { "playSchedule(string:)" }, Banner::hidden(), -1);
    Banner loading = Banner::hidden();
    loading.running = true;
    loading.text = QStringLiteral("Loading");
    addRows("play with a schedule id times out a banner the scene raised",
        cmd("player_play", { { "schedule_id", "S-42" } }), true, QStringList { "playSchedule(string:S-42)" }, loading,
        2000);
    addRows("play without a schedule id plays the default", cmd("player_play"), false,
        QStringList { "playDefaultSchedule" }, Banner::hidden(), -1);
    addRows("play without a schedule id never starts the time-out", cmd("player_play"), true,
        QStringList { "playDefaultSchedule" }, loading, -1);

    const QString info = QStringLiteral("images/info.png");
    addRows("notification without a level is INFO", cmd("player_notification", { { "text", "Hello" } }), false, none,
        Banner::notification("Hello", QColor(184, 218, 255, 200), info), 4000);
    addRows("notification INFO",
        cmd("player_notification", { { "text", "Doors close" }, { "notification_level", "INFO" } }), false, none,
        Banner::notification("Doors close", QColor(184, 218, 255, 200), info), 4000);
    addRows("notification WARNING",
        cmd("player_notification", { { "text", "Wet floor" }, { "notification_level", "WARNING" } }), false, none,
        Banner::notification("Wet floor", QColor(255, 234, 181, 200), "images/warning.png"), 4000);
    addRows("notification ALERT", cmd("player_notification", { { "text", "Fire" }, { "notification_level", "ALERT" } }),
        false, none, Banner::notification("Fire", QColor(245, 198, 203, 200), "images/alert.png"), 4000);
    addRows("notification with an empty text is still shown",
        cmd("player_notification", { { "text", "" } }), false, none,
        Banner::notification("", QColor(184, 218, 255, 200), info), 4000);
    addRows("notification level info in lower case shows nothing",
        cmd("player_notification", { { "text", "Hello" }, { "notification_level", "info" } }), false, none,
        Banner::hidden(), -1);
    addRows("notification level null shows nothing",
        cmd("player_notification", { { "text", "Hello" }, { "notification_level", QJsonValue() } }), false, none,
        Banner::hidden(), -1);
    addRows("notification without text shows nothing",
        cmd("player_notification", { { "notification_level", "ALERT" } }), false, none, Banner::hidden(), -1);

    addRows("an unknown player_ command only hides the banner", cmd("player_reboot"), false, none, Banner::hidden(),
        -1);
    addRows("the bare prefix is an unknown command", cmd("player_"), false, none, Banner::hidden(), -1);
    addRows("an id of null still counts as present",
        json({ { "cmd", "player_next" }, { "id", QJsonValue() }, { "device_id", "any" } }), false,
        QStringList { "goToNextComposition" }, Banner::plain("Next"), 2000);

    // Ignored datagrams leave the banner and its time-out exactly as they were.
    addRows("without id it is ignored", json({ { "cmd", "player_next" }, { "device_id", "any" } }), false, none,
        before(), beforeTimeout);
    addRows("without device_id it is ignored", json({ { "cmd", "player_next" }, { "id", "1" } }), false, none,
        before(), beforeTimeout);
    addRows("without cmd it is ignored", json({ { "id", "1" }, { "device_id", "any" } }), false, none, before(),
        beforeTimeout);
    addRows("a command without the prefix is ignored", cmd("next"), false, none, before(), beforeTimeout);
    addRows("the prefix is case-sensitive", cmd("Player_next"), false, none, before(), beforeTimeout);
    addRows("a numeric cmd is ignored", json({ { "cmd", 7 }, { "id", "1" }, { "device_id", "any" } }), false, none,
        before(), beforeTimeout);
    addRows("keys are case-sensitive", json({ { "CMD", "player_next" }, { "id", "1" }, { "device_id", "any" } }),
        false, none, before(), beforeTimeout);
}

void TestUdpCommands::command()
{
    QFETCH(Transport, transport);
    QFETCH(QByteArray, datagram);
    QFETCH(bool, sceneShowsBanner);
    QFETCH(QStringList, calls);
    QFETCH(Banner, banner);
    QFETCH(int, timeout);

    before().applyTo(m_scene.spinner());
    m_scene.timer()->start(beforeTimeout);
    m_scene.stack->setProperty("bannerOnPlay", sceneShowsBanner);

    QVERIFY(m_scene.deliver(datagram, 8000, transport));

    QCOMPARE(m_scene.takeCalls(), calls);
    const Banner shown = Banner::of(m_scene.spinner());
    QVERIFY2(shown == banner, qPrintable(udptest::describe(shown) + "\n   expected " + udptest::describe(banner)));
    QCOMPARE(m_scene.timer()->isActive(), timeout >= 0);
    if (timeout >= 0)
        QCOMPARE(m_scene.timer()->interval(), timeout);
    QVERIFY(!m_scene.timer()->isSingleShot());
    QVERIFY(m_scene.takeLoads().isEmpty());
}

void TestUdpCommands::deviceFilter_data()
{
    QTest::addColumn<Transport>("transport");
    QTest::addColumn<QVariant>("deviceUid"); // invalid: never set
    QTest::addColumn<QJsonValue>("deviceId");
    QTest::addColumn<bool>("accepted");

    addRows("no identifier set accepts any", QVariant(), QJsonValue("B2"), true);
    addRows("no identifier set accepts an empty one", QVariant(), QJsonValue(""), true);
    addRows("no identifier set accepts a number", QVariant(), QJsonValue(7), true);
    addRows("the player's own identifier", QVariant("A1"), QJsonValue("A1"), true);
    addRows("another identifier", QVariant("A1"), QJsonValue("B2"), false);
    addRows("identifiers are case-sensitive", QVariant("A1"), QJsonValue("a1"), false);
    addRows("no trimming", QVariant("A1"), QJsonValue(" A1"), false);
    addRows("null is not the identifier", QVariant("A1"), QJsonValue(), false);
    addRows("an empty identifier accepts only empty", QVariant(""), QJsonValue(""), true);
    addRows("an empty identifier rejects others", QVariant(""), QJsonValue("A1"), false);
}

void TestUdpCommands::deviceFilter()
{
    QFETCH(Transport, transport);
    QFETCH(QVariant, deviceUid);
    QFETCH(QJsonValue, deviceId);
    QFETCH(bool, accepted);

    qApp->setProperty("deviceUid", deviceUid);
    QVERIFY(m_scene.deliver(json({ { "cmd", "player_next" }, { "id", "1" }, { "device_id", deviceId } }), 8000,
        transport));
    QCOMPARE(m_scene.takeCalls(), accepted ? QStringList { "goToNextComposition" } : QStringList());
    QCOMPARE(m_scene.spinner()->running(), accepted);
}

// Whether a command is for this player follows the identifier the last sync gave.
void TestUdpCommands::deviceFilterFollowsSync()
{
    auto next = [this](const char* device) {
        const bool sent = m_scene.deliver(
            json({ { "cmd", "player_next" }, { "id", "1" }, { "device_id", device } }), 8000, Transport::Datagram);
        return sent && m_scene.takeCalls() == QStringList { "goToNextComposition" };
    };
    auto sync = [this](const QJsonObject& object) {
        return m_scene.deliver(json(object), 9000, Transport::Datagram) && m_scene.takeLoads().size() == 1;
    };

    qApp->setProperty("deviceUid", "A1");
    QVERIFY(next("A1"));
    QVERIFY(!next("B2"));

    QVERIFY(sync({ { "action", "sync" }, { "host", "10.0.0.2" }, { "port", "80" }, { "deviceUid", "B2" } }));
    QVERIFY(next("B2"));
    QVERIFY(!next("A1"));

    QVERIFY(sync({ { "action", "sync" } }));
    QVERIFY(next("A1"));
    QVERIFY(next("anything"));

    QVERIFY(sync({ { "action", "sync" }, { "deviceUid", "" } }));
    QVERIFY(next(""));
    QVERIFY(!next("A1"));

    QVERIFY(sync({ { "action", "sync" }, { "deviceUid", 12 } }));
    QVERIFY(next("12"));
    QVERIFY(next("A1"));
}

void TestUdpCommands::sync_data()
{
    QTest::addColumn<Transport>("transport");
    QTest::addColumn<QVariantMap>("launch");
    QTest::addColumn<QVariantMap>("ini");
    QTest::addColumn<QByteArray>("datagram");
    QTest::addColumn<QVariantMap>("launchAfter"); // names missing from the map must be absent
    QTest::addColumn<QStringList>("load"); // [json, hostPort], empty when no load
    QTest::addColumn<Banner>("banner");
    QTest::addColumn<int>("timeout");

    const QVariantMap fromCommandLine { { "host", "old" }, { "port", "81" }, { "deviceUid", "A1" },
        { "jsonFile", "/srv/schedule.json" } };
    const QString get = QStringLiteral("/ws/stream.php?action=get&device_uid=");

    addRows("sync sets host, port and device and drops the schedule file", fromCommandLine, QVariantMap(),
        json({ { "action", "sync" }, { "host", "10.0.0.2" }, { "port", "80" }, { "deviceUid", "B2" } }),
        QVariantMap { { "host", "10.0.0.2" }, { "port", "80" }, { "deviceUid", "B2" } },
        QStringList { "http://10.0.0.2:80" + get + "B2", "10.0.0.2:80" }, Banner::hidden(), -1);
    addRows("a port given as a JSON number leaves the port", fromCommandLine, QVariantMap(),
        json({ { "action", "sync" }, { "host", "h" }, { "port", 8080 }, { "deviceUid", "B2" } }),
        QVariantMap { { "host", "h" }, { "port", "81" }, { "deviceUid", "B2" } },
        QStringList { "http://h:81" + get + "B2", "h:81" }, Banner::hidden(), -1);
    addRows("a port that is not decimal leaves the port", fromCommandLine, QVariantMap(),
        json({ { "action", "sync" }, { "host", "h" }, { "port", "80a" }, { "deviceUid", "B2" } }),
        QVariantMap { { "host", "h" }, { "port", "81" }, { "deviceUid", "B2" } },
        QStringList { "http://h:81" + get + "B2", "h:81" }, Banner::hidden(), -1);
    addRows("sync alone clears host and device, the settings file's host applies", fromCommandLine,
        QVariantMap { { "host", "srv" }, { "port", "8080" } }, json({ { "action", "sync" } }),
        QVariantMap { { "host", "" }, { "port", "81" } }, QStringList { "http://srv:81" + get, "srv:81" },
        Banner::hidden(), -1);
    addRows("a host that is not a string reads as empty", QVariantMap { { "host", "old" } },
        QVariantMap { { "host", "srv" } }, json({ { "action", "sync" }, { "host", 5 } }),
        QVariantMap { { "host", "" } }, QStringList { "http://srv:" + get, "srv:" }, Banner::hidden(), -1);
    addRows("the dates of the command line stay in force",
        QVariantMap { { "startDate", "2026-01-01" }, { "endDate", "2026-01-31" } }, QVariantMap(),
        json({ { "action", "sync" }, { "host", "h" }, { "port", "1" }, { "deviceUid", "D" } }),
        QVariantMap { { "host", "h" }, { "port", "1" }, { "deviceUid", "D" }, { "startDate", "2026-01-01" },
            { "endDate", "2026-01-31" } },
        QStringList { "http://h:1" + get + "D&startDate=2026-01-01&endDate=2026-01-31", "h:1" }, Banner::hidden(),
        -1);

    Banner synchronizing = Banner::hidden();
    synchronizing.running = true;
    synchronizing.text = QStringLiteral("Synchronizing...");
    addRows("syncing shows Synchronizing... with the busy indicator", fromCommandLine, QVariantMap(),
        json({ { "action", "syncing" } }), fromCommandLine, QStringList(), synchronizing, -1);
    addRows("syncingEnd hides the banner", fromCommandLine, QVariantMap(), json({ { "action", "syncingEnd" } }),
        fromCommandLine, QStringList(), Banner::hidden(), -1);
    addRows("an unknown action only hides the banner", fromCommandLine, QVariantMap(),
        json({ { "action", "reboot" } }), fromCommandLine, QStringList(), Banner::hidden(), -1);
    addRows("an action that is not a string only hides the banner", fromCommandLine, QVariantMap(),
        json({ { "action", 1 } }), fromCommandLine, QStringList(), Banner::hidden(), -1);
    addRows("without action it is ignored", fromCommandLine, QVariantMap(),
        json({ { "host", "h" }, { "port", "1" } }), fromCommandLine, QStringList(), before(), beforeTimeout);
    addRows("keys are case-sensitive", fromCommandLine, QVariantMap(), json({ { "Action", "sync" } }),
        fromCommandLine, QStringList(), before(), beforeTimeout);
}

void TestUdpCommands::sync()
{
    QFETCH(Transport, transport);
    QFETCH(QVariantMap, launch);
    QFETCH(QVariantMap, ini);
    QFETCH(QByteArray, datagram);
    QFETCH(QVariantMap, launchAfter);
    QFETCH(QStringList, load);
    QFETCH(Banner, banner);
    QFETCH(int, timeout);

    setLaunch(launch);
    if (!ini.isEmpty()) {
        QSettings settings(QStringLiteral("player.ini"), QSettings::IniFormat);
        settings.beginGroup(QStringLiteral("json"));
        for (auto it = ini.begin(); it != ini.end(); ++it)
            settings.setValue(it.key(), it.value());
    }
    before().applyTo(m_scene.spinner());
    m_scene.timer()->start(beforeTimeout);

    QVERIFY(m_scene.deliver(datagram, 9000, transport));

    for (const QString& name : launchNames) {
        const QVariant value = qApp->property(name.toLatin1());
        QVERIFY2(value.isValid() == launchAfter.contains(name), qPrintable(name));
        if (value.isValid())
            QCOMPARE(value.toString(), launchAfter.value(name).toString());
    }

    const QList<QVariantList> loads = m_scene.takeLoads();
    if (load.isEmpty()) {
        QVERIFY(loads.isEmpty());
    } else {
        QCOMPARE(loads.size(), 1);
        QCOMPARE(loads.first().at(0).toString(), load.at(0));
        QCOMPARE(loads.first().at(1).toString(), load.at(1));
        QCOMPARE(m_scene.contextProperty("hostPort").toString(), load.at(1));
        QCOMPARE(m_scene.contextProperty("deviceUID").toString(), launchAfter.value("deviceUid").toString());
    }

    const Banner shown = Banner::of(m_scene.spinner());
    QVERIFY2(shown == banner, qPrintable(udptest::describe(shown) + "\n   expected " + udptest::describe(banner)));
    QCOMPARE(m_scene.timer()->isActive(), timeout >= 0);
    if (timeout >= 0)
        QCOMPARE(m_scene.timer()->interval(), timeout);
    QVERIFY(m_scene.takeCalls().isEmpty());
}

void TestUdpCommands::validateJSONValues_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("keys");
    QTest::addColumn<bool>("valid");

    const QStringList commandKeys { "cmd", "id", "device_id" };
    QTest::addRow("all keys present") << R"({"cmd":"a","id":"b","device_id":"c"})" << commandKeys << true;
    QTest::addRow("null and non-string values count") << R"({"cmd":null,"id":[],"device_id":{}})" << commandKeys
                                                      << true;
    QTest::addRow("extra keys are fine") << R"({"cmd":"a","id":"b","device_id":"c","x":1})" << commandKeys << true;
    QTest::addRow("one key missing") << R"({"cmd":"a","device_id":"c"})" << commandKeys << false;
    QTest::addRow("a key only in a nested object") << R"({"cmd":"a","device_id":"c","x":{"id":"b"}})"
                                                   << commandKeys << false;
    QTest::addRow("an array has no keys") << R"([{"cmd":"a","id":"b","device_id":"c"}])" << commandKeys << false;
    QTest::addRow("invalid JSON has no keys") << R"({"cmd":"a","id":"b","device_id":"c")" << commandKeys << false;
    QTest::addRow("no keys asked of an object") << "{}" << QStringList() << true;
}

void TestUdpCommands::validateJSONValues()
{
    QFETCH(QString, text);
    QFETCH(QStringList, keys);
    QFETCH(bool, valid);
    QCOMPARE(m_scene.engine->validateJSONValues(text, keys), valid);
}

// The time-out timer repeats: once it has hidden the banner it keeps running, and a
// datagram that arrives while the banner is hidden does not stop it.
void TestUdpCommands::bannerTimerRepeats()
{
    QVERIFY(m_scene.deliver(json({ { "cmd", "player_next" }, { "id", "1" }, { "device_id", "x" } }), 8000,
        Transport::Datagram));
    QVERIFY(m_scene.spinner()->running());
    QTRY_VERIFY_WITH_TIMEOUT(!m_scene.spinner()->running(), 2600);
    QVERIFY(m_scene.timer()->isActive());
    QCOMPARE(m_scene.timer()->interval(), 2000);

    // Raised while hidden, the busy banner is taken down again by the next expiry.
    QVERIFY(m_scene.deliver(json({ { "action", "syncing" } }), 9000, Transport::Datagram));
    QVERIFY(m_scene.spinner()->running());
    QVERIFY(m_scene.spinner()->busy());
    QVERIFY(m_scene.timer()->isActive());
    QTRY_VERIFY_WITH_TIMEOUT(!m_scene.spinner()->running(), 2600);
    QVERIFY(m_scene.timer()->isActive());
}

void TestUdpCommands::statusDatagramLeavesThroughEth0()
{
    QUdpSocket receiver;
    QVERIFY(receiver.bind(QHostAddress::AnyIPv4, 8001, QUdpSocket::ShareAddress));
    QVERIFY(m_scene.engine->sender());
    QCOMPARE(m_scene.engine->sender()->getHost(), QStringLiteral("10.99.0.255"));

    const QString message = QStringLiteral(R"({"cmd":"player_is_resumed","id":"auto","device_id":"A1"})");
    m_scene.engine->broadcastMessage(message);
    QTRY_VERIFY_WITH_TIMEOUT(receiver.hasPendingDatagrams(), 5000);
    const QNetworkDatagram datagram = receiver.receiveDatagram();
    QCOMPARE(datagram.data(), message.toUtf8());
    QCOMPARE(datagram.destinationAddress(), QHostAddress(QStringLiteral("10.99.0.255")));
    QCOMPARE(datagram.destinationPort(), 8001);
    QVERIFY(m_scene.engine->sender()->isConnected());
}

void TestUdpCommands::incompleteScene_data()
{
    QTest::addColumn<QString>("scene");
    QTest::addRow("a stack without the remote operations") << QStringLiteral(UDP_TEST_DATA "/bare.qml");
    QTest::addRow("no object named stack") << QStringLiteral(UDP_TEST_DATA "/nostack.qml");
    QTest::addRow("a scene that fails to load") << QStringLiteral(UDP_TEST_DATA "/missing.qml");
}

// The commands still answer with their banner when the scene cannot act on them.
void TestUdpCommands::incompleteScene()
{
    QFETCH(QString, scene);

    ApplicationEngine::sceneUrl = QUrl::fromLocalFile(scene);
    ApplicationEngine engine;
    QCOMPARE(engine.rootObjects().isEmpty(), !QFile::exists(scene));

    // Nothing is logged for operations the scene does not offer.
    static QStringList messages;
    messages.clear();
    const QtMessageHandler previous = qInstallMessageHandler(
        [](QtMsgType, const QMessageLogContext&, const QString& message) { messages << message; });
    auto restore = qScopeGuard([previous] { qInstallMessageHandler(previous); });

    const QStringList commands { "player_previous", "player_next", "player_pause", "player_resume" };
    const QStringList banners { "Previous", "Next", "Pause", "Resume" };
    for (int i = 0; i < commands.size(); ++i) {
        engine.command(QString::fromUtf8(json({ { "cmd", commands.at(i) }, { "id", "1" }, { "device_id", "x" } })));
        QVERIFY2(Banner::of(engine.spinner()) == Banner::plain(banners.at(i)), qPrintable(commands.at(i)));
        QCOMPARE(engine.spinnerTimer()->interval(), 2000);
    }
    engine.command(QString::fromUtf8(
        json({ { "cmd", "player_play" }, { "id", "1" }, { "device_id", "x" }, { "schedule_id", "S" } })));
    QVERIFY(!engine.spinner()->running());
    engine.command(QString::fromUtf8(json({ { "cmd", "player_play" }, { "id", "1" }, { "device_id", "x" } })));
    QVERIFY(!engine.spinner()->running());

    engine.sync(QString::fromUtf8(json({ { "action", "sync" }, { "host", "h" }, { "port", "1" } })));
    QCOMPARE(engine.rootContext()->contextProperty("hostPort").toString(), QStringLiteral("h:1"));
    QCOMPARE(messages, QStringList());
}

QTEST_MAIN(TestUdpCommands)
#include "tst_udpcommands.moc"
