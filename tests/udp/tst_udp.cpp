// Remote control in two parts. Without a socket: the command and sync handlers
// (RemoteCommands) fed datagram texts, against a stand-in for the scene's "stack"
// that records what it is asked, and the [remote] allow= list (RemoteAllowList).
// With real datagrams: what the listener passes on (and what the allow-list drops at
// the socket), where the status sender aims, what player-remote puts in its datagrams,
// and that the engine hands the ports' datagrams to its handlers. Runs only inside
// isolate.sh --net: it deletes and creates interfaces.

#include "ApplicationEngine.h"
#include "IUdpListener.h"
#include "IUdpSender.h"
#include "RemoteAllowList.h"
#include "RemoteCommands.h"
#include "Spinner.h"
#include "remoterequest.h"

#include <QDir>
#include <QJSValue>
#include <QNetworkDatagram>
#include <QNetworkInterface>
#include <QProcess>
#include <QQmlContext>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUdpSocket>

#include <memory>

// True only when the parent process sits in another network namespace, so that an
// `ip link del eth0` here cannot reach the machine's own interfaces.
static bool inPrivateNetworkNamespace()
{
    auto namespaceOf = [](const QString& pid) { return QFileInfo("/proc/" + pid + "/ns/net").symLinkTarget(); };
    const QString own = namespaceOf("self");
    QString pid = QString::number(QCoreApplication::applicationPid());
    for (int depth = 0; depth < 16 && pid != "0" && !pid.isEmpty(); ++depth) {
        QFile status("/proc/" + pid + "/status");
        if (!status.open(QIODevice::ReadOnly))
            return false;
        const QByteArray text = status.readAll();
        const int at = text.indexOf("PPid:");
        pid = at < 0 ? QString() : QString::fromLatin1(text.mid(at + 5, text.indexOf('\n', at) - at - 5).trimmed());
        if (!namespaceOf(pid).isEmpty() && namespaceOf(pid) != own)
            return qEnvironmentVariable("PLAYER_ISOLATED_NET") == "1";
    }
    return false;
}

// Datagrams the namespace has read so far, over IPv4 (/proc/net/snmp's Udp InDatagrams)
// and IPv6 (/proc/net/snmp6's Udp6InDatagrams).
static long datagramsRead()
{
    QFile file("/proc/net/snmp");
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    QList<QByteArray> lines;
    for (const QByteArray& line : file.readAll().split('\n')) {
        if (line.startsWith("Udp: "))
            lines << line.simplified();
    }
    long read = lines.value(1).split(' ').value(lines.value(0).split(' ').indexOf("InDatagrams")).toLong();
    QFile file6("/proc/net/snmp6");
    if (file6.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : file6.readAll().split('\n')) {
            const QList<QByteArray> words = line.simplified().split(' ');
            if (words.value(0) == "Udp6InDatagrams")
                read += words.value(1).toLong();
        }
    }
    return read;
}

