#include "udptestsupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkDatagram>
#include <QProcess>
#include <QTest>
#include <QUdpSocket>

// The real player on a private X display and network, remote-controlled the way an
// installer does it: player-remote runs in a second network namespace at the other
// end of eth0's veth link (10.99.0.2), its commands are carried out, and the status
// datagrams the player broadcasts come back over the link to `player-remote listen`
// as well as to a socket beside the player.
class TestUdpEndToEnd : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void remoteControlRoundTrip();

private:
    QJsonObject nextStatus(int timeoutMs);
    bool noStatusFor(int ms);
    QStringList inRemoteNamespace(const QString& program, const QStringList& arguments) const;
    int remote(const QStringList& arguments) const;

    QString m_dir;
    QStringList m_sources;
    QProcess m_player;
    QProcess m_remoteHolder; // keeps the installer's namespace alive
    QUdpSocket m_status;
};

static const char device[] = "SCREEN-1";

void TestUdpEndToEnd::initTestCase()
{
    QVERIFY2(udptest::inPrivateNetworkNamespace(), "run through tests/isolate.sh --net --x");
    m_dir = qEnvironmentVariable("PLAYER_TEST_TMP");
    QVERIFY(!m_dir.isEmpty());

    // Three still images that stay 30 s each: only a command can move on sooner.
    QJsonArray elements;
    const QList<QColor> colours { Qt::red, Qt::green, Qt::blue };
    for (int i = 0; i < colours.size(); ++i) {
        QImage image(64, 36, QImage::Format_RGB32);
        image.fill(colours.at(i));
        const QString path = QStringLiteral("%1/still-%2.png").arg(m_dir).arg(i);
        QVERIFY(image.save(path));
        m_sources << QUrl::fromLocalFile(path).toString();
        elements.append(QJsonObject { { "type", "Image" }, { "attributes", QJsonObject { { "source", m_sources.last() } } } });
    }
    const QJsonObject quick { { "property", "opacity" }, { "from", 1 }, { "to", 1 }, { "duration", 50 } };
    const QJsonObject schedule { { "schedule",
        QJsonObject { { "schedule_uid", "E2E" }, { "private", true },
            { "sequences",
                QJsonArray { QJsonObject {
                    { "diffusion",
                        QJsonObject { { "weekdays", QJsonArray { "All" } }, { "dates", QJsonObject() },
                            { "hours", QJsonObject() } } },
                    { "sequence",
                        QJsonObject { { "global_properties",
                                          QJsonObject { { "duration", 30000 },
                                              { "transitions", QJsonObject { { "enter", quick }, { "exit", quick } } } } },
                            { "elements", elements } } } } } } } } };
    QFile file(m_dir + QStringLiteral("/schedule.json"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QJsonDocument(schedule).toJson());
    file.close();

    QVERIFY(m_status.bind(QHostAddress::AnyIPv4, 8001, QUdpSocket::ShareAddress));

    // The installer's machine: a namespace of its own holding eth0's peer.
    const QString ownNamespace = QFileInfo(QStringLiteral("/proc/self/ns/net")).symLinkTarget();
    m_remoteHolder.start(QStringLiteral("unshare"), { "-n", "sleep", "300" });
    QVERIFY(m_remoteHolder.waitForStarted(5000));
    const QString holderNamespace = QStringLiteral("/proc/%1/ns/net").arg(m_remoteHolder.processId());
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(holderNamespace).symLinkTarget() != ownNamespace
            && !QFileInfo(holderNamespace).symLinkTarget().isEmpty(), 5000);
    QCOMPARE(udptest::ip({ "link", "set", "peer0", "netns", QString::number(m_remoteHolder.processId()) }), QString());
    const QStringList setup { "ip link set lo up", "ip addr add 10.99.0.2/24 brd 10.99.0.255 dev peer0",
        "ip link set peer0 up", "ip route add default dev peer0" };
    for (const QString& command : setup) {
        QProcess step;
        const QStringList words = command.split(QLatin1Char(' '));
        const QStringList full = inRemoteNamespace(words.first(), words.mid(1));
        step.start(full.first(), full.mid(1));
        QVERIFY(step.waitForFinished(5000));
        QVERIFY2(step.exitCode() == 0, qPrintable(command + ": " + step.readAllStandardError()));
    }
}

QStringList TestUdpEndToEnd::inRemoteNamespace(const QString& program, const QStringList& arguments) const
{
    return QStringList { "nsenter", "-t", QString::number(m_remoteHolder.processId()), "-n", program } + arguments;
}

