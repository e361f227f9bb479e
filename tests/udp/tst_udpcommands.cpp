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

// The engine's command and sync handlers, driven both by direct calls and by real
// datagrams on 127.0.0.1:8000 and :9000, against a scene that records its calls.
class TestUdpCommands : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void command_data();
    void command();
    void deviceFilter_data();
    void deviceFilter();
    void sync_data();
    void sync();
    void bannerTimerRepeats();
    void statusDatagramLeavesThroughEth0();
    // Builds engines of its own: keep it last.
    void incompleteScene_data();
    void incompleteScene();

private:
    void expectBanner(const Banner& banner, int timeout);
    udptest::EngineFixture m_scene;
};

static const QStringList launchNames { "host", "port", "deviceUid", "jsonFile", "startDate", "endDate" };

// What a datagram finds when it arrives: a banner neither hidden nor in its default
// colours, its time-out running. A handler that accepts the datagram resets both.
static Banner before()
{
    Banner banner = Banner::notification("Before", QColor(1, 2, 3, 4), "images/alert.png");
    banner.busy = true;
    banner.textColor = QColor(9, 9, 9, 255);
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
    m_scene.spinner()->reset();
    m_scene.stack->setProperty("bannerOnPlay", false);
    m_scene.takeCalls();
    m_scene.takeLoads();
    before().applyTo(m_scene.spinner());
    m_scene.timer()->start(beforeTimeout);
}

// timeout -1: the time-out timer is not running.
void TestUdpCommands::expectBanner(const Banner& banner, int timeout)
{
    const Banner shown = Banner::of(m_scene.spinner());
    COMPARE_BANNER(shown, banner);
    QCOMPARE(m_scene.timer()->isActive(), timeout >= 0);
    if (timeout >= 0)
        QCOMPARE(m_scene.timer()->interval(), timeout);
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
    QTest::addColumn<int>("timeout");

    auto cmd = [](const QString& name, const QJsonObject& extra = {}) {
        QJsonObject object { { "cmd", name }, { "id", "42" }, { "device_id", "any" } };
        for (auto it = extra.begin(); it != extra.end(); ++it)
            object.insert(it.key(), it.value());
        return json(object);
    };
    using L = QStringList;
    const L none;
    const Banner hidden;
    const Banner loading = Banner::plain("Loading", true);
    const QString info = QStringLiteral("images/info.png");

    addRows("next", cmd("player_next"), false, L { "goToNextComposition" }, Banner::plain("Next"), 2000);
    addRows("previous", cmd("player_previous"), false, L { "goToPreviousComposition" }, Banner::plain("Previous"), 2000);
    addRows("pause", cmd("player_pause"), false, L { "pausePlayer" }, Banner::plain("Pause"), 2000);
    addRows("resume", cmd("player_resume"), false, L { "resumePlayer" }, Banner::plain("Resume"), 2000);
    addRows("play with a numeric schedule id passes an empty string, no time-out without banner",
        cmd("player_play", { { "schedule_id", 42 } }), false, L { "playSchedule(string:)" }, hidden, -1);
    addRows("play with a schedule id times out a banner the scene raised",
        cmd("player_play", { { "schedule_id", "S-42" } }), true, L { "playSchedule(string:S-42)" }, loading, 2000);
    addRows("play without a schedule id plays the default and never starts the time-out", cmd("player_play"), true,
        L { "playDefaultSchedule" }, loading, -1);

    addRows("notification without a level is INFO", cmd("player_notification", { { "text", "Hello" } }), false, none,
        Banner::notification("Hello", QColor(184, 218, 255, 200), info), 4000);
    addRows("notification WARNING",
        cmd("player_notification", { { "text", "Wet floor" }, { "notification_level", "WARNING" } }), false, none,
        Banner::notification("Wet floor", QColor(255, 234, 181, 200), "images/warning.png"), 4000);
    addRows("notification ALERT", cmd("player_notification", { { "text", "Fire" }, { "notification_level", "ALERT" } }),
        false, none, Banner::notification("Fire", QColor(245, 198, 203, 200), "images/alert.png"), 4000);
    addRows("notification with an empty text is still shown", cmd("player_notification", { { "text", "" } }), false,
        none, Banner::notification("", QColor(184, 218, 255, 200), info), 4000);
    addRows("notification level info in lower case shows nothing",
        cmd("player_notification", { { "text", "Hello" }, { "notification_level", "info" } }), false, none, hidden, -1);
    addRows("notification level null shows nothing",
        cmd("player_notification", { { "text", "Hello" }, { "notification_level", QJsonValue() } }), false, none,
        hidden, -1);
    addRows("notification without text shows nothing", cmd("player_notification", { { "notification_level", "ALERT" } }),
        false, none, hidden, -1);

    addRows("an unknown player_ command only hides the banner", cmd("player_reboot"), false, none, hidden, -1);
    addRows("an id of null still counts as present",
        json({ { "cmd", "player_next" }, { "id", QJsonValue() }, { "device_id", "any" } }), false,
        L { "goToNextComposition" }, Banner::plain("Next"), 2000);

    // Ignored datagrams leave the banner and its time-out exactly as they were.
    addRows("without id it is ignored", json({ { "cmd", "player_next" }, { "device_id", "any" } }), false, none,
        before(), beforeTimeout);
    addRows("without device_id it is ignored", json({ { "cmd", "player_next" }, { "id", "1" } }), false, none,
        before(), beforeTimeout);
    addRows("without cmd it is ignored", json({ { "id", "1" }, { "device_id", "any" } }), false, none, before(),
        beforeTimeout);
    addRows("the prefix is case-sensitive", cmd("Player_next"), false, none, before(), beforeTimeout);
}

