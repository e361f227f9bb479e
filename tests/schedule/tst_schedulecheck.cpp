// SPDX-License-Identifier: GPL-2.0-or-later
// The schedule check: one fault a document and the line it must produce, the same
// lines said once by the player's reading, media answers from a loopback server, and
// timelines of the simulation across a weekday change and a daylight-saving change.
#include "ScheduleDocument.h"
#include "ScheduleSource.h"
#include "ScheduleTool.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

#include <ctime>

namespace {

QStringList said;

QByteArray entry(const char* diffusion, const char* elements, const char* global = "{}")
{
    return QByteArray(R"({"diffusion":)") + diffusion + R"(,"sequence":{"global_properties":)" + global
        + R"(,"elements":[)" + elements + "]}}";
}
const char* const always = R"({"weekdays":["All"],"dates":{},"hours":{}})";
const char* const image = R"({"type":"Image","duration":5000,"attributes":{"source":"/a.png"}})";

// The entries of a current-form document, or a whole old-form document.
QJsonObject read(const QByteArray& sequences)
{
    return ScheduleSource::readDocument(
        sequences.startsWith("{\"objects") ? sequences : R"({"schedule":{"sequences":[)" + sequences + "]}}", nullptr);
}

} // namespace

class TestScheduleCheck : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        qputenv("TZ", "Europe/Paris");
        tzset();
        qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
            if (type == QtWarningMsg)
                said << text;
        });
    }

    void lines_data();

    // The check's lines, and the same lines said once by the player's own reading.
    void lines()
    {
        QFETCH(QByteArray, sequences);
        QFETCH(QByteArray, expected);
        QStringList lines;
        for (const ScheduleCheck::Problem& problem : ScheduleCheck::check(read(sequences), "http://h/s"))
            lines << problem.line();
        QCOMPARE(lines.join('\n'), QString(expected));
        said.clear();
        for (int twice = 0; twice < 2; ++twice)
            ScheduleDocument::intake(
                read(sequences), QStringLiteral("http://h/") + QTest::currentDataTag(), "h:1", nullptr);
        QCOMPARE(said, lines);
    }

    void media()
    {
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost));
        connect(&server, &QTcpServer::newConnection, this, [&] {
            QTcpSocket* socket = server.nextPendingConnection();
            connect(socket, &QTcpSocket::readyRead, socket, [socket] {
                const bool there = socket->readAll().startsWith("HEAD /m/ok.png ");
                socket->write(
                    there ? "HTTP/1.1 200 OK\r\nContent-Length: 3\r\n\r\n" : "HTTP/1.1 404 Not Found\r\n\r\n");
                socket->disconnectFromHost();
            });
        });
        const QJsonObject document = ScheduleSource::readDocument(
            R"({"objects":[{"type":"Image","attributes":{"source":"/m/a.png"}},{"type":"Video","attributes":)"
            R"({"source":"/m/ok.png"}},{"type":"Image","attributes":{"source":"file:///nowhere/b.png"}}]})",
            nullptr);
        QStringList lines;
        for (const ScheduleCheck::Problem& problem : ScheduleTool::mediaProblems(
                 document, "http://h/s", QStringLiteral("127.0.0.1:%1").arg(server.serverPort())))
            lines << problem.line();
        QCOMPARE(lines,
            QStringList({ "error: objects[0].attributes.source: /m/a.png answers HTTP 404",
                "error: objects[2].attributes.source: file:///nowhere/b.png: no such file" }));
    }

    // The real binary, with no display: its exit status and its first line.
    void tool_data();
    void tool()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        QFETCH(QString, line);
        QProcess player;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove("DISPLAY");
        player.setProcessEnvironment(environment);
        player.start(qEnvironmentVariable("PLAYER_EXE"), arguments);
        QVERIFY(player.waitForFinished(30000));
        const QString out = player.readAllStandardOutput() + player.readAllStandardError();
        QCOMPARE(player.exitCode(), status);
        QCOMPARE(out.section('\n', 0, 0), line);
    }

    void simulation_data();
    void simulation()
    {
        QFETCH(QByteArray, sequences);
        QFETCH(QString, from);
        QFETCH(QString, expected);
        ScheduleTool::Simulation simulation;
        simulation.from = QDateTime::fromString(from, "yyyy-MM-ddTHH:mm");
        simulation.span = 150000;
        QCOMPARE(ScheduleTool::simulate(read(sequences), "http://h:1/s", "h:1", simulation), expected);
    }
};

