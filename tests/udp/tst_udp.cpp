// Remote control: the command and sync handlers against data/recorder.qml, a scene that
// records what it is asked, and the allow-list; with real datagrams the listener, the status
// sender's destination and the engine's ports. Only inside isolate.sh --net: it makes interfaces.

#include "ApplicationEngine.h"
#include "IUdpListener.h"
#include "IUdpSender.h"
#include "RemoteAllowList.h"
#include "RemoteCommands.h"
#include "Spinner.h"

#include <QJSValue>
#include <QNetworkDatagram>
#include <QNetworkInterface>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QUdpSocket>
#include <QtTest>

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

// Datagrams the namespace has read: Udp InDatagrams in /proc/net/snmp, Udp6InDatagrams in snmp6.
static long datagramsRead()
{
    long read = 0;
    for (const char* path : { "/proc/net/snmp", "/proc/net/snmp6" }) {
        QFile file(path);
        const QList<QByteArray> lines
            = file.open(QIODevice::ReadOnly) ? file.readAll().split('\n') : QList<QByteArray>();
        for (int i = 0; i < lines.size(); ++i) {
            const QList<QByteArray> words = lines.at(i).simplified().split(' ');
            if (words.first() == "Udp6InDatagrams")
                read += words.value(1).toLong();
            else if (words.first() == "Udp:" && words.contains("InDatagrams"))
                read += lines.value(i + 1).simplified().split(' ').value(words.indexOf("InDatagrams")).toLong();
        }
    }
    return read;
}

static QString ip(const QString& args)
{
    QProcess process;
    process.start("ip", args.split(' '));
    if (!process.waitForFinished(10000) || process.exitCode() != 0)
        return "ip " + args + ": " + QString::fromLocal8Bit(process.readAllStandardError());
    return QString();
}

class TestUdp : public QObject {
    Q_OBJECT

    static bool send(const QByteArray& bytes, const QHostAddress& to, const QHostAddress& from, quint16 port = 8000)
    {
        QUdpSocket socket;
        return socket.bind(from, 0) && socket.writeDatagram(bytes, to, port) == bytes.size();
    }

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
    // running; the banner a handled datagram leaves when it shows nothing; "Synchronizing...".
    static const QString untouched, hidden, syncing;
    static void dirty(Spinner* s, QTimer* t)
    {
        s->show("Before");
        s->setColor(QColor(1, 2, 3, 4));
        s->setTextColor(QColor(9, 9, 9));
        s->setImageSource("images/alert.png");
        s->setImageVisible(true);
        t->start(3000);
    }

    // The handlers alone, afresh for every row; their stack is the scene's, or none once noStack is set.
    QQmlEngine m_qml;
    struct Handlers {
        std::unique_ptr<QObject> scene;
        Spinner banner;
        QObject launch;
        bool noStack = false;
        RemoteCommands remote { &banner, &launch,
            [this] { return noStack ? nullptr : scene->findChild<QObject*>("stack"); } };
    };
    std::unique_ptr<Handlers> m_handlers;

    // The launch parameters the handlers read and write; "(none)" for an unset one.
    QString launch() const
    {
        QStringList values;
        for (const char* name : { "host", "port", "deviceUid", "jsonFile", "startDate" }) {
            const QVariant value = m_handlers->launch.property(name);
            values << QStringLiteral("%1=%2").arg(name, value.isValid() ? value.toString() : "(none)");
        }
        return values.join(' ');
    }

    ApplicationEngine* m_engine = nullptr;

    static QStringList takeCalls(QObject* scene)
    {
        QVariant taken;
        QMetaObject::invokeMethod(scene, "takeCalls", Q_RETURN_ARG(QVariant, taken));
        return taken.value<QJSValue>().toVariant().toStringList();
    }

private slots:
    void initTestCase() { QVERIFY2(inPrivateNetworkNamespace(), "run through tests/isolate.sh --net"); }