void TestUdpCommands::command()
{
    QFETCH(Transport, transport);
    QFETCH(QByteArray, datagram);
    QFETCH(bool, sceneShowsBanner);
    QFETCH(QStringList, calls);
    QFETCH(Banner, banner);
    QFETCH(int, timeout);

    m_scene.stack->setProperty("bannerOnPlay", sceneShowsBanner);
    QVERIFY(m_scene.deliver(datagram, 8000, transport));

    QCOMPARE(m_scene.takeCalls(), calls);
    expectBanner(banner, timeout);
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
    addRows("the player's own identifier", QVariant("A1"), QJsonValue("A1"), true);
    addRows("another identifier", QVariant("A1"), QJsonValue("B2"), false);
    addRows("identifiers are case-sensitive", QVariant("A1"), QJsonValue("a1"), false);
    addRows("no trimming", QVariant("A1"), QJsonValue(" A1"), false);
    addRows("an empty identifier rejects others", QVariant(""), QJsonValue("A1"), false);
}

void TestUdpCommands::deviceFilter()
{
    QFETCH(Transport, transport);
    QFETCH(QVariant, deviceUid);
    QFETCH(QJsonValue, deviceId);
    QFETCH(bool, accepted);

    m_scene.spinner()->reset();
    qApp->setProperty("deviceUid", deviceUid);
    QVERIFY(m_scene.deliver(json({ { "cmd", "player_next" }, { "id", "1" }, { "device_id", deviceId } }), 8000,
        transport));
    QCOMPARE(m_scene.takeCalls(), accepted ? QStringList { "goToNextComposition" } : QStringList());
    QCOMPARE(m_scene.spinner()->running(), accepted);
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

    using M = QVariantMap;
    using L = QStringList;
    const M fromCommandLine { { "host", "old" }, { "port", "81" }, { "deviceUid", "A1" }, { "jsonFile", "/srv/s.json" } };
    const QString get = QStringLiteral("/ws/stream.php?action=get&device_uid=");

    addRows("sync sets host, port and device and drops the schedule file", fromCommandLine, M(),
        json({ { "action", "sync" }, { "host", "10.0.0.2" }, { "port", "80" }, { "deviceUid", "B2" } }),
        M { { "host", "10.0.0.2" }, { "port", "80" }, { "deviceUid", "B2" } },
        L { "http://10.0.0.2:80" + get + "B2", "10.0.0.2:80" }, Banner());
    addRows("a port given as a JSON number leaves the port", fromCommandLine, M(),
        json({ { "action", "sync" }, { "host", "h" }, { "port", 8080 }, { "deviceUid", "B2" } }),
        M { { "host", "h" }, { "port", "81" }, { "deviceUid", "B2" } }, L { "http://h:81" + get + "B2", "h:81" },
        Banner());
    addRows("a port that is not decimal leaves the port", fromCommandLine, M(),
        json({ { "action", "sync" }, { "host", "h" }, { "port", "80a" }, { "deviceUid", "B2" } }),
        M { { "host", "h" }, { "port", "81" }, { "deviceUid", "B2" } }, L { "http://h:81" + get + "B2", "h:81" },
        Banner());
    addRows("sync alone clears host and device, the settings file's host applies", fromCommandLine,
        M { { "host", "srv" }, { "port", "8080" } }, json({ { "action", "sync" } }), M { { "host", "" }, { "port", "81" } },
        L { "http://srv:81" + get, "srv:81" }, Banner());
    // An empty identifier still filters commands; one that is not a string turns filtering off.
    addRows("an empty device identifier is kept", M(), M(), json({ { "action", "sync" }, { "deviceUid", "" } }),
        M { { "host", "" }, { "deviceUid", "" } }, L { "http://:" + get, ":" }, Banner());
    addRows("a device identifier that is not a string clears it", fromCommandLine, M(),
        json({ { "action", "sync" }, { "host", "h" }, { "deviceUid", 12 } }), M { { "host", "h" }, { "port", "81" } },
        L { "http://h:81" + get, "h:81" }, Banner());
    addRows("the dates of the command line stay in force",
        M { { "startDate", "2026-01-01" }, { "endDate", "2026-01-31" } }, M(),
        json({ { "action", "sync" }, { "host", "h" }, { "port", "1" }, { "deviceUid", "D" } }),
        M { { "host", "h" }, { "port", "1" }, { "deviceUid", "D" }, { "startDate", "2026-01-01" },
            { "endDate", "2026-01-31" } },
        L { "http://h:1" + get + "D&startDate=2026-01-01&endDate=2026-01-31", "h:1" }, Banner());

    addRows("syncing shows Synchronizing... with the busy indicator", fromCommandLine, M(),
        json({ { "action", "syncing" } }), fromCommandLine, L(), Banner::plain("Synchronizing...", true));
    addRows("an unknown action only hides the banner", fromCommandLine, M(), json({ { "action", "reboot" } }),
        fromCommandLine, L(), Banner());
    addRows("without action it is ignored", fromCommandLine, M(), json({ { "host", "h" }, { "port", "1" } }),
        fromCommandLine, L(), before());
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

    for (auto it = launch.begin(); it != launch.end(); ++it)
        qApp->setProperty(it.key().toLatin1(), it.value());
    if (!ini.isEmpty()) {
        QSettings settings(QStringLiteral("player.ini"), QSettings::IniFormat);
        settings.beginGroup(QStringLiteral("json"));
        for (auto it = ini.begin(); it != ini.end(); ++it)
            settings.setValue(it.key(), it.value());
    }

    QVERIFY(m_scene.deliver(datagram, 9000, transport));

    for (const QString& name : launchNames) {
        const QVariant value = qApp->property(name.toLatin1());
        QVERIFY2(value.isValid() == launchAfter.contains(name), qPrintable(name));
        if (value.isValid())
            QCOMPARE(value.toString(), launchAfter.value(name).toString());
    }

    const QList<QVariantList> loads = m_scene.takeLoads();
    QCOMPARE(loads.size(), load.isEmpty() ? 0 : 1);
    if (!load.isEmpty()) {
        QCOMPARE(loads.first().at(0).toString(), load.at(0));
        QCOMPARE(loads.first().at(1).toString(), load.at(1));
        QCOMPARE(m_scene.contextProperty("hostPort").toString(), load.at(1));
        QCOMPARE(m_scene.contextProperty("deviceUID").toString(), launchAfter.value("deviceUid").toString());
    }
    expectBanner(banner, banner == before() ? beforeTimeout : -1);
    QVERIFY(m_scene.takeCalls().isEmpty());
}

