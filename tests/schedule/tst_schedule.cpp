#include "ScheduleCache.h"
#include "ScheduleSource.h"
#include "ServerUrls.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <climits>

namespace {

// One network-fetched document of the current form with `elements` in its only entry.
QByteArray withElements(const char* elements)
{
    return QByteArray(R"({"schedule":{"sequences":[{"diffusion":{},"sequence":{"elements":[)") + elements + "]}}]}}";
}

// "type source" of every element the scene would be handed, in order.
QString keptElements(const QJsonObject& document)
{
    QStringList kept;
    for (const QJsonValue& entry : document[QLatin1String("schedule")][QLatin1String("sequences")].toArray()) {
        for (const QJsonValue& element : entry[QLatin1String("sequence")][QLatin1String("elements")].toArray())
            kept << element[QLatin1String("type")].toString() + QLatin1Char(' ')
                    + element[QLatin1String("attributes")][QLatin1String("source")].toString();
    }
    return kept.join(QLatin1String(", "));
}

} // namespace

class TestSchedule : public QObject {
    Q_OBJECT

private slots:
    // Defined after the class: moc reads "//" inside raw strings as a comment.
    void intake_data();

    void intake()
    {
        QFETCH(QByteArray, body);
        QFETCH(QString, address);
        QFETCH(QString, kept);
        QFETCH(QString, line);
        QString error;
        QStringList lines;
        const QJsonObject document = ScheduleSource::takeDocument(body, address, QStringLiteral("h:1"), &error, &lines);
        const QString got = error.isEmpty() ? keptElements(document) : QStringLiteral("error: ") + error;
        QVERIFY2(kept.startsWith(QLatin1String("error")) ? got.startsWith(kept) : got == kept, qPrintable(got));
        if (!line.isEmpty())
            QVERIFY2(lines.filter(line).size() == 1, qPrintable(lines.join('\n')));
        const QByteArray text = QJsonDocument(document).toJson();
        for (const char* inherited : { "__proto__", "toString", "valueOf", "constructor", "hasOwnProperty" })
            QVERIFY(!text.contains(inherited));
    }

    // The old form plays its elements every day, all day, with the document's own
    // durations and transitions; it names no schedule.
    void oldForm()
    {
        const QByteArray old = R"({"objects":[{"type":"Image","attributes":{"source":"/a.png"}}],"duration":5,)"
                               R"("transitions":{"enter":{}},"schedule_uid":"X"})";
        const QByteArray current
            = R"({"schedule":{"sequences":[{"diffusion":{"weekdays":["All"],"dates":{},)"
              R"("hours":{}},"sequence":{"global_properties":{"duration":5,"transitions":{"enter":{}}},)"
              R"("elements":[{"type":"Image","attributes":{"source":"/a.png"}}]}}]}})";
        QStringList lines;
        const QJsonObject fromOld = ScheduleSource::takeDocument(old, QString(), QString(), nullptr, &lines);
        const QJsonObject fromCurrent = ScheduleSource::takeDocument(current, QString(), QString(), nullptr, nullptr);
        QCOMPARE(fromOld[QLatin1String("schedule")], fromCurrent[QLatin1String("schedule")]);
        QVERIFY(fromOld[QLatin1String("objectsForm")].toBool() && !fromCurrent.contains(QLatin1String("objectsForm")));
        QCOMPARE(lines, QStringList());
    }

    void urls_data()
    {
        QTest::addColumn<QString>("built");
        QTest::addColumn<QString>("expected");
        const QString h = QStringLiteral("h:1");
        QTest::addRow("&, # and = encoded") << ServerUrls::queryValue("a&b#c=d?/") << "a%26b%23c%3Dd%3F%2F";
        QTest::addRow("space kept readable") << ServerUrls::queryValue("a b") << "a b";
        QTest::addRow("é as UTF-8") << ServerUrls::queryValue(QStringLiteral("é")) << "%C3%A9";
        QTest::addRow("emoji") << ServerUrls::queryValue(QStringLiteral("😀")) << "%F0%9F%98%80";
        QTest::addRow("lone surrogates") << ServerUrls::queryValue(QChar(0xD83D) + QString("x") + QChar(0xDE00))
                                         << "%EF%BF%BDx%EF%BF%BD";
        QTest::addRow("empty") << ServerUrls::queryValue(QString()) << "";
        QTest::addRow("device schedule without dates") << ServerUrls::deviceSchedule(
            h, "a&action=x", "", "") << "http://h:1/ws/stream.php?action=get&device_uid=a%26action%3Dx";
        QTest::addRow("device schedule with dates") << ServerUrls::deviceSchedule(h, "D", "2026-01-01",
            "2026 #2") << "http://h:1/ws/stream.php?action=get&device_uid=D&startDate=2026-01-01&endDate=2026 %232";
        QTest::addRow("device schedule with an end date only") << ServerUrls::deviceSchedule(
            h, "D", "", "e") << "http://h:1/ws/stream.php?action=get&device_uid=D&endDate=e";
        QTest::addRow("named schedule") << ServerUrls::namedSchedule(h,
            QStringLiteral(
                "x&y z#é")) << "http://h:1/ws/stream.php?action=getSchedule&schedule_uid=x%26y z%23%C3%A9&standalone=0";
        QTest::addRow("page builder path") << ServerUrls::pageBuilder(h, "/pb?id=2") << "http://h:1/pb?id=2";
        QTest::addRow("page builder already reading http") << ServerUrls::pageBuilder("httpd:8", "/p") << "httpd:8/p";
        QTest::addRow("media path on the server") << ServerUrls::media(h, "/a.png") << "http://h:1/a.png";
        QTest::addRow("media address kept") << ServerUrls::media(h, "rtsp://c/1") << "rtsp://c/1";
        QTest::addRow("relative media kept") << ServerUrls::media(h, "a.png") << "a.png";
    }

