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
#include <QTcpSocket>
#include <QTest>
#include <QUdpSocket>

// The real player on a private X display and network, remote-controlled from a second
// namespace at the other end of eth0's veth link (10.99.0.2): its status broadcasts
// come back to `player-remote listen` there and to a socket beside the player.
class TestUdpEndToEnd : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void remoteControlRoundTrip();
    void notificationBanner();
    void syncMovesToAnotherServer();

private:
    QStringList writeStills(const QList<QColor>& colours, const QString& name) const;
    static bool writeSchedule(const QString& path, const QStringList& sources);
    QColor screenPixel(int x, int y) const;
    QColor waitForPixel(const QPoint& point, const QColor& colour, int ms) const;
    QJsonObject nextStatus(int timeoutMs);
    QByteArray statusWithin(int ms);
    QStringList inRemoteNamespace(const QString& program, const QStringList& arguments) const;
    int run(const QString& program, const QStringList& arguments) const;
    int remote(const QStringList& arguments) const;

    QString m_dir;
    QStringList m_sources;
    QProcess m_player;
    QProcess m_remoteHolder; // keeps the installer's namespace alive
    QProcess m_server; // the signage server a sync points the player at
    QUdpSocket m_status;
};

static const char device[] = "SCREEN-1";

void TestUdpEndToEnd::initTestCase()
{
    QVERIFY2(udptest::inPrivateNetworkNamespace(), "run through tests/isolate.sh --net --x");
    m_dir = qEnvironmentVariable("PLAYER_TEST_TMP");
    QVERIFY(!m_dir.isEmpty());

    // Three still images that stay 30 s each: only a command can move on sooner.
    m_sources = writeStills({ Qt::red, Qt::green, Qt::blue }, QStringLiteral("still"));
    QVERIFY(m_sources.size() == 3);
    QVERIFY(writeSchedule(m_dir + QStringLiteral("/schedule.json"), m_sources));

    QVERIFY(m_status.bind(QHostAddress::AnyIPv4, 8001, QUdpSocket::ShareAddress));

    // The installer's machine: a namespace of its own holding eth0's peer.
    // The link reads "net:[inode]"; compare only that, not the directory it is resolved against.
    auto namespaceOf = [](const QString& link) { return QFileInfo(link).symLinkTarget().section(QLatin1Char('/'), -1); };
    const QString ownNamespace = namespaceOf(QStringLiteral("/proc/self/ns/net"));
    m_remoteHolder.start(QStringLiteral("unshare"), { "-n", "sleep", "300" });
    QVERIFY(m_remoteHolder.waitForStarted(5000));
    const QString holderNamespace = QStringLiteral("/proc/%1/ns/net").arg(m_remoteHolder.processId());
    QTRY_VERIFY_WITH_TIMEOUT(namespaceOf(holderNamespace).startsWith(QLatin1String("net:["))
            && namespaceOf(holderNamespace) != ownNamespace, 5000);
    QCOMPARE(udptest::ip({ "link", "set", "peer0", "netns", QString::number(m_remoteHolder.processId()) }), QString());
    const QStringList setup { "ip link set lo up", "ip addr add 10.99.0.2/24 brd 10.99.0.255 dev peer0",
        "ip link set peer0 up", "ip route add default dev peer0" };
    for (const QString& command : setup) {
        const QStringList words = command.split(QLatin1Char(' '));
        QVERIFY2(run(words.first(), words.mid(1)) == 0, qPrintable(command));
    }
}

QStringList TestUdpEndToEnd::writeStills(const QList<QColor>& colours, const QString& name) const
{
    QStringList sources;
    for (int i = 0; i < colours.size(); ++i) {
        QImage image(64, 36, QImage::Format_RGB32);
        image.fill(colours.at(i));
        const QString path = QStringLiteral("%1/%2-%3.png").arg(m_dir, name).arg(i);
        if (!image.save(path))
            return QStringList();
        sources << QUrl::fromLocalFile(path).toString();
    }
    return sources;
}