// The time-out timer repeats: once it has hidden the banner it keeps running, and a
// banner raised while hidden is taken down again by the next expiry.
void TestUdpCommands::bannerTimerRepeats()
{
    m_scene.timer()->stop();
    m_scene.spinner()->reset();
    QVERIFY(m_scene.deliver(json({ { "cmd", "player_next" }, { "id", "1" }, { "device_id", "x" } }), 8000,
        Transport::Datagram));
    QVERIFY(m_scene.spinner()->running());
    QTRY_VERIFY_WITH_TIMEOUT(!m_scene.spinner()->running(), 2600);
    QVERIFY(m_scene.timer()->isActive());
    QCOMPARE(m_scene.timer()->interval(), 2000);

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
    QVERIFY(m_scene.engine->broadcastSender());
    QCOMPARE(m_scene.engine->broadcastSender()->getHost(), QStringLiteral("10.99.0.255"));

    const QString message = QStringLiteral(R"({"cmd":"player_is_resumed","id":"auto","device_id":"A1"})");
    m_scene.engine->broadcastMessage(message);
    QTRY_VERIFY_WITH_TIMEOUT(receiver.hasPendingDatagrams(), 5000);
    const QNetworkDatagram datagram = receiver.receiveDatagram();
    QCOMPARE(datagram.data(), message.toUtf8());
    QCOMPARE(datagram.destinationAddress(), QHostAddress(QStringLiteral("10.99.0.255")));
    QCOMPARE(datagram.destinationPort(), 8001);
    QVERIFY(m_scene.engine->broadcastSender()->isConnected());
}