// Runs the event loop until `count` more datagrams than `before` have been read;
// the handlers run inside the listener's read loop, so they are done by then too.
static bool waitDatagramsRead(long before, long count)
{
    QElapsedTimer timer;
    timer.start();
    while (datagramsRead() < before + count && timer.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    QCoreApplication::processEvents();
    return datagramsRead() >= before + count;
}

// Runs `ip` with the arguments; returns its error output when it fails.
static QString ip(const QString& args)
{
    QProcess process;
    process.start("ip", args.split(' '));
    if (!process.waitForFinished(10000) || process.exitCode() != 0)
        return "ip " + args + ": " + QString::fromLocal8Bit(process.readAllStandardError());
    return QString();
}

// The scene's "stack" as the handlers see it: the operations they may call, each
// noting its call the way data/recorder.qml does.
class StackStandIn : public QObject {
    Q_OBJECT

public:
    QStringList calls;

    Q_INVOKABLE void goToPreviousComposition() { calls << "goToPreviousComposition"; }
    Q_INVOKABLE void goToNextComposition() { calls << "goToNextComposition"; }
    Q_INVOKABLE void pausePlayer() { calls << "pausePlayer"; }
    Q_INVOKABLE void resumePlayer() { calls << "resumePlayer"; }
    Q_INVOKABLE void playSchedule(const QVariant& scheduleUID)
    {
        calls << QStringLiteral("playSchedule(%1:%2)").arg(scheduleUID.typeName(), scheduleUID.toString());
    }
    Q_INVOKABLE void playDefaultSchedule() { calls << "playDefaultSchedule"; }
};

class TestUdp : public QObject {
    Q_OBJECT

    static bool send(const QByteArray& bytes, const QHostAddress& to, const QHostAddress& from, quint16 port = 8000)
    {
        QUdpSocket socket;
        return socket.bind(from, 0) && socket.writeDatagram(bytes, to, port) == bytes.size();
    }

    // The banner model and its time-out, in one line.
    static QString banner(const Spinner* s, const QTimer* t)
    {
        return QStringList { s->running() ? "shown" : "hidden", s->text(), s->busy() ? "busy" : "",
            s->color().name(QColor::HexArgb), s->textColor().name(QColor::HexArgb),
            s->imageVisible() ? s->imageSource() : "-", t->isActive() ? QString::number(t->interval()) : "off" }
            .join('|');
    }
    static QString shown(
        const QString& text, const char* timeout = "2000", const char* colour = "#c8ffffff", const char* image = "-")
    {
        return QStringList { "shown", text, "", colour, "#ff000000", image, timeout }.join('|');
    }
    // What a datagram finds: a banner neither hidden nor in its default colours, its time-out
    // running; and the banner a handled datagram leaves when it shows nothing.
    static const QString untouched, hidden;
    static void dirty(Spinner* s, QTimer* t)
    {
        s->show("Before");
        s->setColor(QColor(1, 2, 3, 4));
        s->setTextColor(QColor(9, 9, 9));
        s->setImageSource("images/alert.png");
        s->setImageVisible(true);
        t->start(3000);
    }

    // The handlers alone, made afresh for every test function and row. The stack
    // they find is the recording stand-in, one that offers no operation ("bare") or
    // none at all ("none"), as m_stackKind says.
    std::unique_ptr<Spinner> m_banner;
    std::unique_ptr<QObject> m_launch;
    std::unique_ptr<StackStandIn> m_stack;
    std::unique_ptr<QObject> m_bareStack;
    QString m_stackKind;
    std::unique_ptr<RemoteCommands> m_remote;

    QString handlerBanner() const { return banner(m_banner.get(), m_remote->bannerTimer()); }
    // The launch parameters the handlers read and write; "(none)" for an unset one.
    QString launch() const
    {
        QStringList values;
        for (const char* name : { "host", "port", "deviceUid", "jsonFile", "startDate" }) {
            const QVariant value = m_launch->property(name);
            values << QStringLiteral("%1=%2").arg(name, value.isValid() ? value.toString() : "(none)");
        }
        return values.join(' ');
    }

    // The whole engine, for the wiring of its ports to the handlers.
    ApplicationEngine* m_engine = nullptr;

    QStringList takeCalls() const
    {
        QVariant taken;
        QMetaObject::invokeMethod(m_engine->rootObjects().first(), "takeCalls", Q_RETURN_ARG(QVariant, taken));
        return taken.value<QJSValue>().toVariant().toStringList();
    }
    // Sends a datagram to the engine and returns once it has been handled.
    static bool deliver(const QByteArray& json, quint16 port)
    {
        const long before = datagramsRead();
        return send(json, QHostAddress::LocalHost, QHostAddress::LocalHost, port) && waitDatagramsRead(before, 1);
    }

private slots:
    void initTestCase() { QVERIFY2(inPrivateNetworkNamespace(), "run through tests/isolate.sh --net"); }

    void init()
    {
        m_remote.reset();
        m_banner.reset(new Spinner);
        m_launch.reset(new QObject);
        m_stack.reset(new StackStandIn);
        m_bareStack.reset(new QObject);
        m_stackKind = "recorder";
        m_remote.reset(new RemoteCommands(m_banner.get(), m_launch.get(), [this]() -> QObject* {
            if (m_stackKind == "none")
                return nullptr;
            return m_stackKind == "bare" ? m_bareStack.get() : m_stack.get();
        }));
        dirty(m_banner.get(), m_remote->bannerTimer());

        if (!m_engine)
            return;
        for (const char* name : { "host", "port", "deviceUid", "jsonFile", "startDate", "endDate" })
            qApp->setProperty(name, QVariant());
        QFile::remove("player.ini");
        dirty(m_engine->spinner(), m_engine->remoteCommands()->bannerTimer());
    }

    void command_data()
    {
        QTest::addColumn<QVariant>("deviceUid"); // the player's; invalid: none
        QTest::addColumn<QString>("stack"); // recorder, bare or none
        QTest::addColumn<QByteArray>("datagram");
        QTest::addColumn<QString>("calls");
        QTest::addColumn<QString>("banner");

        // A datagram for device A1 with the given fields, to a player without a device filter.
        auto row = [](const char* tag, const QByteArray& fields, const char* calls, const QString& banner,
                       const QVariant& device = QVariant(), const char* stack = "recorder") {
            QTest::addRow("%s", tag) << device << stack << "{\"id\":\"42\",\"device_id\":\"A1\"," + fields + "}"
                                     << calls << banner;
        };
        // A datagram given whole.
        auto whole = [](const char* tag, const QByteArray& datagram) {
            QTest::addRow("%s", tag) << QVariant() << "recorder" << datagram << "" << untouched;
        };

        row("previous", R"("cmd":"player_previous")", "goToPreviousComposition", shown("Previous"));
        row("next", R"("cmd":"player_next")", "goToNextComposition", shown("Next"));
        row("pause", R"("cmd":"player_pause")", "pausePlayer", shown("Pause"));
        row("resume", R"("cmd":"player_resume")", "resumePlayer", shown("Resume"));
        row("play without schedule: the default one, no banner", R"("cmd":"player_play")", "playDefaultSchedule",
            hidden);
        row("play a schedule", R"("cmd":"player_play","schedule_id":"S 1")", "playSchedule(QString:S 1)", hidden);
        row("play a schedule given as a number: an empty string", R"("cmd":"player_play","schedule_id":42)",
            "playSchedule(QString:)", hidden);
        row("play a schedule given as null: an empty string", R"("cmd":"player_play","schedule_id":null)",
            "playSchedule(QString:)", hidden);

        row("notification without level: INFO", R"("cmd":"player_notification","text":"Hi")", "",
            shown("Hi", "4000", "#c8b8daff", "images/info.png"));
        row("notification INFO", R"("cmd":"player_notification","text":"Hi","notification_level":"INFO")", "",
            shown("Hi", "4000", "#c8b8daff", "images/info.png"));
        row("notification WARNING", R"("cmd":"player_notification","text":"Wet","notification_level":"WARNING")", "",
            shown("Wet", "4000", "#c8ffeab5", "images/warning.png"));
        row("notification ALERT with empty text",
            R"("cmd":"player_notification","text":"","notification_level":"ALERT")", "",
            shown("", "4000", "#c8f5c6cb", "images/alert.png"));
        row("notification text not a string: empty",
            R"("cmd":"player_notification","text":7,"notification_level":"ALERT")", "",
            shown("", "4000", "#c8f5c6cb", "images/alert.png"));
        row("notification level in lower case",
            R"("cmd":"player_notification","text":"Hi","notification_level":"info")", "", hidden);
        row("notification unknown level", R"("cmd":"player_notification","text":"Hi","notification_level":"DEBUG")", "",
            hidden);
        row("notification level not a string", R"("cmd":"player_notification","text":"Hi","notification_level":1)", "",
            hidden);
        row("notification without text", R"("cmd":"player_notification","notification_level":"ALERT")", "", hidden);
        row("an unknown player_ command only hides the banner", R"("cmd":"player_reboot")", "", hidden);
        row("the bare prefix only hides the banner", R"("cmd":"player_")", "", hidden);

        // Ignored datagrams leave the banner and its time-out as they were (e2e_scene sends some for other devices).
        row("the prefix is case-sensitive", R"("cmd":"Player_next")", "", untouched);
        row("a command without the prefix", R"("cmd":"next")", "", untouched);
        row("a command that is not a string", R"("cmd":1)", "", untouched);
        whole("without cmd", R"({"id":"42","device_id":"A1"})");
        whole("without id", R"({"cmd":"player_next","device_id":"A1"})");
        whole("without device_id", R"({"cmd":"player_next","id":"42"})");
        QTest::addRow("keys need only be present: null id and device_id")
            << QVariant() << "recorder" << QByteArray(R"({"cmd":"player_next","id":null,"device_id":null})")
            << "goToNextComposition" << shown("Next");
        whole("an array holding a command", R"([{"cmd":"player_next","id":"42","device_id":"A1"}])");
        whole("not JSON", "player_next");
        whole("JSON with trailing text", R"({"cmd":"player_next","id":"42","device_id":"A1"} x)");
        whole("empty", "");

        row("this device: still needs the prefix", R"("cmd":"next")", "", untouched, "A1");
        row("this device: carried out", R"("cmd":"player_next")", "goToNextComposition", shown("Next"), "A1");
        row("another device", R"("cmd":"player_next")", "", untouched, "B2");
        row("an empty identifier still filters", R"("cmd":"player_next")", "", untouched, "");
        QTest::addRow("an empty identifier matches an empty device_id")
            << QVariant("") << "recorder" << QByteArray(R"({"cmd":"player_pause","id":"1","device_id":""})")
            << "pausePlayer" << shown("Pause");
        QTest::addRow("a device_id that is not a string matches no identifier")
            << QVariant("12") << "recorder" << QByteArray(R"({"cmd":"player_pause","id":"1","device_id":12})") << ""
            << untouched;
        QTest::addRow("no filter: any device_id, even not a string")
            << QVariant() << "recorder" << QByteArray(R"({"cmd":"player_pause","id":1,"device_id":[]})")
            << "pausePlayer" << shown("Pause");

        // Until the scene offers an operation, a command only shows its banner.
        row("no scene yet", R"("cmd":"player_next")", "", shown("Next"), QVariant(), "none");
        row("no scene yet: play", R"("cmd":"player_play","schedule_id":"S")", "", hidden, QVariant(), "none");
        row("a stack without the operations", R"("cmd":"player_resume")", "", shown("Resume"), QVariant(), "bare");
        row("a stack without the operations: play", R"("cmd":"player_play")", "", hidden, QVariant(), "bare");
    }
    void command()
    {
        QFETCH(QVariant, deviceUid);
        QFETCH(QString, stack);
        QFETCH(QByteArray, datagram);
        QFETCH(QString, calls);
        QFETCH(QString, banner);
        m_launch->setProperty("deviceUid", deviceUid);
        m_stackKind = stack;
        m_remote->command(QString::fromUtf8(datagram));
        QCOMPARE(m_stack->calls.join(' '), calls);
        QCOMPARE(handlerBanner(), banner);
        QCOMPARE(m_launch->property("deviceUid"), deviceUid); // a command never changes the launch parameters
    }

    // The banner goes when its time-out fires, whichever banner it is.
    void bannerTimesOut()
    {
        m_remote->command(R"({"cmd":"player_notification","id":"1","device_id":"A1","text":"Hi"})");
        QVERIFY(m_banner->running());
        m_remote->bannerTimer()->setInterval(10);
        QTRY_VERIFY(!m_banner->running());
        QCOMPARE(m_banner->text(), "Hi"); // hidden, not reset
    }

    void sync_data()
    {
        QTest::addColumn<QByteArray>("datagram");
        QTest::addColumn<QString>("launch"); // the launch parameters after it
        QTest::addColumn<int>("reconfigured"); // configurationChanged() emissions
        QTest::addColumn<QString>("banner");

        // What the player was started with, and a sync's rewriting of it.
        const QString before = "host=old port=81 deviceUid=A1 jsonFile=/srv/s.json startDate=2026-01-01";
        auto synced = [](const char* host, const char* port, const char* device) {
            return QStringLiteral("host=%1 port=%2 deviceUid=%3 jsonFile=(none) startDate=2026-01-01")
                .arg(host, port, device);
        };
        QTest::addRow("host, port and device; the schedule file is dropped")
            << QByteArray(R"({"action":"sync","host":"10.0.0.2","port":"80","deviceUid":"B2"})")
            << synced("10.0.0.2", "80", "B2") << 1 << hidden;
        QTest::addRow("a port as a JSON number leaves the port")
            << QByteArray(R"({"action":"sync","host":"h","port":8080,"deviceUid":"B2"})") << synced("h", "81", "B2")
            << 1 << hidden;
        QTest::addRow("a port not in decimal leaves the port")
            << QByteArray(R"({"action":"sync","host":"h","port":"8x","deviceUid":"B2"})") << synced("h", "81", "B2")
            << 1 << hidden;
        QTest::addRow("a signed decimal port is taken")
            << QByteArray(R"({"action":"sync","host":"h","port":"-1","deviceUid":"B2"})") << synced("h", "-1", "B2")
            << 1 << hidden;
        QTest::addRow("sync alone: empty host, port kept, no device")
            << QByteArray(R"({"action":"sync"})") << synced("", "81", "(none)") << 1 << hidden;
        QTest::addRow("a host that is not a string: empty")
            << QByteArray(R"({"action":"sync","host":10,"deviceUid":"B2"})") << synced("", "81", "B2") << 1 << hidden;
        QTest::addRow("an empty device identifier is kept (it still filters)")
            << QByteArray(R"({"action":"sync","host":"h","deviceUid":""})") << synced("h", "81", "") << 1 << hidden;
        QTest::addRow("a device identifier that is not a string: none")
            << QByteArray(R"({"action":"sync","host":"h","deviceUid":12})") << synced("h", "81", "(none)") << 1
            << hidden;
        QTest::addRow("a null device identifier: none")
            << QByteArray(R"({"action":"sync","host":"h","deviceUid":null})") << synced("h", "81", "(none)") << 1
            << hidden;

        QTest::addRow("syncing") << QByteArray(R"({"action":"syncing"})") << before << 0
                                 << "shown|Synchronizing...|busy|#c8ffffff|#ff000000|-|off";
        QTest::addRow("syncingEnd") << QByteArray(R"({"action":"syncingEnd","host":"h"})") << before << 0 << hidden;
        QTest::addRow("actions are case-sensitive")
            << QByteArray(R"({"action":"Sync","host":"h"})") << before << 0 << hidden;
        QTest::addRow("an unknown action only hides the banner")
            << QByteArray(R"({"action":"reboot"})") << before << 0 << hidden;
        QTest::addRow("an action that is not a string only hides the banner")
            << QByteArray(R"({"action":1})") << before << 0 << hidden;
        QTest::addRow("without action it is ignored")
            << QByteArray(R"({"host":"h","port":"80"})") << before << 0 << untouched;
        QTest::addRow("an array holding a sync is ignored")
            << QByteArray(R"([{"action":"sync","host":"h"}])") << before << 0 << untouched;
        QTest::addRow("not JSON is ignored") << QByteArray("sync") << before << 0 << untouched;
    }
    void sync()
    {
        QFETCH(QByteArray, datagram);
        QFETCH(QString, launch);
        QFETCH(int, reconfigured);
        QFETCH(QString, banner);
        m_launch->setProperty("host", "old");
        m_launch->setProperty("port", "81");
        m_launch->setProperty("deviceUid", "A1");
        m_launch->setProperty("jsonFile", "/srv/s.json");
        m_launch->setProperty("startDate", "2026-01-01");
        // The parameters are all written before the engine is told to load anew.
        QStringList seen;
        connect(m_remote.get(), &RemoteCommands::configurationChanged, this, [&] { seen << this->launch(); });
        m_remote->sync(QString::fromUtf8(datagram));
        QCOMPARE(this->launch(), launch);
        QCOMPARE(seen.size(), reconfigured);
        if (reconfigured)
            QCOMPARE(seen.first(), launch);
        QCOMPARE(handlerBanner(), banner);
        QCOMPARE(m_stack->calls, QStringList());
    }

    // A sync's device identifier is the one the next commands are filtered by.
    void syncThenCommand_data()
    {
        QTest::addColumn<QByteArray>("deviceUid"); // as JSON in the sync
        QTest::addColumn<QByteArray>("deviceId"); // as JSON in the command
        QTest::addColumn<bool>("obeyed");
        QTest::addRow("same") << QByteArray(R"("B2")") << QByteArray(R"("B2")") << true;
        QTest::addRow("another") << QByteArray(R"("B2")") << QByteArray(R"("A1")") << false;
        QTest::addRow("empty filters") << QByteArray(R"("")") << QByteArray(R"("A1")") << false;
        QTest::addRow("a number turns filtering off") << QByteArray("12") << QByteArray(R"("A1")") << true;
        QTest::addRow("absent turns filtering off") << QByteArray() << QByteArray("12") << true;
    }
    void syncThenCommand()
    {
        QFETCH(QByteArray, deviceUid);
        QFETCH(QByteArray, deviceId);
        QFETCH(bool, obeyed);
        m_launch->setProperty("deviceUid", "A1");
        m_remote->sync(deviceUid.isEmpty() ? R"({"action":"sync"})"
                                           : QString::fromUtf8(R"({"action":"sync","deviceUid":)" + deviceUid + "}"));
        m_remote->command(QString::fromUtf8(R"({"cmd":"player_next","id":"1","device_id":)" + deviceId + "}"));
        QCOMPARE(m_stack->calls, obeyed ? QStringList { "goToNextComposition" } : QStringList());
    }

    // What player-remote sends is what the handlers carry out.
    void remoteDatagramsObeyed_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("calls");
        QTest::addColumn<QString>("banner");
        QTest::addColumn<QString>("launch");
        const QString unset = "host=(none) port=(none) deviceUid=(none) jsonFile=(none) startDate=(none)";
        QTest::addRow("previous") << QStringList { "previous" } << "goToPreviousComposition" << shown("Previous")
                                  << unset;
        QTest::addRow("pause for this device")
            << QStringList { "pause", "--device=A1" } << "pausePlayer" << shown("Pause") << unset;
        QTest::addRow("play a schedule") << QStringList { "play", "--schedule", "S 1" } << "playSchedule(QString:S 1)"
                                         << hidden << unset;
        QTest::addRow("notify") << QStringList { "notify", "--level=warning", "--", "--> exit" } << ""
                                << shown("--> exit", "4000", "#c8ffeab5", "images/warning.png") << unset;
        QTest::addRow("sync") << QStringList { "sync", "--host", "10.0.0.2", "--port", "8080", "--device=" }
                              << "configurationChanged" << hidden
                              << "host=10.0.0.2 port=8080 deviceUid= jsonFile=(none) startDate=(none)";
        QTest::addRow("syncing") << QStringList { "syncing" } << ""
                                 << "shown|Synchronizing...|busy|#c8ffffff|#ff000000|-|off" << unset;
        QTest::addRow("syncing-end") << QStringList { "syncing-end" } << "" << hidden << unset;
    }
    void remoteDatagramsObeyed()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, calls);
        QFETCH(QString, banner);
        QFETCH(QString, launch);
        const remote::Request r = remote::parse(arguments, QStringLiteral("ID"));
        QVERIFY2(r.error.isEmpty(), qPrintable(r.error));
        connect(m_remote.get(), &RemoteCommands::configurationChanged, this,
            [this] { m_stack->calls << "configurationChanged"; });
        if (r.port == remote::commandPort)
            m_remote->command(QString::fromUtf8(r.datagram));
        else if (r.port == remote::syncPort)
            m_remote->sync(QString::fromUtf8(r.datagram));
        else
            QFAIL("neither the command nor the sync port");
        QCOMPARE(m_stack->calls.join(' '), calls);
        QCOMPARE(handlerBanner(), banner);
        QCOMPARE(this->launch(), launch);
    }

    // The entries of "[remote] allow=" against senders as the socket reports them.
    void allowList_data()
    {
        QTest::addColumn<QStringList>("entries");
        QTest::addColumn<QString>("sender");
        QTest::addColumn<bool>("accepted");
        struct Row {
            const char* tag;
            QStringList entries;
            const char* sender;
            bool accepted;
        };
        const QList<Row> rows {
            { "no list: IPv4", {}, "203.0.113.9", true },
            { "no list: IPv6", {}, "2001:db8::1", true },
            { "no list: IPv4-mapped", {}, "::ffff:10.0.0.2", true },
            { "blank entries are no list", { "", " , " }, "203.0.113.9", true },
            { "address", { "10.0.0.2" }, "10.0.0.2", true },
            { "address: another", { "10.0.0.2" }, "10.0.0.3", false },
            { "address: IPv4-mapped sender", { "10.0.0.2" }, "::ffff:10.0.0.2", true },
            { "address: another IPv4-mapped sender", { "10.0.0.2" }, "::ffff:10.0.0.3", false },
            { "address: the IPv4-compatible form is another address", { "10.0.0.2" }, "::10.0.0.2", false },
            { "/8", { "10.0.0.0/8" }, "10.255.1.2", true },
            { "/8: outside", { "10.0.0.0/8" }, "11.0.0.1", false },
            { "/8: IPv4-mapped sender", { "10.0.0.0/8" }, "::ffff:10.0.0.2", true },
            { "/8: IPv4-mapped sender outside", { "10.0.0.0/8" }, "::ffff:11.0.0.1", false },
            { "/8 written from an inner address", { "10.1.2.3/8" }, "10.9.9.9", true },
            { "/8 as a netmask", { "10.0.0.0/255.0.0.0" }, "10.9.9.9", true },
            { "/24", { "192.168.1.0/24" }, "192.168.1.77", true },
            { "/24: outside", { "192.168.1.0/24" }, "192.168.2.1", false },
            { "/24: IPv4-mapped sender", { "192.168.1.0/24" }, "::ffff:192.168.1.5", true },
            { "/32", { "10.0.0.2/32" }, "10.0.0.2", true },
            { "/32: the next address", { "10.0.0.2/32" }, "10.0.0.3", false },
            { "/32: IPv4-mapped sender", { "10.0.0.2/32" }, "::ffff:10.0.0.2", true },
            { "/0", { "0.0.0.0/0" }, "203.0.113.9", true },
            { "/0: IPv4-mapped sender", { "0.0.0.0/0" }, "::ffff:1.2.3.4", true },
            { "/0 of IPv4 holds no IPv6 sender", { "0.0.0.0/0" }, "2001:db8::1", false },
            { "IPv6 address", { "2001:db8::1" }, "2001:db8::1", true },
            { "IPv6 address: another", { "2001:db8::1" }, "2001:db8::2", false },
            { "IPv6 address written long", { "2001:0db8:0:0:0:0:0:1" }, "2001:db8::1", true },
            { "IPv6 loopback is not IPv4's", { "::1" }, "127.0.0.1", false },
            { "IPv6 network", { "2001:db8::/32" }, "2001:db8:ffff::1", true },
            { "IPv6 network: outside", { "2001:db8::/32" }, "2001:db9::1", false },
            { "IPv6 network holds no IPv4 sender", { "2001:db8::/32" }, "10.0.0.2", false },
            { "::/0: IPv6", { "::/0" }, "2001:db8::1", true },
            { "::/0 holds IPv4-mapped senders", { "::/0" }, "::ffff:10.0.0.2", true },
            { "the unspecified address holds no IPv4 sender", { "::" }, "0.0.0.0", false },
            { "an IPv4-mapped address", { "::ffff:10.0.0.2" }, "10.0.0.2", true },
            { "an IPv4-mapped address: as the socket reports it", { "::ffff:10.0.0.2" }, "::ffff:10.0.0.2", true },
            { "an IPv4-mapped address: another", { "::ffff:10.0.0.2" }, "10.0.0.3", false },
            { "an IPv4-mapped network", { "::ffff:10.0.0.0/104" }, "10.1.2.3", true },
            { "an IPv4-mapped network: outside", { "::ffff:10.0.0.0/104" }, "11.1.2.3", false },
            { "the IPv4-mapped range", { "::ffff:0.0.0.0/96" }, "203.0.113.9", true },
            { "the IPv4-mapped range holds no IPv6 sender", { "::ffff:0.0.0.0/96" }, "2001:db8::1", false },
            { "one of several", { "10.0.0.2", "192.168.1.0/24" }, "192.168.1.9", true },
            { "one text of several, commas and spaces", { "10.0.0.2, 192.168.1.0/24  2001:db8::/32" }, "2001:db8::5",
                true },
            { "none of several", { "10.0.0.2", "192.168.1.0/24" }, "10.0.0.3", false },
            { "a malformed entry matches nobody", { "bogus" }, "10.0.0.2", false },
            { "a malformed entry leaves the others", { "junk", "10.0.0.0/8" }, "10.0.0.2", true },
        };
        for (const Row& row : rows)
            QTest::addRow("%s", row.tag) << row.entries << row.sender << row.accepted;
    }
    void allowList()
    {
        QFETCH(QStringList, entries);
        QFETCH(QString, sender);
        QFETCH(bool, accepted);
        const QHostAddress address(sender);
        QVERIFY(!address.isNull());
        QCOMPARE(RemoteAllowList::fromEntries(entries).accepts(address), accepted);
    }

    void allowListEntries_data()
    {
        QTest::addColumn<QStringList>("entries");
        QTest::addColumn<bool>("set");
        QTest::addColumn<QStringList>("rejected");
        QTest::addRow("none") << QStringList() << false << QStringList();
        QTest::addRow("blank") << QStringList { "", "  ", "," } << false << QStringList();
        QTest::addRow("all good") << QStringList { "10.0.0.2", "10.0.0.0/8", "2001:db8::/32", "::ffff:10.0.0.2" }
                                  << true << QStringList();
        QTest::addRow("malformed ones, in order") << QStringList { "bogus, 10.0.0.2", "10.0.0.0/33", "10.0.0.256",
            "host.example", "10.0.0.2/", "/8", "2001:db8::/129", "10.0.0.0/-1" }
                                                  << true
                                                  << QStringList { "bogus", "10.0.0.0/33", "10.0.0.256", "host.example",
                                                         "10.0.0.2/", "/8", "2001:db8::/129", "10.0.0.0/-1" };
        QTest::addRow("only malformed ones: set, so nobody is accepted")
            << QStringList { "*" } << true << QStringList { "*" };
    }
    void allowListEntries()
    {
        QFETCH(QStringList, entries);
        QFETCH(bool, set);
        QFETCH(QStringList, rejected);
        const RemoteAllowList list = RemoteAllowList::fromEntries(entries);
        QCOMPARE(list.isSet(), set);
        QCOMPARE(list.rejectedEntries(), rejected);
        if (set && entries.join(',') == "*")
            QVERIFY(!list.accepts(QHostAddress("10.0.0.2")));
    }

    // player.ini as people write it: QSettings splits an unquoted value at its commas.
    void allowListFromSettings_data()
    {
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<QString>("accepted"); // of 10.0.0.2 192.168.1.9 10.0.0.3
        QTest::addRow("no file") << QByteArray() << "10.0.0.2 192.168.1.9 10.0.0.3";
        QTest::addRow("no key") << QByteArray("[json]\nhost=h\n") << "10.0.0.2 192.168.1.9 10.0.0.3";
        QTest::addRow("unquoted, commas")
            << QByteArray("[remote]\nallow=10.0.0.2, 192.168.1.0/24\n") << "10.0.0.2 192.168.1.9";
        QTest::addRow("quoted, spaces") << QByteArray("[remote]\nallow=\"10.0.0.2 192.168.1.0/24\"\n")
                                        << "10.0.0.2 192.168.1.9";
        QTest::addRow("one network") << QByteArray("[remote]\nallow=10.0.0.0/8\n") << "10.0.0.2 10.0.0.3";
        QTest::addRow("empty: every sender") << QByteArray("[remote]\nallow=\n") << "10.0.0.2 192.168.1.9 10.0.0.3";
    }
    void allowListFromSettings()
    {
        QFETCH(QByteArray, ini);
        QFETCH(QString, accepted);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString path = dir.filePath("player.ini");
        if (!ini.isNull()) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(ini);
        }
        const RemoteAllowList list = RemoteAllowList::fromSettings(path);
        QStringList senders;
        for (const char* sender : { "10.0.0.2", "192.168.1.9", "10.0.0.3" }) {
            if (list.accepts(QHostAddress(QString::fromLatin1(sender))))
                senders << sender;
        }
        QCOMPARE(senders.join(' '), accepted);
    }

    // Datagrams are queued without the event loop running, then drained in one pass:
    // whatever it leaves behind would wait for some later datagram.
    void listenerDrains_data()
    {
        QTest::addColumn<QString>("filter"); // the sender the listener takes datagrams from
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("to");
        QTest::addColumn<QByteArrayList>("datagrams");
        QTest::addColumn<QStringList>("emitted");
        const QString utf8 = QString::fromUtf8("{\"text\":\"Gr\xc3\xbc\xc3\x9f"
                                               "e\"}");
        QTest::addRow("objects in arrival order, text, arrays and empty ones dropped")
            << "*"
            << "127.0.0.1"
            << "127.0.0.1"
            << QByteArrayList { "{\"n\":1}", "not json", "[{\"n\":2}]", "", " {\"n\":3}\n", utf8.toUtf8() }
            << QStringList { "{\"n\":1}", " {\"n\":3}\n", utf8 };
        QTest::addRow("a zero byte cuts trailing garbage")
            << ""
            << "127.0.0.1"
            << "127.0.0.1" << QByteArrayList { QByteArray("{\"a\":1}\0garbage{{", 17) } << QStringList { "{\"a\":1}" };
        const QByteArray big = "{\"t\":\"" + QByteArray(65507 - 8, 'x') + "\"}";
        QTest::addRow("the largest datagram whole")
            << "*"
            << "127.0.0.1"
            << "127.0.0.1" << QByteArrayList { big } << QStringList { QString::fromLatin1(big) };
        QTest::addRow("a broadcast on eth0") << "*"
                                             << "10.99.0.1"
                                             << "10.99.0.255" << QByteArrayList { "{}" } << QStringList { "{}" };
        QTest::addRow("the named sender") << "127.0.0.2"
                                          << "127.0.0.2"
                                          << "127.0.0.1" << QByteArrayList { "{}" } << QStringList { "{}" };
        QTest::addRow("another sender") << "127.0.0.2"
                                        << "127.0.0.1"
                                        << "127.0.0.1" << QByteArrayList { "{}" } << QStringList();
    }
    void listenerDrains()
    {
        QFETCH(QString, filter);
        QFETCH(QString, from);
        QFETCH(QString, to);
        QFETCH(QByteArrayList, datagrams);
        QFETCH(QStringList, emitted);
        IUdpListener listener(filter, QStringLiteral("8000"));
        listener.generate();
        QSignalSpy spy(&listener, &IUdpListener::dataReceived);
        const long before = datagramsRead();
        for (const QByteArray& datagram : datagrams)
            QVERIFY(send(datagram, QHostAddress(to), QHostAddress(from)));
        QTRY_VERIFY(listener.findChild<QUdpSocket*>()->hasPendingDatagrams());
        listener.processPendingDatagrams();
        QCOMPARE(datagramsRead() - before, long(datagrams.size()));
        QStringList texts;
        for (const QList<QVariant>& arguments : spy)
            texts << arguments.at(0).toString();
        QCOMPARE(texts, emitted);
    }

    // The allow-list at the socket: a socket bound to the any-address reports IPv4
    // senders in their IPv4-mapped IPv6 form, which the list must take for the IPv4
    // address it was written as. Each sender sends {"from":"<sender>"}, in order.
    void listenerAllowList_data()
    {
        QTest::addColumn<QString>("allow");
        QTest::addColumn<QString>("to");
        QTest::addColumn<QStringList>("senders");
        QTest::addColumn<QStringList>("passed");
        QTest::addRow("an allowed address")
            << "127.0.0.2"
            << "127.0.0.1" << QStringList { "127.0.0.2" } << QStringList { "127.0.0.2" };
        QTest::addRow("a dropped sender does not stop the drain")
            << "127.0.0.2"
            << "127.0.0.1" << QStringList { "127.0.0.1", "127.0.0.2", "127.0.0.3" } << QStringList { "127.0.0.2" };
        QTest::addRow("a network holding the senders")
            << "10.0.0.0/8, 127.0.0.0/24"
            << "127.0.0.1" << QStringList { "127.0.0.3", "127.0.1.1" } << QStringList { "127.0.0.3" };
        QTest::addRow("a broadcast from an allowed address")
            << "10.99.0.1"
            << "10.99.0.255" << QStringList { "10.99.0.1" } << QStringList { "10.99.0.1" };
        QTest::addRow("written IPv4-mapped")
            << "::ffff:127.0.0.2"
            << "127.0.0.1" << QStringList { "127.0.0.2", "127.0.0.1" } << QStringList { "127.0.0.2" };
        QTest::addRow("an IPv6 sender") << "::1"
                                        << "::1" << QStringList { "::1" } << QStringList { "::1" };
        QTest::addRow("an IPv6 sender is no IPv4 address") << "127.0.0.1"
                                                           << "::1" << QStringList { "::1" } << QStringList();
    }
    void listenerAllowList()
    {
        QFETCH(QString, allow);
        QFETCH(QString, to);
        QFETCH(QStringList, senders);
        QFETCH(QStringList, passed);
        if (QHostAddress(to).protocol() == QAbstractSocket::IPv6Protocol
            && !QNetworkInterface::allAddresses().contains(QHostAddress::LocalHostIPv6))
            QSKIP("no IPv6 loopback in this namespace");
        IUdpListener listener(QStringLiteral("*"), QStringLiteral("8000"));
        listener.setAllowList(RemoteAllowList::fromEntries({ allow }));
        listener.generate();
        QSignalSpy spy(&listener, &IUdpListener::dataReceived);
        const long before = datagramsRead();
        for (const QString& sender : senders)
            QVERIFY(send("{\"from\":\"" + sender.toLatin1() + "\"}", QHostAddress(to), QHostAddress(sender)));
        QTRY_COMPARE(datagramsRead() - before, long(senders.size()));
        listener.processPendingDatagrams();
        QStringList texts;
        for (const QList<QVariant>& arguments : spy)
            texts << arguments.at(0).toString();
        QStringList expected;
        for (const QString& sender : passed)
            expected << "{\"from\":\"" + sender + "\"}";
        QCOMPARE(texts, expected);
    }

    // Each row builds its interfaces afresh: "veth NAME" is a veth pair NAME/NAME-peer, both up.
    void senderDestination_data()
    {
        QTest::addColumn<QStringList>("setup");
        QTest::addColumn<QString>("host");
        QTest::addColumn<QString>("destination");
        QTest::addColumn<bool>("delivered");
        const QString eth0 = "addr add 10.99.0.1/24 brd 10.99.0.255 dev eth0",
                      wlan0 = "addr add 10.98.0.1/24 brd 10.98.0.255 dev wlan0";
        QTest::addRow("eth0 and wlan0: eth0 wins") << QStringList { "veth wlan0", wlan0, "veth eth0", eth0 } << "*"
                                                   << "10.99.0.255" << true;
        QTest::addRow("an IPv6-only eth0 counts as none")
            << QStringList { "veth eth0", "-6 addr add 2001:db8::1/64 dev eth0 nodad", "veth wlan0", wlan0 } << "*"
            << "10.98.0.255" << true;
        QTest::addRow("neither: the limited broadcast by the default route") << QStringList { "veth ens3",
            "addr add 10.97.0.1/24 brd 10.97.0.255 dev ens3", "route add default dev ens3" }
                                                                             << "*"
                                                                             << "255.255.255.255" << true;
        QTest::addRow("a host other than * is used verbatim") << QStringList { "veth eth0", eth0 } << "127.0.0.1"
                                                              << "127.0.0.1" << true;
        QTest::addRow("no route: the send fails") << QStringList {} << "*"
                                                  << "255.255.255.255" << false;
    }
    void senderDestination()
    {
        QFETCH(QStringList, setup);
        QFETCH(QString, host);
        QFETCH(QString, destination);
        QFETCH(bool, delivered);
        for (const QString& name : QStringList { "eth0", "wlan0", "ens3" }) {
            if (QNetworkInterface::interfaceFromName(name).isValid())
                QCOMPARE(ip("link del " + name), QString());
        }
        for (const QString& command : setup) {
            const QString name = command.section(' ', 1);
            const QStringList commands = command.startsWith("veth ")
                ? QStringList { "link add " + name + " type veth peer name " + name + "-peer",
                      "link set " + name + " up", "link set " + name + "-peer up" }
                : QStringList { command };
            for (const QString& c : commands)
                QCOMPARE(ip(c), QString());
        }
        QUdpSocket receiver;
        QVERIFY(receiver.bind(QHostAddress::AnyIPv4, 8001, QUdpSocket::ShareAddress));
        IUdpSender sender(host, 8001);
        QCOMPARE(sender.getHost(), destination);
        QVERIFY(sender.connect());
        const QString message = QString::fromUtf8("{\"cmd\":\"player_is_paused\",\"device_id\":\"\xc3\xa9"
                                                  "cran\"}");
        QCOMPARE(sender.sendMessage(message), delivered);
        QCOMPARE(receiver.waitForReadyRead(delivered ? 5000 : 200), delivered);
        if (delivered) {
            const QNetworkDatagram datagram = receiver.receiveDatagram();
            QCOMPARE(datagram.data(), message.toUtf8());
            QCOMPARE(datagram.destinationAddress().toString(), destination);
        }
    }

    // connect() to the socket must not hide QObject::connect on the sender.
    void senderKeepsQObjectConnect()
    {
        IUdpSender sender(QStringLiteral("127.0.0.1"), 8001);
        int renamed = 0;
        QVERIFY(sender.connect(&sender, &QObject::objectNameChanged, &sender, [&renamed] { ++renamed; }));
        sender.setObjectName("status");
        QCOMPARE(renamed, 1);
        QVERIFY(sender.connect());
        QVERIFY(sender.isConnected());
    }

    void remoteArguments_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("sent"); // "port address datagram", or the error
        QTest::addRow("defaults") << QStringList { "next" }
                                  << R"(8000 255.255.255.255 {"cmd":"player_next","device_id":"","id":"ID"})";
        QTest::addRow("options before the command, values after =") << QStringList { "--to=10.99.0.7", "--device=A1",
            "--id", "r", "pause" } << R"(8000 10.99.0.7 {"cmd":"player_pause","device_id":"A1","id":"r"})";
        QTest::addRow("a level in capitals, a text after --") << QStringList {
            "notify", "--level=alert", "--", "--> exit"
        } << R"(8000 255.255.255.255 {"cmd":"player_notification","device_id":"","id":"ID","notification_level":"ALERT","text":"--> exit"})";
        QTest::addRow("sync") << QStringList { "sync", "--host", "10.0.0.2", "--port", "8080",
            "--device=" } << R"(9000 255.255.255.255 {"action":"sync","deviceUid":"","host":"10.0.0.2","port":"8080"})";
        QTest::addRow("syncing-end") << QStringList { "syncing-end" }
                                     << R"(9000 255.255.255.255 {"action":"syncingEnd"})";
        QTest::addRow("unknown command") << QStringList { "jump" } << "unknown command \"jump\"";
        QTest::addRow("an option of another command")
            << QStringList { "next", "--schedule", "S" } << "--schedule does not apply to next";
        QTest::addRow("a signed port") << QStringList { "sync", "--port", "+80" }
                                       << "--port wants a port number, not \"+80\"";
        QTest::addRow("a bad level") << QStringList { "notify", "x", "--level", "LOUD" }
                                     << "--level wants INFO, WARNING or ALERT, not \"LOUD\"";
    }
    void remoteArguments()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, sent);
        const remote::Request r = remote::parse(arguments, QStringLiteral("ID"));
        QCOMPARE(
            r.error.isEmpty() ? QStringLiteral("%1 %2 %3").arg(r.port).arg(r.address.toString(), r.datagram) : r.error,
            sent);
    }
    // The engine binds the command and sync ports too: it comes only after the listener's own tests.
    void engineStarts()
    {
        // player.ini is read from the working directory: the test's own.
        QVERIFY(QDir::setCurrent(qEnvironmentVariable("PLAYER_TEST_TMP")));
        ApplicationEngine::localScheduleFile = QDir::current().filePath("none.json");
        ApplicationEngine::sceneUrl = QUrl::fromLocalFile(UDP_TEST_DATA "/recorder.qml");
        m_engine = new ApplicationEngine;
        QVERIFY(!m_engine->rootObjects().isEmpty());
        QCOMPARE(takeCalls(), QStringList { "load(http://:/ws/stream.php?action=get&device_uid= :)" });
    }

    // The engine's ports reach its handlers, which reach data/recorder.qml's "stack", the
    // engine's banner and, by a sync, the engine's loading of the schedule anew.
    void engineWiring_data()
    {
        QTest::addColumn<int>("port");
        QTest::addColumn<QByteArray>("datagram");
        QTest::addColumn<QString>("ini"); // host in player.ini
        QTest::addColumn<QString>("calls");
        QTest::addColumn<QString>("banner");

        const QString get = "/ws/stream.php?action=get&device_uid=";
        QTest::addRow("a command on 8000")
            << 8000 << QByteArray(R"({"cmd":"player_next","id":"1","device_id":"A1"})") << ""
            << "goToNextComposition" << shown("Next");
        QTest::addRow("a command on 9000 is no sync")
            << 9000 << QByteArray(R"({"cmd":"player_next","id":"1","device_id":"A1"})") << ""
            << "" << untouched;
        QTest::addRow("a sync on 9000 loads anew")
            << 9000 << QByteArray(R"({"action":"sync","host":"10.0.0.2","port":"80","deviceUid":"B2"})") << ""
            << "load(http://10.0.0.2:80" + get + "B2&startDate=2026-01-01 10.0.0.2:80)" << hidden;
        QTest::addRow("a sync without host: the settings file's")
            << 9000 << QByteArray(R"({"action":"sync","port":"8x"})") << "srv"
            << "load(http://srv:81" + get + "&startDate=2026-01-01 srv:81)" << hidden;
        QTest::addRow("a sync on 8000 is no command") << 8000 << QByteArray(R"({"action":"syncingEnd"})") << ""
                                                      << "" << untouched;
    }
    void engineWiring()
    {
        QVERIFY(m_engine);
        QFETCH(int, port);
        QFETCH(QByteArray, datagram);
        QFETCH(QString, ini);
        QFETCH(QString, calls);
        QFETCH(QString, banner);
        qApp->setProperty("port", "81");
        qApp->setProperty("jsonFile", "/srv/s.json");
        qApp->setProperty("startDate", "2026-01-01");
        if (!ini.isEmpty())
            QSettings("player.ini", QSettings::IniFormat).setValue("json/host", ini);
        QVERIFY(deliver(datagram, quint16(port)));
        QCOMPARE(takeCalls().join(' '), calls);
        QCOMPARE(this->banner(m_engine->spinner(), m_engine->remoteCommands()->bannerTimer()), banner);
    }
};

const QString TestUdp::untouched = "shown|Before|busy|#04010203|#ff090909|images/alert.png|3000";
const QString TestUdp::hidden = "hidden||busy|#c8ffffff|#ff000000|-|off";

QTEST_MAIN(TestUdp)
#include "tst_udp.moc"
