#include "enginefixture.h"

#include <QDir>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QTest>

using udptest::Transport;

// Thousands of datagrams, malformed and valid, up to the largest a datagram can be:
// the engine must neither crash nor stall, and carry out every valid command in order.
class TestUdpFlood : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void pacedFlood();
    void unpacedBurst();

private:
    struct Datagram {
        QByteArray bytes;
        quint16 port = 8000;
        QString expectedCall; // empty when the scene must not be called
        bool expectedLoad = false;
    };
    Datagram next(QRandomGenerator& random, int index) const;
    static bool send(const Datagram& datagram);
    udptest::EngineFixture m_scene;
};

static const char device[] = "FLOOD";

static QByteArray compact(const QJsonObject& object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

static QByteArray randomBytes(QRandomGenerator& random, int size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (char& byte : bytes)
        byte = char(random.bounded(256));
    return bytes;
}

void TestUdpFlood::initTestCase()
{
    QVERIFY2(udptest::inPrivateNetworkNamespace(), "run through tests/isolate.sh --net");
    QVERIFY(QDir::setCurrent(qEnvironmentVariable("PLAYER_TEST_TMP")));
    QVERIFY(m_scene.start(QStringLiteral(UDP_TEST_DATA "/recorder.qml")));
}

void TestUdpFlood::init()
{
    qApp->setProperty("deviceUid", device);
    m_scene.takeCalls();
    m_scene.takeLoads();
}

TestUdpFlood::Datagram TestUdpFlood::next(QRandomGenerator& random, int index) const
{
    const QString id = QStringLiteral("flood-%1").arg(index);
    auto command = [&](const QString& target, const QString& schedule) {
        return compact({ { "cmd", "player_play" }, { "id", index }, { "device_id", target }, { "schedule_id", schedule } });
    };
    Datagram datagram;
    switch (random.bounded(14)) {
    case 0:
    case 1:
    case 2:
        datagram.bytes = command(device, id);
        datagram.expectedCall = QStringLiteral("playSchedule(string:%1)").arg(id);
        break;
    case 3:
        datagram.bytes = compact({ { "cmd", "player_next" }, { "id", "n" }, { "device_id", device } });
        datagram.expectedCall = QStringLiteral("goToNextComposition");
        break;
    case 4: // valid text cut by a zero byte, garbage behind it
        datagram.bytes = command(device, id) + '\0' + randomBytes(random, random.bounded(1, 200));
        datagram.expectedCall = QStringLiteral("playSchedule(string:%1)").arg(id);
        break;
    case 5:
        datagram.bytes = command(QStringLiteral("OTHER"), id);
        break;
    case 6: // truncated
        datagram.bytes = command(device, id);
        datagram.bytes.chop(random.bounded(1, datagram.bytes.size()));
        break;
    case 7:
        datagram.bytes = randomBytes(random, random.bounded(0, 1500));
        break;
    case 8:
        datagram.bytes = "[" + command(device, id) + "]";
        break;
    case 9:
        datagram.bytes = compact({ { "cmd", "player_notification" }, { "id", 1 }, { "device_id", device },
            { "text", QString(random.bounded(1, 60000), QLatin1Char('n')) }, { "notification_level", "ALERT" } });
        break;
    case 10: // the largest datagram, valid: a schedule identifier of almost 64 KiB
    {
        const QString big = id + QString(65507 - command(device, id).size(), QLatin1Char('z'));
        datagram.bytes = command(device, big);
        datagram.expectedCall = QStringLiteral("playSchedule(string:%1)").arg(big);
        break;
    }
    case 11: // the largest datagram, garbage
        datagram.bytes = randomBytes(random, 65507);
        break;
    case 12:
        datagram.port = 9000;
        datagram.bytes = random.bounded(2) ? compact({ { "action", "syncing" } }) : randomBytes(random, 300);
        break;
    default:
        datagram.port = 9000;
        datagram.bytes = compact({ { "action", "sync" }, { "host", "10.0.0.2" }, { "port", "80" }, { "deviceUid", device } });
        datagram.expectedLoad = true;
        break;
    }
    return datagram;
}

bool TestUdpFlood::send(const Datagram& datagram)
{
    static QUdpSocket socket;
    return socket.writeDatagram(datagram.bytes, QHostAddress::LocalHost, datagram.port) == datagram.bytes.size();
}

// 4000 datagrams in bursts that fit the receive buffers: the kernel drops nothing
// and every valid datagram must come out the other end.
void TestUdpFlood::pacedFlood()
{
    const int count = 4000;
    QRandomGenerator random(20261206u);
    QStringList expectedCalls;
    int expectedLoads = 0;
    const long droppedBefore = udptest::datagramsDropped();
    QElapsedTimer elapsed;
    elapsed.start();

    int sent = 0;
    while (sent < count) {
        const long readBefore = udptest::datagramsRead();
        int burst = 0;
        qint64 bytes = 0;
        // Well inside the default 208 KiB receive buffer.
        while (sent < count && burst < 40 && bytes < 60000) {
            const Datagram datagram = next(random, sent);
            QVERIFY(send(datagram));
            if (!datagram.expectedCall.isEmpty())
                expectedCalls << datagram.expectedCall;
            expectedLoads += datagram.expectedLoad;
            bytes += datagram.bytes.size();
            ++burst;
            ++sent;
        }
        QVERIFY2(udptest::waitDatagramsRead(readBefore, burst),
            qPrintable(QStringLiteral("stalled after %1 datagrams").arg(sent)));
        QVERIFY2(elapsed.elapsed() < 60000, "the flood took too long");
    }
    QCOMPARE(udptest::datagramsDropped(), droppedBefore);

    const QStringList calls = m_scene.takeCalls();
    QCOMPARE(calls.size(), expectedCalls.size());
    QCOMPARE(calls, expectedCalls);
    QCOMPARE(m_scene.takeLoads().size(), expectedLoads);
    QVERIFY(expectedCalls.size() > count / 5);

    // Still answering at once.
    QVERIFY(m_scene.deliver(compact({ { "cmd", "player_pause" }, { "id", 1 }, { "device_id", device } }), 8000,
        Transport::Datagram));
    QCOMPARE(m_scene.takeCalls(), QStringList { "pausePlayer" });
}

// Faster than anything can read: the kernel drops what does not fit, and everything
// it did deliver is read and handled in order.
void TestUdpFlood::unpacedBurst()
{
    const int count = 3000;
    QStringList expectedCalls;
    const long readBefore = udptest::datagramsRead();
    const long droppedBefore = udptest::datagramsDropped();
    for (int i = 0; i < count; ++i) {
        Datagram datagram;
        if (i % 3 == 0) {
            datagram.bytes = compact({ { "cmd", "player_play" }, { "id", i }, { "device_id", device },
                { "schedule_id", QString::number(i) } });
            expectedCalls << QStringLiteral("playSchedule(string:%1)").arg(i);
        } else {
            datagram.bytes = QByteArray("garbage ") + QByteArray::number(i);
        }
        QVERIFY(send(datagram));
    }

    QElapsedTimer elapsed;
    elapsed.start();
    while (udptest::datagramsRead() - readBefore + udptest::datagramsDropped() - droppedBefore < count) {
        QVERIFY2(elapsed.elapsed() < 20000, "stalled while draining the burst");
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    QCOMPARE(udptest::datagramsRead() - readBefore + udptest::datagramsDropped() - droppedBefore, long(count));

    // What arrived is an in-order selection of what was sent.
    const QStringList calls = m_scene.takeCalls();
    QVERIFY(!calls.isEmpty());
    int position = 0;
    for (const QString& call : calls) {
        position = expectedCalls.indexOf(call, position);
        QVERIFY2(position >= 0, qPrintable(call));
        ++position;
    }
    if (udptest::datagramsDropped() == droppedBefore)
        QCOMPARE(calls, expectedCalls);

    QVERIFY(m_scene.deliver(compact({ { "cmd", "player_resume" }, { "id", 1 }, { "device_id", device } }), 8000,
        Transport::Datagram));
    QCOMPARE(m_scene.takeCalls(), QStringList { "resumePlayer" });
}

QTEST_MAIN(TestUdpFlood)
#include "tst_udpflood.moc"