    void urls()
    {
        QFETCH(QString, built);
        QFETCH(QString, expected);
        QCOMPARE(built, expected);
    }

    void retryDelay_data()
    {
        QTest::addColumn<int>("attempt");
        QTest::addColumn<double>("jitter");
        QTest::addColumn<int>("delay");
        QTest::addRow("first retry") << 0 << 0.0 << 2000;
        QTest::addRow("doubling") << 3 << 0.0 << 16000;
        QTest::addRow("ceiling at 60 s") << 5 << 0.0 << 60000;
        QTest::addRow("full jitter takes a quarter") << 1 << 1.0 << 3000;
        QTest::addRow("jitter on the ceiling") << 9 << 1.0 << 45000;
        QTest::addRow("jitter beyond 1 counts as 1") << 0 << 7.0 << 1500;
        QTest::addRow("negative jitter counts as 0") << 0 << -1.0 << 2000;
        QTest::addRow("negative attempt") << -4 << 0.0 << 2000;
        QTest::addRow("huge attempt") << INT_MAX << 0.0 << 60000;
    }

    void retryDelay()
    {
        QFETCH(int, attempt);
        QFETCH(double, jitter);
        QFETCH(int, delay);
        QCOMPARE(ScheduleSource::retryDelay(attempt, jitter), delay);
    }

    void cacheDocuments_data()
    {
        QTest::addColumn<qint64>("maxSize");
        QTest::addColumn<QString>("stored"); // a document per letter, 100 bytes each, in this order
        QTest::addColumn<QString>("cut"); // half-written ".part" files left by a power cut
        QTest::addColumn<QString>("kept");
        QTest::addRow("stored documents read back") << qint64(1 << 20) << "abc"
                                                    << ""
                                                    << "abc";
        QTest::addRow("least recently stored evicted") << qint64(250) << "abc"
                                                       << ""
                                                       << "bc";
        QTest::addRow("maxSize 0 keeps nothing") << qint64(0) << "abc"
                                                 << ""
                                                 << "";
        QTest::addRow("power cut: the older copy served") << qint64(1 << 20) << "ab"
                                                          << "a"
                                                          << "ab";
        QTest::addRow("power cut: a part is no document") << qint64(1 << 20) << ""
                                                          << "bc"
                                                          << "";
    }

    void cacheDocuments()
    {
        QFETCH(qint64, maxSize);
        QFETCH(QString, stored);
        QFETCH(QString, cut);
        QFETCH(QString, kept);
        QTemporaryDir dir;
        auto address = [](QChar c) { return QStringLiteral("http://h:1/ws?d=") + c; };
        {
            ScheduleCache cache(dir.path(), maxSize);
            for (QChar c : stored) {
                cache.storeDocument(address(c), QByteArray(100, char(c.unicode())));
                QThread::msleep(20); // distinct modification times
            }
        }
        for (QChar c : cut) {
            QFile part(dir.filePath(
                QCryptographicHash::hash(address(c).toUtf8(), QCryptographicHash::Sha1).toHex() + ".json.part"));
            QVERIFY(part.open(QIODevice::WriteOnly) && part.write("{\"schedu") > 0);
        }
        ScheduleCache cache(dir.path(), maxSize);
        QCOMPARE(QDir(dir.path()).entryList({ "*.part" }, QDir::Files), QStringList());
        QString read;
        for (QChar c : QStringLiteral("abc")) {
            const QByteArray document = cache.document(address(c));
            QVERIFY(document.isEmpty() || document == QByteArray(100, char(c.unicode())));
            if (!document.isEmpty())
                read += c;
        }
        QCOMPARE(read, kept);
    }

    void cacheMedia()
    {
        const QByteArray image = QByteArray(70000, 'x') + "end";
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost));
        connect(&server, &QTcpServer::newConnection, this, [&] {
            QTcpSocket* socket = server.nextPendingConnection();
            connect(socket, &QTcpSocket::readyRead, socket, [socket, &image] {
                socket->write("HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Length: "
                    + QByteArray::number(image.size()) + "\r\n\r\n" + image);
                socket->disconnectFromHost();
            });
        });
        QTemporaryDir dir;
        ScheduleCache cache(dir.path(), 1 << 20);
        const QString url = QStringLiteral("http://127.0.0.1:%1/a.png").arg(server.serverPort());
        cache.fetchMedia({ url });
        QTRY_VERIFY(!cache.localCopy(url).isEmpty());
        QFile copy(QUrl(cache.localCopy(url)).toLocalFile());
        QVERIFY(copy.open(QIODevice::ReadOnly));
        QCOMPARE(copy.readAll(), image);
    }
};

