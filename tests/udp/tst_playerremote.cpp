#include "remoterequest.h"
#include "udptestsupport.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkDatagram>
#include <QProcess>
#include <QScopeGuard>
#include <QTest>
#include <QUdpSocket>

using remote::Action;

// player-remote: the datagram each command line builds, then the real tool sending
// and listening for status datagrams in the test's namespace.
class TestPlayerRemote : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();

    void parse_data();
    void parse();
    void badArguments_data();
    void badArguments();
    void statusLine_data();
    void statusLine();

    void toolSends_data();
    void toolSends();
    void toolNeedsARouteForTheDefaultAddress();
    void toolListenTimesOut();
    void toolHelpAndErrors_data();
    void toolHelpAndErrors();

private:
    static bool start(QProcess& process, const QStringList& arguments);
};

static QJsonObject object(const QByteArray& json)
{
    return QJsonDocument::fromJson(json).object();
}

void TestPlayerRemote::initTestCase()
{
    QVERIFY2(udptest::inPrivateNetworkNamespace(), "run through tests/isolate.sh --net");
}

void TestPlayerRemote::parse_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("address");
    QTest::addColumn<QJsonObject>("datagram");

    const QString everyone = QStringLiteral("255.255.255.255");
    auto cmd = [](const char* name, const char* device = "", const char* id = "ID-1") {
        return QJsonObject { { "cmd", name }, { "id", id }, { "device_id", device } };
    };
    auto with = [](QJsonObject object, const char* key, const QJsonValue& value) {
        object.insert(key, value);
        return object;
    };

    QTest::addRow("next goes to every player by default") << QStringList { "next" } << 8000 << everyone
                                                          << cmd("player_next");
    QTest::addRow("previous to one device at one address")
        << QStringList { "previous", "--device", "A1", "--to", "10.99.0.7" } << 8000 << "10.99.0.7"
        << cmd("player_previous", "A1");
    QTest::addRow("options before the command, values after =")
        << QStringList { "--to=127.0.0.1", "--device=A1", "pause" } << 8000 << "127.0.0.1"
        << cmd("player_pause", "A1");
    QTest::addRow("resume with an id of one's own") << QStringList { "resume", "--id", "r-7" } << 8000 << everyone
                                                    << cmd("player_resume", "", "r-7");
    QTest::addRow("play without a schedule plays the default") << QStringList { "play" } << 8000 << everyone
                                                                << cmd("player_play");
    QTest::addRow("play a schedule") << QStringList { "play", "--schedule", "S-42" } << 8000 << everyone
                                     << with(cmd("player_play"), "schedule_id", "S-42");
    QTest::addRow("notify without a level leaves the level out")
        << QStringList { "notify", "Doors close" } << 8000 << everyone
        << with(cmd("player_notification"), "text", "Doors close");
    QTest::addRow("a lower-case level is sent in capitals")
        << QStringList { "notify", "--level=alert", "Fire" } << 8000 << everyone
        << with(with(cmd("player_notification"), "text", "Fire"), "notification_level", "ALERT");
    QTest::addRow("a text that begins with dashes after --")
        << QStringList { "notify", "--", "--> exit" } << 8000 << everyone
        << with(cmd("player_notification"), "text", "--> exit");
    QTest::addRow("sync alone sends only the action") << QStringList { "sync" } << 9000 << everyone
                                                      << QJsonObject { { "action", "sync" } };
    QTest::addRow("sync with host, port as a string, device")
        << QStringList { "sync", "--host", "10.0.0.2", "--port", "8080", "--device", "A1" } << 9000 << everyone
        << QJsonObject { { "action", "sync" }, { "host", "10.0.0.2" }, { "port", "8080" }, { "deviceUid", "A1" } };
    QTest::addRow("sync with an empty device keeps the key")
        << QStringList { "sync", "--device=" } << 9000 << everyone << QJsonObject { { "action", "sync" }, { "deviceUid", "" } };
    QTest::addRow("syncing") << QStringList { "syncing", "--to", "10.99.0.255" } << 9000 << "10.99.0.255"
                             << QJsonObject { { "action", "syncing" } };
    QTest::addRow("syncing-end") << QStringList { "syncing-end" } << 9000 << everyone
                                 << QJsonObject { { "action", "syncingEnd" } };
}

void TestPlayerRemote::parse()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, port);
    QFETCH(QString, address);
    QFETCH(QJsonObject, datagram);

    const remote::Request request = remote::parse(arguments, QStringLiteral("ID-1"));
    QCOMPARE(request.error, QString());
    QCOMPARE(request.action, Action::Send);
    QCOMPARE(int(request.port), port);
    QCOMPARE(request.address, QHostAddress(address));
    QCOMPARE(object(request.datagram), datagram);
    QCOMPARE(request.datagram, QJsonDocument(datagram).toJson(QJsonDocument::Compact));
}

