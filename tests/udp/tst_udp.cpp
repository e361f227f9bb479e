// The pieces of remote control, with real datagrams: what the listener passes on, where
// the status sender aims, what player-remote puts in its datagrams, and what the engine's
// command (port 8000) and sync (9000) handlers do, against data/recorder.qml, a scene
// that records what it is asked. Runs only inside isolate.sh --net: it deletes and
// creates interfaces.

#include "ApplicationEngine.h"
#include "IUdpListener.h"
#include "IUdpSender.h"
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
#include <QTest>
#include <QTimer>
#include <QUdpSocket>

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

// Datagrams the namespace has read so far (/proc/net/snmp's Udp InDatagrams).
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
    return lines.value(1).split(' ').value(lines.value(0).split(' ').indexOf("InDatagrams")).toLong();
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

class TestUdp : public QObject {
    Q_OBJECT

    static bool send(const QByteArray& bytes, const QHostAddress& to, const QHostAddress& from, quint16 port = 8000)
    {
        QUdpSocket socket;
        return socket.bind(from, 0) && socket.writeDatagram(bytes, to, port) == bytes.size();
    }

    ApplicationEngine* m_engine = nullptr;

    // The banner model and its time-out, in one line.
    QString banner() const
    {
        const Spinner* s = m_engine->spinner();
        const QTimer* t = m_engine->spinnerTimer();
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
    // What a datagram finds: a banner neither hidden nor in its default colours, its time-out
    // running; and the banner a handled datagram leaves when it shows nothing.
    static const QString untouched, hidden;

private slots:
    void initTestCase() { QVERIFY2(inPrivateNetworkNamespace(), "run through tests/isolate.sh --net"); }

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
    void init()
    {
        if (!m_engine)
            return;
        for (const char* name : { "host", "port", "deviceUid", "jsonFile", "startDate", "endDate" })
            qApp->setProperty(name, QVariant());
        QFile::remove("player.ini");
        Spinner* s = m_engine->spinner();
        s->show("Before");
        s->setColor(QColor(1, 2, 3, 4));
        s->setTextColor(QColor(9, 9, 9));
        s->setImageSource("images/alert.png");
        s->setImageVisible(true);
        m_engine->spinnerTimer()->start(3000);
    }

    void command_data()
    {
        QTest::addColumn<QVariant>("deviceUid"); // the player's; invalid: none
        QTest::addColumn<QByteArray>("datagram");
        QTest::addColumn<QString>("calls");
        QTest::addColumn<QString>("banner");

        auto row = [](const char* tag, const QByteArray& fields, const char* calls, const QString& banner,
                       const QVariant& device = QVariant()) {
            QTest::addRow("%s", tag) << device << "{\"id\":\"42\",\"device_id\":\"A1\"," + fields + "}" << calls
                                     << banner;
        };
        row("next", R"("cmd":"player_next")", "goToNextComposition", shown("Next"));
        row("pause", R"("cmd":"player_pause")", "pausePlayer", shown("Pause"));
        row("play a schedule given as a number: an empty string", R"("cmd":"player_play","schedule_id":42)",
            "playSchedule(string:)", hidden);
        row("notification without level: INFO", R"("cmd":"player_notification","text":"Hi")", "",
            shown("Hi", "4000", "#c8b8daff", "images/info.png"));
        row("notification WARNING", R"("cmd":"player_notification","text":"Wet","notification_level":"WARNING")", "",
            shown("Wet", "4000", "#c8ffeab5", "images/warning.png"));
        row("notification ALERT", R"("cmd":"player_notification","text":"","notification_level":"ALERT")", "",
            shown("", "4000", "#c8f5c6cb", "images/alert.png"));
        row("notification level in lower case",
            R"("cmd":"player_notification","text":"Hi","notification_level":"info")", "", hidden);
        row("notification without text", R"("cmd":"player_notification","notification_level":"ALERT")", "", hidden);
        row("an unknown player_ command only hides the banner", R"("cmd":"player_reboot")", "", hidden);
        // Ignored datagrams leave the banner and its time-out as they were (e2e_scene sends some for other devices).
        row("an empty identifier still filters", R"("cmd":"player_next")", "", untouched, "");
        row("the prefix is case-sensitive", R"("cmd":"Player_next")", "", untouched);
        QTest::addRow("without id") << QVariant() << QByteArray(R"({"cmd":"player_next","device_id":""})") << ""
                                    << untouched;
    }
    void command()
    {
        QFETCH(QVariant, deviceUid);
        QFETCH(QByteArray, datagram);
        QFETCH(QString, calls);
        QFETCH(QString, banner);
        qApp->setProperty("deviceUid", deviceUid);
        QVERIFY(deliver(datagram, 8000));
        QCOMPARE(takeCalls().join(' '), calls);
        QCOMPARE(this->banner(), banner);
    }

    void sync_data()
    {
        QTest::addColumn<QByteArray>("datagram");
        QTest::addColumn<QString>("ini"); // host and port in player.ini
        QTest::addColumn<QString>("calls");
        QTest::addColumn<QString>("banner");

        const QString get = "/ws/stream.php?action=get&device_uid=";
        QTest::addRow("host, port and device; the schedule file is dropped")
            << QByteArray(R"({"action":"sync","host":"10.0.0.2","port":"80","deviceUid":"B2"})") << ""
            << "load(http://10.0.0.2:80" + get + "B2&startDate=2026-01-01 10.0.0.2:80)" << hidden;
        QTest::addRow("a port as a number or not decimal leaves the port")
            << QByteArray(R"({"action":"sync","host":"h","port":8080,"deviceUid":12})") << ""
            << "load(http://h:81" + get + "&startDate=2026-01-01 h:81)" << hidden;
        QTest::addRow("sync alone: the settings file's host")
            << QByteArray(R"({"action":"sync","port":"8x"})") << "srv"
            << "load(http://srv:81" + get + "&startDate=2026-01-01 srv:81)" << hidden;
        QTest::addRow("syncing") << QByteArray(R"({"action":"syncing"})") << ""
                                 << ""
                                 << "shown|Synchronizing...|busy|#c8ffffff|#ff000000|-|off";
        QTest::addRow("an unknown action only hides the banner") << QByteArray(R"({"action":"reboot"})") << ""
                                                                 << "" << hidden;
        QTest::addRow("without action it is ignored") << QByteArray(R"({"host":"h"})") << ""
                                                      << "" << untouched;
    }
    void sync()
    {
        QFETCH(QByteArray, datagram);
        QFETCH(QString, ini);
        QFETCH(QString, calls);
        QFETCH(QString, banner);
        qApp->setProperty("port", "81");
        qApp->setProperty("jsonFile", "/srv/s.json");
        qApp->setProperty("startDate", "2026-01-01");
        if (!ini.isEmpty())
            QSettings("player.ini", QSettings::IniFormat).setValue("json/host", ini);
        QVERIFY(deliver(datagram, 9000));
        QCOMPARE(takeCalls().join(' '), calls);
        QCOMPARE(this->banner(), banner);
    }
};

const QString TestUdp::untouched = "shown|Before|busy|#04010203|#ff090909|images/alert.png|3000";
const QString TestUdp::hidden = "hidden||busy|#c8ffffff|#ff000000|-|off";

QTEST_MAIN(TestUdp)
#include "tst_udp.moc"
