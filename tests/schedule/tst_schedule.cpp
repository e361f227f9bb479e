#include "ScheduleCache.h"
#include "ScheduleSource.h"
#include "ServerUrls.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

namespace {

// A network document of the current form with `elements` in its only entry.
QByteArray withElements(const char* elements)
{
    return QByteArray(R"({"schedule":{"sequences":[{"diffusion":{},"sequence":{"elements":[)") + elements + "]}}]}}";
}

// "type source" of every element the scene would be handed, in order.
QString keptElements(const QJsonObject& document)
{
    QStringList kept;
    for (const QJsonValue& entry : document["schedule"]["sequences"].toArray())
        for (const QJsonValue& element : entry["sequence"]["elements"].toArray())
            kept << element["type"].toString() + ' ' + element["attributes"]["source"].toString();
    return kept.join(", ");
}

} // namespace

class TestSchedule : public QObject {
    Q_OBJECT

private slots:
    // Defined after the class: moc takes a "//" inside a raw string for a comment.
    void intake_data();

    void intake()
    {
        QFETCH(QByteArray, body);
        QFETCH(QString, address);
        QFETCH(QStringList, expected); // what is kept (or "error: <reason>"), then parts of debug lines
        QString error;
        QStringList lines;
        const QJsonObject document = ScheduleSource::takeDocument(body, address, "h:1", &error, &lines);
        const QString got = error.isEmpty() ? keptElements(document) : "error: " + error;
        QVERIFY2(expected[0].startsWith("error") ? got.startsWith(expected[0]) : got == expected[0], qPrintable(got));
        for (const QString& line : expected.mid(1))
            QVERIFY2(lines.filter(line).size() == 1, qPrintable(line + " in:\n" + lines.join('\n')));
        for (const char* inherited : { "__proto__", "toString", "valueOf", "constructor", "hasOwnProperty" })
            QVERIFY(!QJsonDocument(document).toJson().contains(inherited));
    }

    // Old form: every day, all day, with the document's durations and transitions; no schedule named.
    void oldForm()
    {
        const QByteArray old = R"({"objects":[{"type":"Image","attributes":{}}],"duration":5,"transitions":{},)"
                               R"("schedule_uid":"X"})";
        const QByteArray current = R"({"schedule":{"sequences":[{"diffusion":{"weekdays":["All"],"dates":{},)"
                                   R"("hours":{}},"sequence":{"global_properties":{"duration":5,"transitions":{}},)"
                                   R"("elements":[{"type":"Image","attributes":{}}]}}]}})";
        QStringList lines;
        const QJsonObject fromOld = ScheduleSource::takeDocument(old, QString(), QString(), nullptr, &lines);
        const QJsonObject fromCurrent = ScheduleSource::takeDocument(current, QString(), QString(), nullptr, &lines);
        QCOMPARE(fromOld["schedule"], fromCurrent["schedule"]);
        QVERIFY(fromOld["objectsForm"].toBool() && !fromCurrent.contains("objectsForm") && lines.isEmpty());
    }

