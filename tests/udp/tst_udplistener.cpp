#include "IUdpListener.h"
#include "udptestsupport.h"

#include <QNetworkDatagram>
#include <QSignalSpy>
#include <QTest>
#include <QUdpSocket>

// The listener's framing: which datagrams reach dataReceived(), with what text, in
// what order, and that one bad datagram never holds up the ones behind it.
class TestUdpListener : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();

    void framing_data();
    void framing();
    void senderFilter_data();
    void senderFilter();
    void portText_data();
    void portText();

private:
    static QUdpSocket* socketOf(IUdpListener& listener) { return listener.findChild<QUdpSocket*>(); }
    static bool send(const QByteArray& bytes, quint16 port, const QHostAddress& to = QHostAddress::LocalHost,
        const QHostAddress& from = QHostAddress());
};

// Sent behind the probe: once it is emitted, the probe has been dealt with.
static const QByteArray sentinel = "{\"sentinel\":true}";

void TestUdpListener::initTestCase()
{
    QVERIFY2(udptest::inPrivateNetworkNamespace(), "run through tests/isolate.sh --net");
}

bool TestUdpListener::send(const QByteArray& bytes, quint16 port, const QHostAddress& to, const QHostAddress& from)
{
    QUdpSocket socket;
    if (!from.isNull() && !socket.bind(from, 0))
        return false;
    return socket.writeDatagram(bytes, to, port) == bytes.size();
}

// Each row queues its datagrams without letting the event loop run, then drains once
// by hand: whatever one pass leaves behind would otherwise wait for the next datagram.
void TestUdpListener::framing_data()
{
    using Datagrams = QList<QByteArray>;
    QTest::addColumn<Datagrams>("datagrams");
    QTest::addColumn<QStringList>("emitted");

    QTest::addRow("white space around an object is kept") << Datagrams { " {\"a\":1}\n" } << QStringList { " {\"a\":1}\n" };
    QTest::addRow("a JSON array is dropped") << Datagrams { "[{\"a\":1}]" } << QStringList {};
    QTest::addRow("a zero byte cuts trailing garbage")
        << Datagrams { QByteArray("{\"a\":1}\0garbage{{", 17) } << QStringList { "{\"a\":1}" };
    const QString utf8 = QString::fromUtf8("{\"text\":\"Gr\xc3\xbc\xc3\x9f" "e \xe2\x9c\x93\"}");
    QTest::addRow("UTF-8 text arrives decoded") << Datagrams { utf8.toUtf8() } << QStringList { utf8 };
    // The largest payload one IPv4 datagram can carry.
    const QByteArray big = "{\"text\":\"" + QByteArray(65507 - 11, 'x') + "\"}";
    QTest::addRow("a 64 KiB object is emitted whole") << Datagrams { big } << QStringList { QString::fromLatin1(big) };
    QTest::addRow("three objects in arrival order") << Datagrams { "{\"n\":1}", "{\"n\":2}", "{\"n\":3}" }
                                                    << QStringList { "{\"n\":1}", "{\"n\":2}", "{\"n\":3}" };
    QTest::addRow("plain text between two objects")
        << Datagrams { "{\"n\":1}", "not json", "{\"n\":2}" } << QStringList { "{\"n\":1}", "{\"n\":2}" };
    QTest::addRow("an empty datagram between two objects")
        << Datagrams { "{\"n\":1}", "", "{\"n\":2}" } << QStringList { "{\"n\":1}", "{\"n\":2}" };
}

void TestUdpListener::framing()
{
    QFETCH(QList<QByteArray>, datagrams);
    QFETCH(QStringList, emitted);

    IUdpListener listener(QStringLiteral("*"), QStringLiteral("8000"));
    listener.generate();
    QUdpSocket* socket = socketOf(listener);
    QVERIFY(socket);
    QSignalSpy spy(&listener, &IUdpListener::dataReceived);

    const long readBefore = udptest::datagramsRead();
    for (const QByteArray& datagram : datagrams)
        QVERIFY(send(datagram, 8000));
    QVERIFY(socket->hasPendingDatagrams());
    listener.processPendingDatagrams();

    QCOMPARE(udptest::datagramsRead() - readBefore, long(datagrams.size()));
    QVERIFY(!socket->hasPendingDatagrams());
    QStringList texts;
    for (const QList<QVariant>& arguments : spy)
        texts << arguments.at(0).toString();
    QCOMPARE(texts, emitted);
}

void TestUdpListener::senderFilter_data()
{
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QString>("from");
    QTest::addColumn<QString>("to");
    QTest::addColumn<bool>("accepted");

    QTest::addRow("another loopback sender with *") << "*" << "127.0.0.2" << "127.0.0.1" << true;
    QTest::addRow("an empty filter means *") << "" << "127.0.0.2" << "127.0.0.1" << true;
    QTest::addRow("a broadcast on eth0 with *") << "*" << "10.99.0.1" << "10.99.0.255" << true;
    QTest::addRow("the named sender") << "127.0.0.2" << "127.0.0.2" << "127.0.0.1" << true;
    QTest::addRow("a sender other than the named one") << "127.0.0.2" << "127.0.0.1" << "127.0.0.1" << false;
}

void TestUdpListener::senderFilter()
{
    QFETCH(QString, filter);
    QFETCH(QString, from);
    QFETCH(QString, to);
    QFETCH(bool, accepted);

    IUdpListener listener(filter, QStringLiteral("8000"));
    QCOMPARE(listener.host(), filter.isEmpty() ? QStringLiteral("*") : filter);
    listener.generate();
    QSignalSpy spy(&listener, &IUdpListener::dataReceived);

    QVERIFY(send("{\"probe\":1}", 8000, QHostAddress(to), QHostAddress(from)));
    // The sentinel comes from the filter's own address, so it always passes.
    const QString sentinelFrom = filter.isEmpty() || filter == QLatin1String("*") ? from : filter;
    QVERIFY(send(sentinel, 8000, QHostAddress::LocalHost, QHostAddress(sentinelFrom)));
    QTRY_VERIFY_WITH_TIMEOUT(!spy.isEmpty() && spy.last().at(0).toString() == QLatin1String(sentinel), 5000);

    QCOMPARE(spy.size(), accepted ? 2 : 1);
    if (accepted)
        QCOMPARE(spy.first().at(0).toString(), QStringLiteral("{\"probe\":1}"));
}

void TestUdpListener::portText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("port");
    QTest::addColumn<int>("boundPort"); // -1: any free port

    QTest::addRow("decimal digits") << "9000" << 9000 << 9000;
    QTest::addRow("hexadecimal is not read") << "0x1F40" << 0 << -1;
    QTest::addRow("only the low 16 bits are bound") << "74536" << 74536 << 74536 - 65536;
}

void TestUdpListener::portText()
{
    QFETCH(QString, text);
    QFETCH(int, port);
    QFETCH(int, boundPort);

    IUdpListener listener(QStringLiteral("*"), text);
    QCOMPARE(listener.port(), port);
    QVERIFY(!socketOf(listener));
    listener.generate();
    QUdpSocket* socket = socketOf(listener);
    QVERIFY(socket);
    QCOMPARE(socket->state(), QAbstractSocket::BoundState);
    if (boundPort >= 0)
        QCOMPARE(int(socket->localPort()), boundPort);
    else
        QVERIFY(socket->localPort() != 0);
}

QTEST_GUILESS_MAIN(TestUdpListener)
#include "tst_udplistener.moc"