void TestPlayerRemote::badArguments_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("error");

    QTest::addRow("an unknown command") << QStringList { "jump" } << "unknown command \"jump\"";
    QTest::addRow("an unknown option") << QStringList { "--frobnicate", "next" } << "unknown option --frobnicate";
    QTest::addRow("an option of another command") << QStringList { "next", "--schedule", "S" }
                                                  << "--schedule does not apply to next";
    QTest::addRow("an option without its value") << QStringList { "next", "--to" } << "--to needs a value";
    QTest::addRow("an option twice") << QStringList { "next", "--device", "A", "--device", "B" }
                                     << "--device given twice";
    QTest::addRow("notify without text") << QStringList { "notify", "--level", "INFO" } << "notify needs the banner text";
    QTest::addRow("a stray argument") << QStringList { "next", "now" } << "unexpected argument \"now\"";
    QTest::addRow("a host name for --to") << QStringList { "next", "--to", "screen.local" }
                                          << "--to wants an IP address, not \"screen.local\"";
    QTest::addRow("port 0") << QStringList { "sync", "--port", "0" } << "--port wants a port number, not \"0\"";
    QTest::addRow("a port above 65535") << QStringList { "sync", "--port", "65536" }
                                        << "--port wants a port number, not \"65536\"";
    QTest::addRow("a signed port") << QStringList { "sync", "--port", "+80" } << "--port wants a port number, not \"+80\"";
    QTest::addRow("a count of 0") << QStringList { "listen", "--count", "0" }
                                  << "--count wants a whole number above 0, not \"0\"";
    QTest::addRow("a negative time-out") << QStringList { "listen", "--timeout", "-1" }
                                         << "--timeout wants a number of seconds above 0, not \"-1\"";
}

void TestPlayerRemote::badArguments()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, error);
    const remote::Request request = remote::parse(arguments, QStringLiteral("ID-1"));
    QCOMPARE(request.error, error);
    QVERIFY(request.datagram.isEmpty());
}

void TestPlayerRemote::statusLine_data()
{
    QTest::addColumn<QByteArray>("datagram");
    QTest::addColumn<QString>("sender");
    QTest::addColumn<QJsonObject>("line");

    // A status datagram nested whole is checked end to end.
    QTest::addRow("an IPv4-mapped sender is written plainly")
        << QByteArray(R"({"cmd":"player_is_paused"})") << "::ffff:10.99.0.1"
        << QJsonObject { { "from", "10.99.0.1" }, { "port", 4321 }, { "message", QJsonObject { { "cmd", "player_is_paused" } } } };
    QTest::addRow("anything else is kept as text")
        << QByteArray("hello\n") << "10.98.0.1" << QJsonObject { { "from", "10.98.0.1" }, { "port", 4321 }, { "text", "hello\n" } };
}

void TestPlayerRemote::statusLine()
{
    QFETCH(QByteArray, datagram);
    QFETCH(QString, sender);
    QFETCH(QJsonObject, line);
    const QByteArray text = remote::statusLine(datagram, QHostAddress(sender), 4321);
    QVERIFY(!text.contains('\n'));
    QCOMPARE(object(text), line);
}

bool TestPlayerRemote::start(QProcess& process, const QStringList& arguments)
{
    process.start(QStringLiteral(PLAYER_REMOTE_EXE), arguments);
    return process.waitForStarted(5000);
}

void TestPlayerRemote::toolSends_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("destination");
    QTest::addColumn<int>("port");
    QTest::addColumn<QJsonObject>("datagram");

    QTest::addRow("next to the player's address")
        << QStringList { "next", "--to", "127.0.0.1", "--device", "A1", "--id", "n1" } << "127.0.0.1" << 8000
        << QJsonObject { { "cmd", "player_next" }, { "id", "n1" }, { "device_id", "A1" } };
    QTest::addRow("notify to the eth0 broadcast address")
        << QStringList { "notify", "Fire", "--level", "ALERT", "--to", "10.99.0.255", "--id", "f1" } << "10.99.0.255"
        << 8000
        << QJsonObject { { "cmd", "player_notification" }, { "id", "f1" }, { "device_id", "" }, { "text", "Fire" },
               { "notification_level", "ALERT" } };
    QTest::addRow("sync to the player's address")
        << QStringList { "sync", "--to", "127.0.0.1", "--host", "h", "--port", "80" } << "127.0.0.1" << 9000
        << QJsonObject { { "action", "sync" }, { "host", "h" }, { "port", "80" } };
}