// Defined after the class: moc takes a "//" inside a raw string for a comment.
void TestScheduleCheck::tool_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("line");
    const QString demo = qEnvironmentVariable("PLAYER_SOURCE_DIR") + "/demo/schedules/DEMO-0002.json";
    static QTemporaryFile broken(QDir::tempPath() + "/broken-XXXXXX.json"), clean(QDir::tempPath() + "/XXXXXX.json");
    QVERIFY(broken.open() && broken.write(R"({"objects":[{"type":"Vdeo","attributes":{}}]})") > 0);
    QVERIFY(clean.open()); // its one picture is itself, beside it
    clean.write(R"({"objects":[{"type":"Image","duration":9,"attributes":{"source":")"
        + QFileInfo(clean).fileName().toUtf8() + "\"}}]}");
    QVERIFY(broken.flush() && clean.flush());
    QTest::newRow("clean") << QStringList { "--check", clean.fileName() } << 0 << "";
    QTest::newRow("errors") << QStringList { "--check=" + broken.fileName() } << 1
                            << "error: objects[0].type: \"Vdeo\" is not a composition type (Image, Video, "
                               "WebView, PageBuilder, RtspStream)";
    QTest::newRow("unreadable") << QStringList { "--check", "/nowhere.json" } << 2
                                << "player: /nowhere.json: No such file or directory";
    QTest::newRow("simulate") << QStringList { "--simulate", demo, "--from=2026-12-07T11:59" } << 0
                              << "Mon 2026-12-07 11:59:00 CET  load, sequences allowed: sequences[0]";
}