    void computed_data()
    {
        QTest::addColumn<QString>("built");
        QTest::addColumn<QString>("expected");
        const QString h = "h:1", get = "http://h:1/ws/stream.php?action=get&device_uid=";
        QTest::addRow("&, #, =, ? and / encoded") << ServerUrls::queryValue("a&b#c=d?/") << "a%26b%23c%3Dd%3F%2F";
        QTest::addRow("space kept readable") << ServerUrls::queryValue("a b") << "a b";
        QTest::addRow("é and emoji as UTF-8") << ServerUrls::queryValue("é😀") << "%C3%A9%F0%9F%98%80";
        QTest::addRow("lone surrogates") << ServerUrls::queryValue(QChar(0xD83D) + QString("x") + QChar(0xDE00))
                                         << "%EF%BF%BDx%EF%BF%BD";
        QTest::addRow("device schedule without dates")
            << ServerUrls::deviceSchedule(h, "a&action=x", "", "") << get + "a%26action%3Dx";
        QTest::addRow("device schedule with dates")
            << ServerUrls::deviceSchedule(h, "D", "2026-01-01", "2 #") << get + "D&startDate=2026-01-01&endDate=2 %23";
        QTest::addRow("named schedule") << ServerUrls::namedSchedule(
            h, "x&y z#") << "http://h:1/ws/stream.php?action=getSchedule&schedule_uid=x%26y z%23&standalone=0";
        QTest::addRow("page builder already reading http") << ServerUrls::pageBuilder("httpd:8", "/p") << "httpd:8/p";
        QTest::addRow("media path on the server") << ServerUrls::media(h, "/a.png") << "http://h:1/a.png";
        QTest::addRow("media address or relative path kept")
            << ServerUrls::media(h, "rtsp://c") + ServerUrls::media(h, "a") << "rtsp://ca";
        // Sources of a schedule read from a file: files beside it, files, or addresses as they are.
        const auto local
            = [](const char* source) { return ServerUrls::localSource("file:///srv/my%20show/s.json", source); };
        QTest::addRow("local: relative") << local("media/clip.mp4") << "file:///srv/my%20show/media/clip.mp4";
        QTest::addRow("local: relative, up and spaced") << local(" ../a b#1.png") << "file:///srv/a%20b%231.png";
        QTest::addRow("local: absolute") << local("/srv/x/./a.png") << "file:///srv/x/a.png";
        QTest::addRow("local: addresses and nothing kept") << local("http://h/a") + local("qrc:/a") + local(" RTSP://c")
                + local("file:a") + local("") << "http://h/aqrc:/a RTSP://cfile:a";
        // The delay before the next try, in ms, by attempt (from 0), jitter and ceiling.
        auto delay = [](int attempt, double jitter, int cap = ScheduleSource::maxRetryDelay) {
            return QString::number(ScheduleSource::retryDelay(attempt, jitter, cap));
        };
        QTest::addRow("retry: doubling") << delay(3, 0.0) << "16000";
        QTest::addRow("retry: ceiling at 60 s") << delay(5, 0.0) << "60000";
        QTest::addRow("retry: full jitter takes a quarter") << delay(1, 1.0) << "3000";
        QTest::addRow("retry: jitter beyond 1 counts as 1") << delay(0, 7.0) << "1500";
        QTest::addRow("retry: a negative attempt is the first") << delay(-4, 0.0) << "2000";
        QTest::addRow("retry: huge attempt") << delay(INT_MAX, 0.0) << "60000";
        QTest::addRow("retry before any document: ceiling at 10 s, jitter kept") << delay(9, 1.0, 10000) << "7500";
    }

    void computed()
    {
        QFETCH(QString, built);
        QFETCH(QString, expected);
        QCOMPARE(built, expected);
    }

    void cacheDocuments_data()
    {
        QTest::addColumn<qint64>("maxSize");
        // Documents stored in this order (100 bytes each), those read back after a restart.
        QTest::addColumn<QStringList>("storedKept");
        QTest::addRow("least recently stored evicted") << qint64(250) << QStringList { "abc", "bc" };
        QTest::addRow("maxSize 0 keeps nothing") << qint64(0) << QStringList { "abc", "" };
        QTest::addRow("read back") << qint64(1 << 20) << QStringList { "ab", "ab" };
    }

    void cacheDocuments()
    {
        QFETCH(qint64, maxSize);
        QFETCH(QStringList, storedKept);
        QTemporaryDir dir;
        auto address = [](QChar c) { return QStringLiteral("http://h:1/ws?d=") + c; };
        {
            ScheduleCache cache(dir.path(), maxSize);
            for (QChar c : storedKept[0]) {
                cache.storeDocument(address(c), QByteArray(100, char(c.unicode())));
                QTest::qSleep(20); // distinct modification times
            }
        }
        ScheduleCache cache(dir.path(), maxSize);
        QString read;
        for (QChar c : QStringLiteral("abc")) {
            const QByteArray document = cache.document(address(c));
            QVERIFY(document.isEmpty() || document == QByteArray(100, char(c.unicode())));
            read += document.isEmpty() ? QString() : QString(c);
        }
        QCOMPARE(read, storedKept[1]);
    }

