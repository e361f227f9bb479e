#include "IUdpListener.h"
#include "udptestsupport.h"

#include <QNetworkDatagram>
#include <QSignalSpy>
#include <QTest>
#include <QUdpSocket>

// The listener's framing: which datagrams reach dataReceived(), with what text,
// in what order, and that one bad datagram never holds up the ones behind it.
class TestUdpListener : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();

    void framing_data();
    void framing();
    void drainsQueueInOnePass_data();
    void drainsQueueInOnePass();
    void senderFilter_data();
    void senderFilter();
    void portText_data();
    void portText();

private:
    static QUdpSocket* socketOf(IUdpListener& listener) { return listener.findChild<QUdpSocket*>(); }
    static bool send(const QByteArray& bytes, quint16 port, const QHostAddress& to = QHostAddress::LocalHost,
        const QHostAddress& from = QHostAddress());
};

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

void TestUdpListener::framing_data()
{
    QTest::addColumn<QByteArray>("datagram");
    QTest::addColumn<QStringList>("emitted");

    QTest::addRow("a JSON object is emitted as sent") << QByteArray("{\"cmd\":\"player_next\"}")
                                                      << QStringList { "{\"cmd\":\"player_next\"}" };
    QTest::addRow("an empty object is emitted") << QByteArray("{}") << QStringList { "{}" };
    QTest::addRow("white space around an object is kept") << QByteArray(" {\"a\":1}\n") << QStringList { " {\"a\":1}\n" };
    QTest::addRow("a JSON array is dropped") << QByteArray("[{\"a\":1}]") << QStringList {};
    QTest::addRow("a bare string is dropped") << QByteArray("\"player_next\"") << QStringList {};
    QTest::addRow("a bare number is dropped") << QByteArray("42") << QStringList {};
    QTest::addRow("JSON null is dropped") << QByteArray("null") << QStringList {};
    QTest::addRow("plain text is dropped") << QByteArray("player_next") << QStringList {};
    QTest::addRow("an unfinished object is dropped") << QByteArray("{\"a\":") << QStringList {};
    QTest::addRow("an empty datagram is dropped") << QByteArray() << QStringList {};
    QTest::addRow("a zero byte cuts trailing garbage")
        << QByteArray("{\"a\":1}\0garbage{{", 17) << QStringList { "{\"a\":1}" };
    QTest::addRow("a zero byte cuts a second object")
        << QByteArray("{\"a\":1}\0{\"b\":2}", 15) << QStringList { "{\"a\":1}" };
    QTest::addRow("a leading zero byte leaves nothing") << QByteArray("\0{\"a\":1}", 8) << QStringList {};
    QTest::addRow("UTF-8 text arrives decoded")
        << QString::fromUtf8("{\"text\":\"Gr\xc3\xbc\xc3\x9f" "e \xe2\x9c\x93\"}").toUtf8()
        << QStringList { QString::fromUtf8("{\"text\":\"Gr\xc3\xbc\xc3\x9f" "e \xe2\x9c\x93\"}") };

    // The largest payload one IPv4 datagram can carry.
    QByteArray big = "{\"text\":\"" + QByteArray(65507 - 11, 'x') + "\"}";
    QTest::addRow("a 64 KiB object is emitted whole") << big << QStringList { QString::fromLatin1(big) };
    QByteArray bigText = QByteArray(65507, 'y');
    QTest::addRow("64 KiB of plain text is dropped") << bigText << QStringList {};
}

void TestUdpListener::framing()
{
    QFETCH(QByteArray, datagram);
    QFETCH(QStringList, emitted);

    IUdpListener listener(QStringLiteral("*"), QStringLiteral("8000"));
    listener.generate();
    QSignalSpy spy(&listener, &IUdpListener::dataReceived);

    // The sentinel behind the datagram tells when the datagram has been dealt with.
    QVERIFY(send(datagram, 8000));
    QVERIFY(send(sentinel, 8000));
    QTRY_VERIFY_WITH_TIMEOUT(!spy.isEmpty() && spy.last().at(0).toString() == QLatin1String(sentinel), 5000);

    QStringList texts;
    for (const QList<QVariant>& arguments : spy)
        texts << arguments.at(0).toString();
    texts.removeLast();
    QCOMPARE(texts, emitted);
}

void TestUdpListener::drainsQueueInOnePass_data()
{
    QTest::addColumn<QList<QByteArray>>("datagrams");
    QTest::addColumn<QStringList>("emitted");

    QTest::addRow("three objects in arrival order")
        << QList<QByteArray> { "{\"n\":1}", "{\"n\":2}", "{\"n\":3}" }
        << QStringList { "{\"n\":1}", "{\"n\":2}", "{\"n\":3}" };
    QTest::addRow("plain text between two objects")
        << QList<QByteArray> { "{\"n\":1}", "not json", "{\"n\":2}" } << QStringList { "{\"n\":1}", "{\"n\":2}" };
    QTest::addRow("an array between two objects")
        << QList<QByteArray> { "{\"n\":1}", "[1,2]", "{\"n\":2}" } << QStringList { "{\"n\":1}", "{\"n\":2}" };
    QTest::addRow("an empty datagram between two objects")
        << QList<QByteArray> { "{\"n\":1}", "", "{\"n\":2}" } << QStringList { "{\"n\":1}", "{\"n\":2}" };
    QTest::addRow("bad datagrams first")
        << QList<QByteArray> { "x", "[]", "{\"n\":1}" } << QStringList { "{\"n\":1}" };
    QTest::addRow("only bad datagrams") << QList<QByteArray> { "x", "[]", "7" } << QStringList {};
}

void TestUdpListener::drainsQueueInOnePass()
{
    QFETCH(QList<QByteArray>, datagrams);
    QFETCH(QStringList, emitted);

    IUdpListener listener(QStringLiteral("*"), QStringLiteral("8000"));
    listener.generate();
    QUdpSocket* socket = socketOf(listener);
    QVERIFY(socket);
    QSignalSpy spy(&listener, &IUdpListener::dataReceived);

    // Queue everything without letting the event loop run, then drain once by hand:
    // whatever one pass leaves behind would otherwise wait for the next datagram.
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

    QTest::addRow("any sender with *") << "*" << "127.0.0.1" << "127.0.0.1" << true;
    QTest::addRow("another loopback sender with *") << "*" << "127.0.0.2" << "127.0.0.1" << true;
    QTest::addRow("an empty filter means *") << "" << "127.0.0.2" << "127.0.0.1" << true;
    QTest::addRow("a broadcast on eth0 with *") << "*" << "10.99.0.1" << "10.99.0.255" << true;
    QTest::addRow("the named sender") << "127.0.0.2" << "127.0.0.2" << "127.0.0.1" << true;
    QTest::addRow("a sender other than the named one") << "127.0.0.2" << "127.0.0.1" << "127.0.0.1" << false;
    QTest::addRow("a broadcast from another address") << "127.0.0.2" << "10.99.0.1" << "10.99.0.255" << false;
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
    QTest::addColumn<int>("boundPort");

    QTest::addRow("decimal digits") << "9000" << 9000 << 9000;
    QTest::addRow("not a number binds any free port") << "nine" << 0 << -1;
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