void TestSchedule::intake_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("kept"); // or "error: <reason>"
    QTest::addColumn<QString>("line"); // part of one debug line

    const QString net = QStringLiteral("http://h:1/ws/stream.php?action=get&device_uid=D");
    const QString file = QStringLiteral("file:///etc/tavo/tavo_player.json");
    QTest::addRow("not JSON") << QByteArray("{\"schedule\":") << net << "error: not JSON"
                              << "";
    QTest::addRow("not an object") << QByteArray("[{}]") << net << "error: not a JSON object"
                                   << "";
    QTest::addRow("empty") << QByteArray(" \n") << net << "error: empty body"
                           << "";
    QTest::addRow("too large") << QByteArray(ScheduleSource::maxDocumentSize + 1, ' ') + "{}" << net
                               << "error: body larger than 4194304 bytes"
                               << "";
    QTest::addRow("no schedule") << QByteArray(R"({"error":"no such schedule"})") << net << "error: no schedule"
                                 << "";
    QTest::addRow("schedule not an object beside objects")
        << QByteArray(R"({"schedule":7,"objects":[{"type":"Image","attributes":{"source":"/a.png"}}]})") << net
        << "Image /a.png"
        << "schedule is not an object, reading objects instead";
    QTest::addRow("objects not an array") << QByteArray(R"({"objects":{}})") << net << ""
                                          << "";
    QTest::addRow("entries not objects") << QByteArray(
        R"({"schedule":{"sequences":[1,null,[],{"diffusion":{},"sequence":{"elements":[)"
        R"({"type":"Image","attributes":{"source":"/a.png"}}]}}]}})")
                                         << net << "Image /a.png"
                                         << "keepPlayableParts - sequence 2 skipped: not an object";
    QTest::addRow("missing diffusion") << QByteArray(R"({"schedule":{"sequences":[{"sequence":{}}]}})") << net << ""
                                       << "sequence 0 skipped: no diffusion";
    QTest::addRow("missing sequence") << QByteArray(R"({"schedule":{"sequences":[{"diffusion":{}}]}})") << net << ""
                                      << "sequence 0 skipped: no sequence";
    QTest::addRow("elements not an array")
        << QByteArray(R"({"schedule":{"sequences":[{"diffusion":{},"sequence":{"elements":"x"}}]}})") << net << ""
        << "sequence 0: no elements";
    QTest::addRow("element without attributes")
        << withElements(R"({"type":"Image"},{"type":"Image","attributes":{"source":"/b.png"}})") << net
        << "Image /b.png"
        << "sequence 0 element 0 skipped: no attributes";
    QTest::addRow("unknown type") << withElements(R"({"type":"Flash","attributes":{}},{"type":5,"attributes":{}})")
                                  << net << ""
                                  << "element 0 skipped: unknown type \"Flash\"";
    QTest::addRow("inherited names at any depth")
        << QByteArray(R"({"__proto__":{},"schedule":{"toString":1,"sequences":[{"diffusion":{"valueOf":[]},)"
                      R"("sequence":{"constructor":0,"elements":[{"type":"Video","attributes":{"source":"/v.mp4",)"
                      R"("hasOwnProperty":{"__proto__":null}}}]}}]}})")
        << net << "Video /v.mp4"
        << "";
    const QByteArray mixed = withElements(
        R"({"type":"Image","attributes":{"source":"file:///x.png"}},)"
        R"({"type":"Image","attributes":{"source":"/a.png"}},{"type":"Video","attributes":{"source":"rtsp://c/1"}},)"
        R"({"type":"WebView","attributes":{"source":"page.html"}},{"type":"WebView","attributes":{"source":" HTTPS://p"}},)"
        R"({"type":"RtspStream","attributes":{"source":"screen://"}},{"type":"WebView","attributes":{"source":"/p"}},)"
        R"({"type":"Image","attributes":{}})");
    QTest::addRow("network document keeps network sources only")
        << mixed << net << "Image /a.png, Video rtsp://c/1, WebView  HTTPS://p, Image "
        << "sequence 0 element 0 skipped: scheme \"file\" in a schedule from the network: Image \"file:///x.png\"";
    QTest::addRow("local document keeps every source")
        << mixed << file
        << "Image file:///x.png, Image /a.png, Video rtsp://c/1, WebView page.html, WebView  HTTPS://p, "
           "RtspStream screen://, WebView /p, Image "
        << "";
    QTest::addRow("page builder completed, then trusted")
        << withElements(
               R"({"type":"PageBuilder","attributes":{"source":"/pb?id=1"}},)"
               R"({"type":"PageBuilder","attributes":{"source":"file:///p"}},{"type":"PageBuilder","attributes":{}})")
        << net << "PageBuilder http://h:1/pb?id=1, PageBuilder http://h:1file:///p, PageBuilder "
        << "";
}

QTEST_GUILESS_MAIN(TestSchedule)
#include "tst_schedule.moc"
