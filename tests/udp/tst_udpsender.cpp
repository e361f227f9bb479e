#include "IUdpSender.h"
#include "udptestsupport.h"

#include <QNetworkDatagram>
#include <QNetworkInterface>
#include <QTest>
#include <QUdpSocket>

// Where status datagrams go: the broadcast address comes from eth0 or wlan0, which
// each row builds afresh in the private namespace; a datagram must arrive on 8001.
class TestUdpSender : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void resolvesDestination_data();
    void resolvesDestination();

private:
    void removeInterfaces();
};

static const QStringList testInterfaces { "eth0", "wlan0", "ens3" };

void TestUdpSender::initTestCase()
{
    // Interfaces are deleted and created below: never anywhere but in a namespace of our own.
    QVERIFY2(udptest::inPrivateNetworkNamespace(), "run through tests/isolate.sh --net");
    removeInterfaces();
}

void TestUdpSender::cleanup()
{
    removeInterfaces();
}

void TestUdpSender::removeInterfaces()
{
    // /sys shows the machine's interfaces, not this namespace's: ask the namespace itself.
    for (const QString& name : testInterfaces) {
        if (QNetworkInterface::interfaceFromName(name).isValid())
            QCOMPARE(udptest::ip({ "link", "del", name }), QString());
    }
}

// One ip command per entry, its words separated by spaces; "veth NAME" makes a
// veth pair NAME/NAME-peer with both ends up.
using Setup = QStringList;

void TestUdpSender::resolvesDestination_data()
{
    QTest::addColumn<Setup>("setup");
    QTest::addColumn<QString>("host");
    QTest::addColumn<QString>("destination");
    QTest::addColumn<bool>("delivered");

    const QString eth0v4 = "addr add 10.99.0.1/24 brd 10.99.0.255 dev eth0";
    const QString wlan0v4 = "addr add 10.98.0.1/24 brd 10.98.0.255 dev wlan0";
    // Without eth0 or wlan0, the limited broadcast leaves through the default route.
    const Setup otherRoute { "veth ens3", "addr add 10.97.0.1/24 brd 10.97.0.255 dev ens3", "route add default dev ens3" };

    QTest::addRow("eth0 only") << Setup { "veth eth0", eth0v4 } << "*" << "10.99.0.255" << true;
    QTest::addRow("eth0 and wlan0: eth0 wins")
        << Setup { "veth wlan0", wlan0v4, "veth eth0", eth0v4 } << "*" << "10.99.0.255" << true;
    QTest::addRow("neither: limited broadcast") << otherRoute << "*" << "255.255.255.255" << true;
    QTest::addRow("IPv6-only eth0 counts as none, wlan0 takes over")
        << Setup { "veth eth0", "-6 addr add 2001:db8::1/64 dev eth0 nodad", "veth wlan0", wlan0v4 } << "*"
        << "10.98.0.255" << true;
    QTest::addRow("eth0 without any address counts as none")
        << Setup { "veth eth0", "veth wlan0", wlan0v4 } << "*" << "10.98.0.255" << true;
    QTest::addRow("a host other than * is used verbatim")
        << Setup { "veth eth0", eth0v4 } << "127.0.0.1" << "127.0.0.1" << true;
    QTest::addRow("neither and no route: the send fails") << Setup {} << "*" << "255.255.255.255" << false;
}

void TestUdpSender::resolvesDestination()
{
    QFETCH(Setup, setup);
    QFETCH(QString, host);
    QFETCH(QString, destination);
    QFETCH(bool, delivered);

    for (const QString& command : setup) {
        const QStringList words = command.split(QLatin1Char(' '));
        if (words.first() == QLatin1String("veth")) {
            const QString name = words.at(1);
            QCOMPARE(udptest::ip({ "link", "add", name, "type", "veth", "peer", "name", name + "-peer" }), QString());
            QCOMPARE(udptest::ip({ "link", "set", name, "up" }), QString());
            QCOMPARE(udptest::ip({ "link", "set", name + "-peer", "up" }), QString());
        } else {
            QCOMPARE(udptest::ip(words), QString());
        }
    }

    QUdpSocket receiver;
    QVERIFY(receiver.bind(QHostAddress::AnyIPv4, 8001, QUdpSocket::ShareAddress));

    IUdpSender sender(host, 8001);
    QCOMPARE(sender.getHost(), destination);
    QCOMPARE(sender.getPort(), quint16(8001));
    QVERIFY(!sender.isConnected());
    QVERIFY(sender.connect());
    QVERIFY(sender.isConnected());

    const QString message = QString::fromUtf8("{\"cmd\":\"player_is_paused\",\"id\":\"auto\",\"device_id\":\"\xc3\xa9" "cran-1\"}");
    QCOMPARE(sender.sendMessage(message), delivered);
    if (!delivered) {
        QVERIFY(!receiver.waitForReadyRead(200));
        return;
    }

    QTRY_VERIFY_WITH_TIMEOUT(receiver.hasPendingDatagrams(), 5000);
    const QNetworkDatagram datagram = receiver.receiveDatagram();
    QCOMPARE(datagram.data(), message.toUtf8());
    QCOMPARE(datagram.destinationAddress().toString(), destination);
    QCOMPARE(datagram.destinationPort(), 8001);
    QVERIFY(!receiver.hasPendingDatagrams());
}

QTEST_GUILESS_MAIN(TestUdpSender)
#include "tst_udpsender.moc"