    // A first download, then one check of the kept copy against the loopback server.
    void revalidation_data()
    {
        QTest::addColumn<QByteArray>("validator"); // the header the server sends, none when empty
        QTest::addColumn<QString>("then"); // the file on the server "same" or "changed", server "down", power "cut"
        QTest::addColumn<int>("resent"); // body bytes the check cost
        QTest::addRow("ETag unchanged: 304, no body") << QByteArray("ETag") << "same" << 0;
        QTest::addRow("Last-Modified unchanged: 304") << QByteArray("Last-Modified") << "same" << 0;
        QTest::addRow("ETag differs: new bytes after the swap") << QByteArray("ETag") << "changed" << 70003;
        QTest::addRow("no validators, same body: kept") << QByteArray() << "same" << 70003;
        QTest::addRow("no validators, other body: swapped") << QByteArray() << "changed" << 70003;
        QTest::addRow("server down: old copy kept") << QByteArray("ETag") << "down" << 0;
        QTest::addRow("power cut in the swap: old copy, part gone at start") << QByteArray("ETag") << "cut" << 0;
    }

    void revalidation()
    {
        QFETCH(QByteArray, validator);
        QFETCH(QString, then);
        QFETCH(int, resent);
        QByteArray image = QByteArray(70000, 'x') + "end", tag = "\"1\"", old = image;
        int sent = 0;
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost));
        connect(&server, &QTcpServer::newConnection, this, [&] {
            QTcpSocket* socket = server.nextPendingConnection();
            connect(socket, &QTcpSocket::readyRead, socket, [&, socket] {
                const QByteArray asked = (validator == "ETag" ? "If-None-Match: " : "If-Modified-Since: ") + tag;
                const QByteArray body = socket->readAll().contains(asked) ? "" : image;
                socket->write("HTTP/1.1 " + QByteArray(body.isEmpty() ? "304 Not Modified" : "200 OK")
                    + "\r\nConnection: close\r\n" + (validator.isEmpty() ? "" : validator + ": " + tag + "\r\n")
                    + "Content-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body);
                sent += body.size();
                socket->disconnectFromHost();
            });
        });
        QTemporaryDir dir;
        auto cache = std::make_unique<ScheduleCache>(dir.path(), 1 << 20);
        const QString url = QStringLiteral("http://127.0.0.1:%1/a.png").arg(server.serverPort());
        cache->fetchMedia({ url });
        QTRY_VERIFY(!cache->busy());
        QFile kept(QUrl(cache->localCopy(url)).toLocalFile()), part(kept.fileName() + ".part");
        // A file swapped in never has this bit: it tells the kept file from an equal one.
        QVERIFY(kept.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        sent = 0;
        if (then != "same")
            image[0] = 'y', tag = "\"2\"";
        if (then == "down")
            server.close();
        QVERIFY(then != "cut" || (part.open(QIODevice::WriteOnly) && part.write(image.left(99)) == 99));
        if (then == "cut")
            cache = std::make_unique<ScheduleCache>(dir.path(), 1 << 20);
        else
            cache->fetchMedia({ url });
        QTRY_VERIFY(!cache->busy() && !part.exists());
        QCOMPARE(sent, resent);
        QCOMPARE(cache->localCopy(url), QUrl::fromLocalFile(kept.fileName()).toString());
        QCOMPARE(kept.open(QIODevice::ReadOnly) ? kept.readAll() : QByteArray(), then == "changed" ? image : old);
        QCOMPARE(kept.permissions().testFlag(QFile::ExeOwner), then != "changed");
    }
};