    void init()
    {
        m_handlers.reset(new Handlers);
        m_handlers->scene.reset(QQmlComponent(&m_qml, QUrl::fromLocalFile(UDP_TEST_DATA "/recorder.qml")).create());
        QVERIFY(m_handlers->scene);
        dirty(&m_handlers->banner, m_handlers->remote.bannerTimer());
        if (!m_engine)
            return;
        for (const char* name : { "host", "port", "deviceUid", "jsonFile", "startDate", "endDate" })
            qApp->setProperty(name, QVariant());
        QFile::remove("player.ini");
        dirty(m_engine->spinner(), m_engine->remoteCommands()->bannerTimer());
    }

    // Command or sync ("action") datagrams, one a line, to a player started with host=old port=81 jsonFile=/srv/s.json
    // and the row's deviceUid; "time-out" lets the banner time out quickly, "no stack" takes the scene away.
    void handlers_data()
    {
        QTest::addColumn<QVariant>("deviceUid"); // the player's; invalid: none
        QTest::addColumn<QByteArray>("steps");
        QTest::addColumn<QString>("calls"); // on the stack
        QTest::addColumn<QString>("banner");
        QTest::addColumn<QString>("launch"); // as configurationChanged() finds it after a sync; empty: as started

        auto row = [](const char* tag, const QVariant& device, const QByteArray& steps, const char* calls,
                       const QString& banner, const QString& launch = "") {
            QTest::addRow("%s", tag) << device << steps << calls << banner << launch;
        };
        // A command for device A1 with the given fields, to a player without a device filter.
        auto cmd = [&row](const char* tag, const QByteArray& fields, const char* calls, const QString& banner,
                       const QVariant& device = QVariant()) {
            row(tag, device, "{\"id\":\"42\",\"device_id\":\"A1\"," + fields + "}", calls, banner);
        };
        // A sync that rewrites the launch parameters of a player filtering on A1.
        auto sync = [&row](const char* tag, const QByteArray& fields, const QString& written) {
            const QStringList v = written.split(' '); // host port deviceUid
            row(tag, "A1", "{\"action\":\"sync\"" + fields + "}", "", hidden,
                QString("host=%1 port=%2 deviceUid=%3 jsonFile=(none) startDate=2026-01-01").arg(v[0], v[1], v[2]));
        };
        const QByteArray level = R"("cmd":"player_notification","text":"Hi","notification_level":)",
                         hi = R"({"cmd":"player_notification","id":"1","device_id":"A1","text":"Hi"})";
        const QVariant none;
        const QString info = shown("Hi", "4000", "#c8b8daff", "images/info.png");

        cmd("previous", R"("cmd":"player_previous")", "goToPreviousComposition", shown("Previous"));
        cmd("next", R"("cmd":"player_next")", "goToNextComposition", shown("Next"));
        cmd("pause", R"("cmd":"player_pause")", "pausePlayer", shown("Pause"));
        cmd("resume", R"("cmd":"player_resume")", "resumePlayer", shown("Resume"));
        cmd("play: the default schedule, no banner", R"("cmd":"player_play")", "playDefaultSchedule", hidden);
        cmd("play a schedule", R"("cmd":"player_play","schedule_id":"S 1")", "playSchedule(string:S 1)", hidden);
        cmd("play a schedule given as a number: an empty string", R"("cmd":"player_play","schedule_id":42)",
            "playSchedule(string:)", hidden);
        cmd("notification without level: INFO", R"("cmd":"player_notification","text":"Hi")", "", info);
        cmd("notification WARNING", level + R"("WARNING")", "", shown("Hi", "4000", "#c8ffeab5", "images/warning.png"));
        cmd("notification ALERT, text not a string: empty",
            R"("cmd":"player_notification","text":7,"notification_level":"ALERT")", "",
            shown("", "4000", "#c8f5c6cb", "images/alert.png"));
        cmd("notification level in lower case: nothing shown", level + R"("info")", "", hidden);
        cmd("notification level not a string: nothing shown", level + "1", "", hidden);
        cmd("notification without text", R"("cmd":"player_notification","notification_level":"ALERT")", "", hidden);
        cmd("an unknown player_ command only hides the banner", R"("cmd":"player_reboot")", "", hidden);
        row("Synchronizing... after a time-out stays", none, hi + "\ntime-out\n{\"action\":\"syncing\"}", "", syncing);

        // Ignored datagrams leave the banner and its time-out as they were (e2e_scene sends some for other devices).
        cmd("the prefix is case-sensitive", R"("cmd":"Player_next")", "", untouched);
        row("without id", none, R"({"cmd":"player_next","device_id":"A1"})", "", untouched);
        row("without device_id", none, R"({"cmd":"player_next","id":"42"})", "", untouched);
        row("keys need only be present: null id and device_id", none,
            R"({"cmd":"player_next","id":null,"device_id":null})", "goToNextComposition", shown("Next"));

        cmd("this device: carried out", R"("cmd":"player_next")", "goToNextComposition", shown("Next"), "A1");
        cmd("another device", R"("cmd":"player_next")", "", untouched, "B2");
        cmd("an empty identifier still filters", R"("cmd":"player_next")", "", untouched, "");
        row("a device_id that is not a string matches no identifier", "12",
            R"({"cmd":"player_pause","id":"1","device_id":12})", "", untouched);
        row("no scene yet: only the banner", none, "no stack\n" + hi, "", info);

        sync("sync: host, port and device; the schedule file is dropped",
            R"(,"host":"10.0.0.2","port":"80","deviceUid":"B2")", "10.0.0.2 80 B2");
        sync("sync: host and port as JSON numbers, no device", R"(,"host":1,"port":8080)", " 81 (none)");
        sync("sync: a port not in decimal is left", R"(,"host":"h","port":"8x","deviceUid":"B2")", "h 81 B2");
        sync("sync: an empty device identifier is kept (it still filters)", R"(,"host":"h","deviceUid":"")", "h 81 ");
        sync("sync: a device identifier that is not a string: none", R"(,"host":"h","deviceUid":12)", "h 81 (none)");
        row("syncing", "A1", R"({"action":"syncing"})", "", syncing);
        row("syncingEnd", "A1", R"({"action":"syncingEnd","host":"h"})", "", hidden);
        row("a sync without action is ignored", "A1", R"({"host":"h","port":"80"})", "", untouched);
    }
    void handlers()
    {
        QFETCH(QVariant, deviceUid);
        QFETCH(QByteArray, steps);
        QFETCH(QString, calls);
        QFETCH(QString, banner);
        QFETCH(QString, launch);
        Handlers& h = *m_handlers;
        for (const QString& value :
            QStringList { "host=old", "port=81", "jsonFile=/srv/s.json", "startDate=2026-01-01" })
            h.launch.setProperty(value.section('=', 0, 0).toLatin1(), value.section('=', 1));
        h.launch.setProperty("deviceUid", deviceUid);
        // A sync writes all the parameters before the engine is told to load anew, once.
        const QStringList reconfigured = launch.isEmpty() ? QStringList() : QStringList { launch };
        if (launch.isEmpty())
            launch = this->launch();
        QStringList seen;
        connect(&h.remote, &RemoteCommands::configurationChanged, this, [&] { seen << this->launch(); });
        for (const QByteArray& step : steps.split('\n')) {
            if (step == "time-out") {
                h.remote.bannerTimer()->setInterval(10);
                QTRY_VERIFY(!h.banner.running());
            } else if (step == "no stack") {
                h.noStack = true;
            } else if (step.contains("\"action\"")) {
                h.remote.sync(QString::fromUtf8(step));
            } else {
                h.remote.command(QString::fromUtf8(step));
            }
        }
        if (steps.contains("time-out"))
            QTest::qWait(100); // many a time-out's length
        QCOMPARE(takeCalls(h.scene.get()).join(' '), calls);
        QCOMPARE(TestUdp::banner(&h.banner, h.remote.bannerTimer()), banner);
        QCOMPARE(this->launch(), launch);
        QCOMPARE(seen, reconfigured);
    }