// One sequence that plays every day, all day, the stills in turn for 30 s each.
bool TestUdpEndToEnd::writeSchedule(const QString& path, const QStringList& sources)
{
    QJsonArray elements;
    for (const QString& source : sources)
        elements.append(QJsonObject { { "type", "Image" }, { "attributes", QJsonObject { { "source", source } } } });
    const QJsonObject quick { { "property", "opacity" }, { "from", 1 }, { "to", 1 }, { "duration", 50 } };
    const QJsonObject diffusion { { "weekdays", QJsonArray { "All" } }, { "dates", QJsonObject() },
        { "hours", QJsonObject() } };
    const QJsonObject properties { { "duration", 30000 },
        { "transitions", QJsonObject { { "enter", quick }, { "exit", quick } } } };
    const QJsonObject sequence { { "diffusion", diffusion },
        { "sequence", QJsonObject { { "global_properties", properties }, { "elements", elements } } } };
    const QJsonObject schedule { { "schedule",
        QJsonObject { { "schedule_uid", "E2E" }, { "private", true }, { "sequences", QJsonArray { sequence } } } } };
    QFile file(path);
    return QDir().mkpath(QFileInfo(path).absolutePath()) && file.open(QIODevice::WriteOnly)
        && file.write(QJsonDocument(schedule).toJson()) > 0;
}

QColor TestUdpEndToEnd::screenPixel(int x, int y) const
{
    const QString shot = m_dir + QStringLiteral("/shot.png");
    QProcess import;
    import.start(QStringLiteral("/usr/bin/import"),
        { "-window", "root", "-display", qEnvironmentVariable("DISPLAY"), shot });
    if (!import.waitForFinished(10000) || import.exitCode() != 0)
        return QColor();
    return QImage(shot).pixelColor(x, y);
}

static bool near(const QColor& a, const QColor& b, int tolerance = 8)
{
    return a.isValid() && qAbs(a.red() - b.red()) <= tolerance && qAbs(a.green() - b.green()) <= tolerance
        && qAbs(a.blue() - b.blue()) <= tolerance;
}

static QString describe(const QColor& colour)
{
    return QStringLiteral("(%1,%2,%3)").arg(colour.red()).arg(colour.green()).arg(colour.blue());
}

// Screenshots until the pixel shows `colour` or `ms` have passed by the clock (a
// screenshot takes a good part of a second, too long for the QTRY macros' counting).
// Returns the last pixel seen.
QColor TestUdpEndToEnd::waitForPixel(const QPoint& point, const QColor& colour, int ms) const
{
    QElapsedTimer timer;
    timer.start();
    QColor pixel;
    do {
        pixel = screenPixel(point.x(), point.y());
        if (near(pixel, colour))
            break;
        QTest::qWait(20);
    } while (timer.elapsed() < ms);
    return pixel;
}

QStringList TestUdpEndToEnd::inRemoteNamespace(const QString& program, const QStringList& arguments) const
{
    return QStringList { "nsenter", "-t", QString::number(m_remoteHolder.processId()), "-n", program } + arguments;
}