void TestPlayerRemote::toolSends()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, destination);
    QFETCH(int, port);
    QFETCH(QJsonObject, datagram);

    QUdpSocket receiver;
    QVERIFY(receiver.bind(QHostAddress::AnyIPv4, quint16(port), QUdpSocket::ShareAddress));
    QProcess tool;
    QVERIFY(start(tool, arguments));
    QVERIFY(tool.waitForFinished(5000));
    QCOMPARE(tool.exitCode(), 0);
    const QByteArray sent = QJsonDocument(datagram).toJson(QJsonDocument::Compact);
    QCOMPARE(tool.readAllStandardOutput(), QStringLiteral("sent to %1:%2: ").arg(destination).arg(port).toUtf8() + sent + '\n');

    QTRY_VERIFY_WITH_TIMEOUT(receiver.hasPendingDatagrams(), 5000);
    const QNetworkDatagram received = receiver.receiveDatagram();
    QCOMPARE(received.data(), sent);
    QCOMPARE(received.destinationAddress(), QHostAddress(destination));
}

// 255.255.255.255 leaves through the default route; without one the tool says so.
void TestPlayerRemote::toolNeedsARouteForTheDefaultAddress()
{
    QUdpSocket receiver;
    QVERIFY(receiver.bind(QHostAddress::AnyIPv4, 8000, QUdpSocket::ShareAddress));

    QProcess unrouted;
    QVERIFY(start(unrouted, { "pause" }));
    QVERIFY(unrouted.waitForFinished(5000));
    QCOMPARE(unrouted.exitCode(), 1);
    QVERIFY2(unrouted.readAllStandardError().startsWith("player-remote: could not send to 255.255.255.255:8000: "),
        "no clear message");

    QCOMPARE(udptest::ip({ "route", "add", "default", "dev", "eth0" }), QString());
    auto removeRoute = qScopeGuard([] { udptest::ip({ "route", "del", "default", "dev", "eth0" }); });
    QProcess routed;
    QVERIFY(start(routed, { "pause", "--id", "p1" }));
    QVERIFY(routed.waitForFinished(5000));
    QCOMPARE(routed.exitCode(), 0);
    QTRY_VERIFY_WITH_TIMEOUT(receiver.hasPendingDatagrams(), 5000);
    const QNetworkDatagram received = receiver.receiveDatagram();
    QCOMPARE(object(received.data()), (QJsonObject { { "cmd", "player_pause" }, { "id", "p1" }, { "device_id", "" } }));
    QCOMPARE(received.destinationAddress(), QHostAddress(QStringLiteral("255.255.255.255")));
}

// The output of listen with status datagrams is checked end to end, beside the player.
void TestPlayerRemote::toolListenTimesOut()
{
    QProcess tool;
    QVERIFY(start(tool, { "listen", "--count", "2", "--timeout", "0.5" }));
    QByteArray errors;
    QTRY_VERIFY_WITH_TIMEOUT((errors += tool.readAllStandardError()).contains("listening on UDP port 8001"), 5000);
    QUdpSocket socket;
    QVERIFY(socket.writeDatagram("not json", QHostAddress(QStringLiteral("10.99.0.255")), 8001) > 0);

    QVERIFY(tool.waitForFinished(5000));
    QCOMPARE(tool.exitCode(), 1);
    QCOMPARE(tool.readAllStandardError(), QByteArray("player-remote: 1 of 2 status datagrams before the time-out\n"));
    const QJsonObject line = object(tool.readAllStandardOutput().trimmed());
    QCOMPARE(line.value("text").toString(), QStringLiteral("not json"));
}

void TestPlayerRemote::toolHelpAndErrors_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("output");
    QTest::addColumn<QByteArray>("errors");

    QTest::addRow("--help") << QStringList { "--help" } << 0 << QByteArray("Usage: player-remote [--to ADDRESS] COMMAND")
                            << QByteArray();
    QTest::addRow("no arguments") << QStringList {} << 2 << QByteArray()
                                  << QByteArray("player-remote: no command given\nTry \"player-remote --help\".\n");
    QTest::addRow("a bad level") << QStringList { "notify", "x", "--level", "LOUD" } << 2 << QByteArray()
                                 << QByteArray("player-remote: --level wants INFO, WARNING or ALERT, not \"LOUD\"\n");
}

void TestPlayerRemote::toolHelpAndErrors()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QByteArray, output);
    QFETCH(QByteArray, errors);

    QProcess tool;
    QVERIFY(start(tool, arguments));
    QVERIFY(tool.waitForFinished(5000));
    QCOMPARE(tool.exitStatus(), QProcess::NormalExit);
    QCOMPARE(tool.exitCode(), status);
    const QByteArray out = tool.readAllStandardOutput();
    const QByteArray err = tool.readAllStandardError();
    QVERIFY2(output.isEmpty() ? out.isEmpty() : out.startsWith(output), out.constData());
    QVERIFY2(errors.isEmpty() ? err.isEmpty() : err.startsWith(errors), err.constData());
}

QTEST_GUILESS_MAIN(TestPlayerRemote)
#include "tst_playerremote.moc"