    // "[remote] allow=" against senders as the socket reports them, and the entries it reports as malformed;
    // from player.ini as people write it, QSettings splits an unquoted value at its commas.
    void allowList_data()
    {
        QTest::addColumn<QStringList>("entries");
        QTest::addColumn<QByteArray>("ini"); // allow= in player.ini instead of the entries
        QTest::addColumn<QString>("sender");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<QStringList>("rejected");
        auto row = [](const char* tag, const QStringList& entries, const char* sender, bool accepted,
                       const QStringList& rejected = {}, const QByteArray& ini = {}) {
            QTest::addRow("%s", tag) << entries << ini << sender << accepted << rejected;
        };
        const QStringList malformed { "bogus", "10.0.0.0/33", "10.0.0.256", "host.example", "10.0.0.2/", "/8",
            "2001:db8::/129", "10.0.0.0/-1", "*" };
        row("no list: every sender", {}, "2001:db8::1", true);
        row("address", { "10.0.0.2" }, "10.0.0.2", true);
        row("address: another", { "10.0.0.2" }, "10.0.0.3", false);
        row("address: the IPv4-compatible form is another address", { "10.0.0.2" }, "::10.0.0.2", false);
        row("/8: IPv4-mapped sender outside", { "10.0.0.0/8" }, "::ffff:11.0.0.1", false);
        row("/0", { "0.0.0.0/0" }, "203.0.113.9", true);
        row("/0 of IPv4 holds no IPv6 sender", { "0.0.0.0/0" }, "2001:db8::1", false);
        row("IPv6 address written long", { "2001:0db8:0:0:0:0:0:1" }, "2001:db8::1", true);
        row("IPv6 network", { "2001:db8::/32" }, "2001:db8:ffff::1", true);
        row("IPv6 network: outside", { "2001:db8::/32" }, "2001:db9::1", false);
        row("an IPv4-mapped address holds its IPv4 sender", { "::ffff:10.0.0.2" }, "10.0.0.2", true);
        row("malformed entries, reported in order, match nobody", { malformed.join(", ") }, "10.0.0.2", false,
            malformed);
        row("a malformed entry leaves the others", { "junk", "10.0.0.0/8" }, "10.0.0.2", true, { "junk" });
        row("player.ini: unquoted, commas", {}, "192.168.1.9", true, {}, "10.0.0.2, 192.168.1.0/24");
        row("player.ini: quoted, spaces", {}, "192.168.1.9", true, {}, "\"10.0.0.2 192.168.1.0/24\"");
        row("player.ini: one network, another sender", {}, "11.0.0.3", false, {}, "10.0.0.0/8");
        row("player.ini: empty, every sender", {}, "10.0.0.3", true, {}, "");
    }
    void allowList()
    {
        QFETCH(QStringList, entries);
        QFETCH(QByteArray, ini);
        QFETCH(QString, sender);
        QFETCH(bool, accepted);
        QFETCH(QStringList, rejected);
        QTemporaryDir dir;
        QFile file(dir.filePath("player.ini"));
        QVERIFY(dir.isValid() && file.open(QIODevice::WriteOnly));
        file.write("[json]\nhost=h\n[remote]\nallow=" + ini + "\n");
        file.close();
        const RemoteAllowList list
            = ini.isNull() ? RemoteAllowList::fromEntries(entries) : RemoteAllowList::fromSettings(file.fileName());
        QVERIFY(!QHostAddress(sender).isNull());
        QCOMPARE(list.accepts(QHostAddress(sender)), accepted);
        QCOMPARE(list.rejectedEntries(), rejected);
    }