void TestUdpEndToEnd::cleanupTestCase()
{
    for (QProcess* process : { &m_player, &m_remoteHolder, &m_server }) {
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

// Empty when no status datagram arrives within `ms`, else the first that did.
QByteArray TestUdpEndToEnd::statusWithin(int ms)
{
    QTest::qWait(ms);
    return m_status.hasPendingDatagrams() ? m_status.receiveDatagram().data() : QByteArray();
}

// Runs a program in the installer's namespace; returns its exit code, -1 when it fails to finish.
int TestUdpEndToEnd::run(const QString& program, const QStringList& arguments) const
{
    QProcess process;
    const QStringList full = inRemoteNamespace(program, arguments);
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(full.first(), full.mid(1));
    if (!process.waitForFinished(5000))
        return -1;
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

int TestUdpEndToEnd::remote(const QStringList& arguments) const
{
    return run(QStringLiteral(PLAYER_REMOTE_EXE), arguments);
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
    QByteArray unexpected = statusWithin(1500);
    QVERIFY2(unexpected.isEmpty(), "a command for another device was carried out: " + unexpected);

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

// Inside the banner's right margin, clear of its text and rounded corners.
static const QPoint bannerPoint(1920 - 15, 50);

void TestUdpEndToEnd::notificationBanner()
{
    QVERIFY(m_player.state() == QProcess::Running);
    // The "Previous" banner of the round trip times out after 2 s: red underneath again.
    QColor pixel = waitForPixel(bannerPoint, QColor(255, 0, 0), 8000);
    QVERIFY2(near(pixel, QColor(255, 0, 0)), qPrintable(describe(pixel)));

    QCOMPARE(remote({ "notify", "Fire drill at noon", "--level", "ALERT", "--device", device }), 0);
    QElapsedTimer sinceSent;
    sinceSent.start();
    // (245, 198, 203) at alpha 200 over red, for 4 s: still there well after the 2 s
    // of a command's banner, gone some time later. A screenshot takes from a few tens
    // of milliseconds to a second under load, so the moments are bounds.
    const QColor alert(qRound((245 * 200 + 255 * 55) / 255.0), qRound(198 * 200 / 255.0), qRound(203 * 200 / 255.0));
    pixel = waitForPixel(bannerPoint, alert, 5000);
    QVERIFY2(near(pixel, alert), qPrintable(describe(pixel) + " instead of " + describe(alert)));
    if (sinceSent.elapsed() < 2500) {
        QTest::qWait(int(2500 - sinceSent.elapsed()));
        QVERIFY2(near(pixel = screenPixel(bannerPoint.x(), bannerPoint.y()), alert),
            qPrintable(describe(pixel) + " instead of " + describe(alert) + " 2.5 s after the notification"));
    } else {
        qInfo("screenshots too slow to check the banner midway");
    }
    pixel = waitForPixel(bannerPoint, QColor(255, 0, 0), 8000);
    QVERIFY2(near(pixel, QColor(255, 0, 0)), qPrintable(describe(pixel) + " instead of red: the notification banner stays"));
}

// A sync points the player at a signage server and a new device identifier: it
// fetches its schedule from there and answers only to the new identifier.
void TestUdpEndToEnd::syncMovesToAnotherServer()
{
    QVERIFY(m_player.state() == QProcess::Running);
    const QStringList served = writeStills({ Qt::yellow, Qt::cyan }, QStringLiteral("served"));
    QCOMPARE(served.size(), 2);
    // The server answers every /ws/stream.php request with this document.
    QVERIFY(writeSchedule(m_dir + QStringLiteral("/www/ws/stream.php"), served));
    m_server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_server.start(QStringLiteral("python3"),
        { "-m", "http.server", "--bind", "127.0.0.1", "--directory", m_dir + QStringLiteral("/www"), "8080" });
    QVERIFY(m_server.waitForStarted(5000));
    QTRY_VERIFY_WITH_TIMEOUT(
        [] {
            QTcpSocket probe;
            probe.connectToHost(QHostAddress::LocalHost, 8080);
            return probe.waitForConnected(200);
        }(),
        10000);
    while (m_status.hasPendingDatagrams())
        m_status.receiveDatagram();

    QCOMPARE(remote({ "sync", "--to", "10.99.0.1", "--host", "127.0.0.1", "--port", "8080", "--device", "SCREEN-2" }), 0);
    QJsonObject status = nextStatus(15000);
    QCOMPARE(status.value("cmd").toString(), QStringLiteral("player_composition_changed"));
    QCOMPARE(status.value("device_id").toString(), QStringLiteral("SCREEN-2"));
    QCOMPARE(status.value("infos").toObject().value("source").toString(), served.at(0));
    QTest::qWait(500);

    QCOMPARE(remote({ "next", "--to", "10.99.0.1", "--device", device }), 0);
    const QByteArray unexpected = statusWithin(1500);
    QVERIFY2(unexpected.isEmpty(), "the old identifier is still obeyed: " + unexpected);
    QCOMPARE(remote({ "next", "--to", "10.99.0.1", "--device", "SCREEN-2" }), 0);
    status = nextStatus(5000);
    QCOMPARE(status.value("infos").toObject().value("source").toString(), served.at(1));
}

QTEST_GUILESS_MAIN(TestUdpEndToEnd)
#include "tst_udpendtoend.moc"