void TestUdpEndToEnd::cleanupTestCase()
{
    for (QProcess* process : { &m_player, &m_remoteHolder }) {
        if (process->state() == QProcess::NotRunning)
            continue;
        process->terminate();
        if (!process->waitForFinished(5000)) {
            process->kill();
            process->waitForFinished(5000);
        }
    }
}

QJsonObject TestUdpEndToEnd::nextStatus(int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (!m_status.hasPendingDatagrams() && timer.elapsed() < timeoutMs)
        QTest::qWait(10);
    if (!m_status.hasPendingDatagrams())
        return QJsonObject();
    return QJsonDocument::fromJson(m_status.receiveDatagram().data()).object();
}

bool TestUdpEndToEnd::noStatusFor(int ms)
{
    QTest::qWait(ms);
    return !m_status.hasPendingDatagrams();
}

int TestUdpEndToEnd::remote(const QStringList& arguments) const
{
    QProcess tool;
    const QStringList full = inRemoteNamespace(QStringLiteral(PLAYER_REMOTE_EXE), arguments);
    tool.start(full.first(), full.mid(1));
    if (!tool.waitForFinished(5000))
        return -1;
    return tool.exitStatus() == QProcess::NormalExit ? tool.exitCode() : -1;
}

void TestUdpEndToEnd::remoteControlRoundTrip()
{
    const int expectedStatus = 5;
    QProcess listener;
    const QStringList listen = inRemoteNamespace(QStringLiteral(PLAYER_REMOTE_EXE),
        { "listen", "--count", QString::number(expectedStatus), "--timeout", "45" });
    listener.start(listen.first(), listen.mid(1));
    QByteArray listening;
    QTRY_VERIFY_WITH_TIMEOUT((listening += listener.readAllStandardError()).contains("listening"), 5000);

    m_player.setWorkingDirectory(m_dir);
    m_player.setProcessChannelMode(QProcess::ForwardedChannels);
    m_player.start(qEnvironmentVariable("PLAYER_EXE"),
        { QStringLiteral("--json=") + m_dir + QStringLiteral("/schedule.json"), QStringLiteral("--deviceUid=") + device });
    QVERIFY(m_player.waitForStarted(5000));

    QList<QJsonObject> seen;
    auto expectComposition = [&](int index) {
        const QJsonObject status = nextStatus(15000);
        seen << status;
        return status.value("cmd") == QLatin1String("player_composition_changed")
            && status.value("device_id") == QLatin1String(device)
            && status.value("infos").toObject().value("source").toString() == m_sources.at(index);
    };
    auto expectMessage = [&](const char* cmd) {
        const QJsonObject status = nextStatus(5000);
        seen << status;
        return status == QJsonObject { { "cmd", cmd }, { "id", "auto" }, { "device_id", device } };
    };
    // A transition under way makes the scene ignore next and previous: let it settle.
    auto settle = [] { QTest::qWait(500); };

    QVERIFY2(expectComposition(0), "the first still never came on screen");
    settle();

    QCOMPARE(remote({ "next", "--to", "10.99.0.1", "--device", "SOMEONE-ELSE" }), 0);
    QVERIFY2(noStatusFor(1500), "a command for another device was carried out");

    // The subnet's broadcast, the player's own address, and the default of every player.
    QCOMPARE(remote({ "next", "--to", "10.99.0.255", "--device", device }), 0);
    QVERIFY2(expectComposition(1), "next did not bring the second still");
    settle();

    QCOMPARE(remote({ "pause", "--to", "10.99.0.1", "--device", device }), 0);
    QVERIFY(expectMessage("player_is_paused"));
    QCOMPARE(remote({ "resume", "--device", device }), 0);
    QVERIFY(expectMessage("player_is_resumed"));

    QCOMPARE(remote({ "previous", "--to", "10.99.0.1", "--device", device }), 0);
    QVERIFY2(expectComposition(0), "previous did not bring the first still back");

    // The tool heard the same datagrams, from the player's eth0 address.
    QVERIFY(listener.waitForFinished(10000));
    QCOMPARE(listener.exitCode(), 0);
    const QList<QByteArray> lines = listener.readAllStandardOutput().trimmed().split('\n');
    QCOMPARE(lines.size(), expectedStatus);
    for (int i = 0; i < expectedStatus; ++i) {
        const QJsonObject line = QJsonDocument::fromJson(lines.at(i)).object();
        QCOMPARE(line.value("from").toString(), QStringLiteral("10.99.0.1"));
        QCOMPARE(line.value("message").toObject(), seen.at(i));
    }
    QVERIFY(m_player.state() == QProcess::Running);
}

QTEST_GUILESS_MAIN(TestUdpEndToEnd)
#include "tst_udpendtoend.moc"