    // Datagrams are queued without the event loop running, then drained in one pass: whatever it leaves
    // behind would wait for some later datagram. A socket bound to the any-address reports IPv4 senders
    // in their IPv4-mapped IPv6 form, which the allow-list must take for the IPv4 address it was written as.
    void listener_data()
    {
        QTest::addColumn<QString>("filter"); // the sender the listener takes datagrams from
        QTest::addColumn<QString>("allow"); // the allow-list; empty: none
        QTest::addColumn<QString>("to");
        QTest::addColumn<QStringList>("from"); // the sender of each datagram, or of all
        QTest::addColumn<QByteArrayList>("datagrams"); // none: each sender sends {"from":"<sender>"}
        QTest::addColumn<QStringList>("emitted");
        auto row = [](const char* tag, const char* filter, const char* allow, const char* to, const QStringList& from,
                       const QByteArrayList& datagrams, const QStringList& emitted) {
            QTest::addRow("%s", tag) << filter << allow << to << from << datagrams << emitted;
        };
        const QString utf8 = QString::fromUtf8("{\"text\":\"Gr\xc3\xbc\xc3\x9f"
                                               "e\"}");
        const QByteArray big = "{\"t\":\"" + QByteArray(65507 - 8, 'x') + "\"}";
        const QStringList local { "127.0.0.1" };
        row("objects in arrival order, text, arrays and empty ones dropped", "*", "", "127.0.0.1", local,
            { "{\"n\":1}", "not json", "[{\"n\":2}]", "", " {\"n\":3}\n", utf8.toUtf8() },
            { "{\"n\":1}", " {\"n\":3}\n", utf8 });
        row("a zero byte cuts trailing garbage", "", "", "127.0.0.1", local, { QByteArray("{\"a\":1}\0garbage{{", 17) },
            { "{\"a\":1}" });
        row("the largest datagram whole", "*", "", "127.0.0.1", local, { big }, { QString::fromLatin1(big) });
        row("only the named sender", "127.0.0.2", "", "127.0.0.1", { "127.0.0.1", "127.0.0.2" }, {},
            { R"({"from":"127.0.0.2"})" });
        row("allowed: a dropped sender does not stop the drain", "*", "127.0.0.2", "127.0.0.1",
            { "127.0.0.1", "127.0.0.2", "127.0.0.3" }, {}, { R"({"from":"127.0.0.2"})" });
        row("allowed: a broadcast on eth0 from a network", "*", "10.99.0.0/24", "10.99.0.255", { "10.99.0.1" }, {},
            { R"({"from":"10.99.0.1"})" });
        row("allowed: an IPv6 sender", "*", "::1", "::1", { "::1" }, {}, { R"({"from":"::1"})" });
    }
    void listener()
    {
        QFETCH(QString, filter);
        QFETCH(QString, allow);
        QFETCH(QString, to);
        QFETCH(QStringList, from);
        QFETCH(QByteArrayList, datagrams);
        QFETCH(QStringList, emitted);
        if (QHostAddress(to).protocol() == QAbstractSocket::IPv6Protocol
            && !QNetworkInterface::allAddresses().contains(QHostAddress::LocalHostIPv6))
            QSKIP("no IPv6 loopback in this namespace");
        if (datagrams.isEmpty()) {
            for (const QString& sender : from)
                datagrams << "{\"from\":\"" + sender.toLatin1() + "\"}";
        }
        IUdpListener listener(filter, QStringLiteral("8000"));
        if (!allow.isEmpty())
            listener.setAllowList(RemoteAllowList::fromEntries({ allow }));
        listener.generate();
        QSignalSpy spy(&listener, &IUdpListener::dataReceived);
        const long before = datagramsRead();
        for (int i = 0; i < datagrams.size(); ++i)
            QVERIFY(send(datagrams.at(i), QHostAddress(to), QHostAddress(from.value(i, from.first()))));
        QTRY_VERIFY(listener.findChild<QUdpSocket*>()->hasPendingDatagrams());
        listener.processPendingDatagrams();
        QCOMPARE(datagramsRead() - before, long(datagrams.size()));
        QStringList texts;
        for (const QList<QVariant>& arguments : spy)
            texts << arguments.at(0).toString();
        QCOMPARE(texts, emitted);
    }