void TestScheduleCheck::lines_data()
{
    QTest::addColumn<QByteArray>("sequences");
    QTest::addColumn<QByteArray>("expected");
    const QByteArray el = "schedule.sequences[0].sequence.elements[0]", d = "schedule.sequences[0].diffusion";
    auto days = [](const char* rules) { return entry(rules, image); };
    auto element = [](const char* e) { return entry(always, e); };
    QTest::newRow("clean") << entry(R"({"weekdays":["Monday","Friday"],"dates":{"start_date":"2026-01-01",)"
                                    R"("end_date":"2026-12-31"},"hours":{"start_time":"08:00:00","end_time":)"
                                    R"("24:00:00"}})",
        R"({"type":"Video","duration":0,"attributes":{"source":"/v.mp4"}},)"
        R"({"type":"Image","attributes":{"source":"/a.png","fillMode":"Pad"}})",
        R"({"duration":4000,"transitions":{"enter":{"property":"x","from":"width",)"
        R"j("to":"Math.max(0, stack.width / 2 - 10)","duration":500}}})j")
                           << QByteArray();
    QTest::newRow("type") << element(R"({"type":"Vdeo","attributes":{}})")
                          << "error: " + el
            + ".type: \"Vdeo\" is not a composition type "
              "(Image, Video, WebView, PageBuilder, RtspStream)";
    QTest::newRow("date") << days(R"({"weekdays":["All"],"dates":{"start_date":"2026-13-01"},"hours":{}})")
                          << "error: " + d + ".dates.start_date: \"2026-13-01\" is not a date (yyyy-MM-dd)";
    QTest::newRow("date accepted by the comparison")
        << days(R"({"weekdays":["All"],"dates":{"end_date":"2024-31-12"},"hours":{}})")
        << "error: " + d + ".dates.end_date: \"2024-31-12\" is not a date (yyyy-MM-dd)";
    QTest::newRow("time") << days(R"({"weekdays":["All"],"dates":{},"hours":{"start_time":"8:00"}})")
                          << "error: " + d
            + ".hours.start_time: \"8:00\" is not a time (HH:mm:ss, 24:00:00 for an end)";
    QTest::newRow("weekday") << days(R"({"weekdays":["Mon"],"dates":{},"hours":{}})")
                             << "error: " + d
            + ".weekdays[0]: \"Mon\" is not a weekday (Monday, Tuesday, "
              "Wednesday, Thursday, Friday, Saturday, Sunday or All)";
    QTest::newRow("weekdays string") << days(R"({"weekdays":"Monday","dates":{},"hours":{}})")
                                     << "error: " + d
            + ".weekdays: \"Monday\" is not a list of days, the sequence never plays";
    QTest::newRow("no diffusion") << QByteArray(R"({"sequence":{}})")
                                  << "error: " + d + ": missing, the sequence is skipped";
    QTest::newRow("old form") << QByteArray(R"({"objects":[{"type":"Image","attributes":{}}],"duration":"x"})")
                              << QByteArray(
                                     "error: duration: \"x\" is not a duration in milliseconds\nwarning: objects[0]"
                                     ".attributes.source: missing, the item shows only its background");
    QTest::newRow("a file from the network")
        << element(R"({"type":"WebView","duration":1,"attributes":{"source":"/etc/passwd"}})")
        << "error: " + el
            + ".attributes.source: \"/etc/passwd\" is not a network address, the only kind a schedule "
              "from the network may name: the element is skipped";
    QTest::newRow("no attributes") << element(R"({"type":"Image"})")
                                   << "error: " + el + ".attributes: missing, the element is skipped";
    QTest::newRow("fill mode") << element(R"({"type":"Image","duration":1,"attributes":{"fillMode":"Fit"}})")
                               << "warning: " + el
            + ".attributes.source: missing, the item shows only its background\n"
              "error: "
            + el
            + ".attributes.fillMode: \"Fit\" is not a fill mode (Stretch, "
              "PreserveAspectFit, PreserveAspectCrop, Tile, TileVertically, TileHorizontally, Pad)";
    QTest::newRow("duration") << element(R"({"type":"Image","duration":"5s","attributes":{"source":"/a"}})")
                              << "error: " + el + ".duration: \"5s\" is not a duration in milliseconds";
    QTest::newRow("transition") << element(
        R"({"type":"Image","duration":1,"attributes":{"source":"/a"},)"
        R"("transitions":{"exit":{"property":"y","from":"widht","to":0,"duration":9}}})")
                                << "error: " + el
            + ".transitions.exit.from: \"widht\" is not a number or an "
              "expression the player evaluates";
    QTest::newRow("over midnight") << days(
        R"({"weekdays":["All"],"dates":{},"hours":{"start_time":"22:00:00","end_time":"06:00:00"}})")
                                   << "warning: " + d
            + ".hours: start_time 22:00:00 is not before end_time 06:00:00, "
              "the sequence never plays (over midnight, it needs two sequences)";
    QTest::newRow("stream video") << element(R"({"type":"Video","duration":0,"attributes":{"source":"rtsp://cam/1"}})")
                                  << "warning: " + el
            + ".duration: 0 waits for the end of a stream, which may never come";
    QTest::newRow("first always wins") << entry(always, R"({"type":"WebView","attributes":{"source":"http://x/"}})")
            + ',' + entry(R"({"weekdays":["Sunday"],"dates":{},"hours":{}})", image)
                                       << "warning: " + el
            + ".duration: undefined (the sequence's default) never ends this WebView: it stays "
              "until a remote \"next\" or a relaunch\n"
              "warning: schedule.sequences[1].diffusion: overlaps sequences[0], whose element 0 never ends: while both "
              "may play, sequences[0] always wins";
}

void TestScheduleCheck::simulation_data()
{
    QTest::addColumn<QByteArray>("sequences");
    QTest::addColumn<QString>("from");
    QTest::addColumn<QString>("expected");
    QTest::newRow("Sunday to Monday")
        << entry(R"({"weekdays":["Sunday"],"dates":{},"hours":{}})",
               R"({"type":"Image","attributes":{"source":"/s0"}},{"type":"Video","duration":0,"attributes":{"source":"/s1"}})",
               R"({"duration":20000})")
            + ','
            + entry(R"({"weekdays":["Monday"],"dates":{},"hours":{}})",
                R"({"type":"Image","duration":30000,"attributes":{"source":"/m"}})")
        << "2026-12-06T23:59"
        << "Sun 2026-12-06 23:59:00 CET  load, sequences allowed: sequences[0]\n"
           "Sun 2026-12-06 23:59:01 CET    sequences[0] element 0: Image /s0, 20 s\n"
           "Sun 2026-12-06 23:59:21 CET    sequences[0] element 1: Video /s1, until its end (taken as 30 s)\n"
           "Sun 2026-12-06 23:59:51 CET    sequences[0] element 0: Image /s0, 20 s\n"
           "Mon 2026-12-07 00:00:01 CET  sequences allowed: sequences[1]\n"
           "Mon 2026-12-07 00:00:01 CET  sequences[0] may no longer play: black, a new start in 1 s\n"
           "Mon 2026-12-07 00:00:02 CET    sequences[1] element 0: Image /m, 30 s\n"
           "Mon 2026-12-07 00:00:32 CET    sequences[1] element 0: Image /m, 30 s\n"
           "Mon 2026-12-07 00:01:02 CET    sequences[1] element 0: Image /m, 30 s\n";
    QTest::newRow("summer time")
        << entry(R"({"weekdays":["All"],"dates":{},"hours":{"end_time":"02:30:00"}})",
               R"({"type":"Image","duration":600000,"attributes":{"source":"/night"}})")
            + ','
            + entry(R"({"weekdays":["Sunday"],"dates":{"start_date":"2026-03-29"},"hours":{"start_time":"03:00:00"}})",
                R"({"type":"WebView","duration":61500,"attributes":{"source":"http://p/"}})")
        << "2026-03-29T01:59"
        << "Sun 2026-03-29 01:59:00 CET  load, sequences allowed: sequences[0]\n"
           "Sun 2026-03-29 01:59:01 CET    sequences[0] element 0: Image /night, 600 s\n"
           "Sun 2026-03-29 03:00:01 CEST  sequences allowed: sequences[1]\n"
           "Sun 2026-03-29 03:00:01 CEST  sequences[0] may no longer play: black, a new start in 1 s\n"
           "Sun 2026-03-29 03:00:02 CEST    sequences[1] element 0: WebView http://p/, 61.5 s\n"
           "Sun 2026-03-29 03:01:03 CEST    sequences[1] element 0: WebView http://p/, 61.5 s\n";
}

QTEST_GUILESS_MAIN(TestScheduleCheck)
#include "tst_schedulecheck.moc"