void TestSchedule::intake_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("address");
    QTest::addColumn<QStringList>("expected");
    const QString net = "http://h:1/ws/stream.php?action=get&device_uid=D", file = "file:///etc/tavo/player.json";
    QTest::addRow("not JSON") << QByteArray("{\"schedule\":") << net << QStringList { "error: not JSON" };
    QTest::addRow("not an object") << QByteArray("[{}]") << net << QStringList { "error: not a JSON object" };
    QTest::addRow("empty") << QByteArray(" \n") << net << QStringList { "error: empty body" };
    QTest::addRow("too large") << QByteArray(ScheduleSource::maxDocumentSize + 1, ' ') + "{}" << net
                               << QStringList { "error: body larger than 4194304 bytes" };
    QTest::addRow("no schedule") << QByteArray(R"({"error":"no"})") << net << QStringList { "error: no schedule" };
    QTest::addRow("schedule not an object beside objects")
        << QByteArray(R"({"schedule":7,"objects":[{"type":"Image","attributes":{"source":"/a.png"}}]})") << net
        << QStringList { "Image /a.png", "schedule is not an object, reading objects instead" };
    QTest::addRow("entries not objects, missing diffusion or sequence")
        << QByteArray(R"({"schedule":{"sequences":[1,[],{"sequence":{}},{"diffusion":{}},{"diffusion":{},)"
                      R"("sequence":{"elements":[{"type":"Image","attributes":{"source":"/a.png"}}]}}]}})")
        << net
        << QStringList { "Image /a.png", "keepPlayableParts - sequence 1 skipped: not an object",
               "sequence 2 skipped: no diffusion", "sequence 3 skipped: no sequence", "sequence 4: no dates" };
    QTest::addRow("elements not an array")
        << QByteArray(R"({"schedule":{"sequences":[{"diffusion":{},"sequence":{"elements":"x"}}]}})") << net
        << QStringList { "", "sequence 0: no elements", "sequence 0: no global_properties" };
    QTest::addRow("elements not objects, without attributes or of unknown type")
        << withElements(R"(7,{"type":"Image"},{"type":"Flash","attributes":{}},{"type":5,"attributes":{}},)"
                        R"({"type":"Image","attributes":{"source":"/b.png"}})")
        << net
        << QStringList { "Image /b.png", "element 0 skipped: not an object", "element 1 skipped: no attributes",
               "element 2 skipped: unknown type \"Flash\"", "element 3 skipped: unknown type 5" };
    QTest::addRow("inherited names at any depth")
        << QByteArray(R"({"__proto__":{},"schedule":{"toString":1,"sequences":[{"diffusion":{"valueOf":[]},)"
                      R"("sequence":{"constructor":0,"elements":[{"type":"Video","attributes":{"source":"/v.mp4",)"
                      R"("hasOwnProperty":{"__proto__":null}}}]}}]}})")
        << net << QStringList { "Video /v.mp4" };
    const QByteArray mixed = withElements(
        R"({"type":"Image","attributes":{"source":"file:///x.png"}},{"type":"Image","attributes":{"source":"/a"}},)"
        R"({"type":"Video","attributes":{"source":"rtsp://c"}},{"type":"WebView","attributes":{"source":"p.html"}},)"
        R"({"type":"WebView","attributes":{"source":" HTTPS://p"}},{"type":"RtspStream","attributes":{"source":7}},)"
        R"({"type":"WebView","attributes":{"source":"/p"}},{"type":"Image","attributes":{}})");
    QTest::addRow("network document keeps network sources only")
        << mixed << net
        << QStringList { "Image /a, Video rtsp://c, WebView  HTTPS://p, Image ",
               "sequence 0 element 0 skipped: scheme \"file\" in a schedule from the network: Image \"file:///x.png\"",
               "element 5 skipped: no scheme in a schedule from the network: RtspStream 7" };
    QTest::addRow("local document keeps every source, its paths as files")
        << mixed << file
        << QStringList { "Image file:///x.png, Image file:///a, Video rtsp://c, WebView file:///etc/tavo/p.html, "
                         "WebView  HTTPS://p, RtspStream , WebView file:///p, Image " };
    QTest::addRow("page builder completed, then trusted")
        << withElements(
               R"({"type":"PageBuilder","attributes":{"source":"/pb?id=1"}},)"
               R"({"type":"PageBuilder","attributes":{"source":"file:///p"}},{"type":"PageBuilder","attributes":{}})")
        << net << QStringList { "PageBuilder http://h:1/pb?id=1, PageBuilder http://h:1file:///p, PageBuilder " };
}

QTEST_GUILESS_MAIN(TestSchedule)
#include "tst_schedule.moc"