    // Each row builds its interfaces afresh: "veth NAME" is a veth pair NAME/NAME-peer, both up; with none, no send.
    void senderDestination_data()
    {
        QTest::addColumn<QStringList>("setup");
        QTest::addColumn<QString>("host");
        QTest::addColumn<QString>("destination");
        const QString eth0 = "addr add 10.99.0.1/24 brd 10.99.0.255 dev eth0",
                      wlan0 = "addr add 10.98.0.1/24 brd 10.98.0.255 dev wlan0";
        auto row = [](const char* tag, const QStringList& setup, const char* destination, const char* host = "*") {
            QTest::addRow("%s", tag) << setup << host << destination;
        };
        row("eth0 and wlan0: eth0 wins", { "veth wlan0", wlan0, "veth eth0", eth0 }, "10.99.0.255");
        row("an IPv6-only eth0 counts as none",
            { "veth eth0", "-6 addr add 2001:db8::1/64 dev eth0 nodad", "veth wlan0", wlan0 }, "10.98.0.255");
        row("neither: the limited broadcast by the default route",
            { "veth ens3", "addr add 10.97.0.1/24 brd 10.97.0.255 dev ens3", "route add default dev ens3" },
            "255.255.255.255");
        row("a host other than * is used verbatim", { "veth eth0", eth0 }, "127.0.0.1", "127.0.0.1");
        row("no route: the send fails", {}, "255.255.255.255");
    }
    void senderDestination()
    {
        QFETCH(QStringList, setup);
        QFETCH(QString, host);
        QFETCH(QString, destination);
        const bool delivered = !setup.isEmpty();
        for (const QString& name : QStringList { "eth0", "wlan0", "ens3" })
            QCOMPARE(
                QNetworkInterface::interfaceFromName(name).isValid() ? ip("link del " + name) : QString(), QString());
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

    // The engine's ports reach its handlers, which reach data/recorder.qml's "stack", the engine's banner and, by
    // a sync, the engine's loading of the schedule anew. It binds the ports too: it comes after the listener tests.
    void engineWiring_data()
    {
        QTest::addColumn<int>("port");
        QTest::addColumn<QByteArray>("datagram");
        QTest::addColumn<QString>("calls");
        QTest::addColumn<QString>("banner");
        const QByteArray next = R"({"cmd":"player_next","id":"1","device_id":"A1"})";
        QTest::addRow("a command on 8000") << 8000 << next << "goToNextComposition" << shown("Next");
        QTest::addRow("a command on 9000 is no sync") << 9000 << next << "" << untouched;
        QTest::addRow("a sync on 9000 loads anew")
            << 9000 << QByteArray(R"({"action":"sync","host":"10.0.0.2","port":"80","deviceUid":"B2"})")
            << "load(http://10.0.0.2:80/ws/stream.php?action=get&device_uid=B2&startDate=2026-01-01 10.0.0.2:80)"
            << hidden;
        QTest::addRow("a sync on 8000 is no command")
            << 8000 << QByteArray(R"({"action":"syncingEnd"})") << "" << untouched;
    }
    void engineWiring()
    {
        QFETCH(int, port);
        QFETCH(QByteArray, datagram);
        QFETCH(QString, calls);
        QFETCH(QString, banner);
        if (!m_engine) {
            // player.ini is read from the working directory: the test's own.
            QVERIFY(QDir::setCurrent(qEnvironmentVariable("PLAYER_TEST_TMP")));
            ApplicationEngine::localScheduleFile = QDir::current().filePath("none.json");
            ApplicationEngine::sceneUrl = QUrl::fromLocalFile(UDP_TEST_DATA "/recorder.qml");
            m_engine = new ApplicationEngine;
            QVERIFY(!m_engine->rootObjects().isEmpty());
            QCOMPARE(takeCalls(m_engine->rootObjects().first()),
                QStringList { "load(http://:/ws/stream.php?action=get&device_uid= :)" });
            init();
        }
        qApp->setProperty("jsonFile", "/srv/s.json");
        qApp->setProperty("startDate", "2026-01-01");
        const long before = datagramsRead();
        QVERIFY(send(datagram, QHostAddress::LocalHost, QHostAddress::LocalHost, quint16(port)));
        // The handlers run inside the listener's read loop: they are done once it has read.
        QTRY_VERIFY(datagramsRead() > before);
        QCOMPARE(takeCalls(m_engine->rootObjects().first()).join(' '), calls);
        QCOMPARE(this->banner(m_engine->spinner(), m_engine->remoteCommands()->bannerTimer()), banner);
    }
};

const QString TestUdp::untouched = "shown|Before|busy|#04010203|#ff090909|images/alert.png|3000";
const QString TestUdp::hidden = "hidden||busy|#c8ffffff|#ff000000|-|off";
const QString TestUdp::syncing = "shown|Synchronizing...|busy|#c8ffffff|#ff000000|-|off";

QTEST_MAIN(TestUdp)
#include "tst_udp.moc"