void TestUdpCommands::incompleteScene_data()
{
    QTest::addColumn<QString>("scene");
    QTest::addRow("a stack without the remote operations") << QStringLiteral(UDP_TEST_DATA "/bare.qml");
    QTest::addRow("no object named stack") << QStringLiteral(UDP_TEST_DATA "/nostack.qml");
    QTest::addRow("a scene that fails to load") << QStringLiteral(UDP_TEST_DATA "/missing.qml");
}

// The commands still answer with their banner when the scene cannot act on them,
// and nothing is logged for operations the scene does not offer.
void TestUdpCommands::incompleteScene()
{
    QFETCH(QString, scene);

    ApplicationEngine::sceneUrl = QUrl::fromLocalFile(scene);
    ApplicationEngine engine;
    QCOMPARE(engine.rootObjects().isEmpty(), !QFile::exists(scene));

    static QStringList messages;
    messages.clear();
    const QtMessageHandler previous = qInstallMessageHandler(
        [](QtMsgType, const QMessageLogContext&, const QString& message) { messages << message; });
    auto restore = qScopeGuard([previous] { qInstallMessageHandler(previous); });
    auto command = [&engine](const QString& cmd, const QJsonObject& extra = {}) {
        QJsonObject object { { "cmd", cmd }, { "id", "1" }, { "device_id", "x" } };
        for (auto it = extra.begin(); it != extra.end(); ++it)
            object.insert(it.key(), it.value());
        engine.command(QString::fromUtf8(json(object)));
    };

    const QStringList banners { "Previous", "Next", "Pause", "Resume" };
    for (const QString& banner : banners) {
        command("player_" + banner.toLower());
        QVERIFY2(Banner::of(engine.spinner()) == Banner::plain(banner), qPrintable(banner));
        QCOMPARE(engine.spinnerTimer()->interval(), 2000);
    }
    command("player_play", { { "schedule_id", "S" } });
    QVERIFY(!engine.spinner()->running());
    command("player_play");
    QVERIFY(!engine.spinner()->running());

    engine.sync(QString::fromUtf8(json({ { "action", "sync" }, { "host", "h" }, { "port", "1" } })));
    QCOMPARE(engine.rootContext()->contextProperty("hostPort").toString(), QStringLiteral("h:1"));
    QCOMPARE(messages, QStringList());
}

QTEST_MAIN(TestUdpCommands)
#include "tst_udpcommands.moc"
