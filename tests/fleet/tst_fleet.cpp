// SPDX-License-Identifier: GPL-2.0-or-later
// The fleet's rules without a broker: [mqtt] settings, topics, the state document,
// the screenshot's JPEG, https addresses, and player-remote's broker requests.
#include "FleetClient.h"
#include "FleetSettings.h"
#include "FleetState.h"
#include "MqttConnection.h"
#include "ServerUrls.h"
#include "remoterequest.h"

#include <QBuffer>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

class TestFleet : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    int m_files = 0;

    QString settings(const QString& ini)
    {
        // A file of its own each time: settings files are cached by name and modification second.
        const QString path = m_dir.filePath(QString("%1.ini").arg(++m_files));
        QFile file(path);
        file.open(QIODevice::WriteOnly | QIODevice::Truncate);
        file.write(ini.toUtf8());
        return path;
    }

private slots:
    void settings_data()
    {
        QTest::addColumn<QString>("ini");
        QTest::addColumn<QString>("expected"); // host port prefix user tls cafile keepalive, then the problems
        QTest::addRow("no broker: off") << "[json]\nhost=h\n"
                                        << "off";
        QTest::addRow("defaults") << "[mqtt]\nbroker=b\n"
                                  << "b 1883 player - 0 - 30";
        QTest::addRow("all set") << "[mqtt]\nbroker=b:1\nprefix=/a/b/\nusername=u\npassword=p,q\ntls=yes\ncafile=c\n"
                                    "keepalive=120\n"
                                 << "b 1 a/b u 1 c 120";
        QTest::addRow("tls default port, [json] cafile") << "[json]\ncafile=j\n[mqtt]\nbroker=b\ntls=true\n"
                                                         << "b 8883 player - 1 j 30";
        QTest::addRow("IPv6 with and without port") << "[mqtt]\nbroker=[::1]:9\n"
                                                    << "::1 9 player - 0 - 30";
        QTest::addRow("bare IPv6") << "[mqtt]\nbroker=fe80::1\n"
                                   << "fe80::1 1883 player - 0 - 30";
        QTest::addRow("port 0: off") << "[mqtt]\nbroker=b:0\n"
                                     << "off|[mqtt] broker=b:0 is not HOST or HOST:PORT: no fleet";
        QTest::addRow("no host: off") << "[mqtt]\nbroker=:1883\n"
                                      << "off|[mqtt] broker=:1883 is not HOST or HOST:PORT: no fleet";
        QTest::addRow("wildcard prefix, short keepalive, odd tls")
            << "[mqtt]\nbroker=b\nprefix=a/#\nkeepalive=2\ntls=maybe\n"
            << "b 1883 player - 0 - 30|[mqtt] tls=maybe is neither true nor false: off|[mqtt] prefix=a/# holds a "
               "wildcard: \"player\" is used|[mqtt] keepalive=2 is not 5 to 65535 seconds: 30";
    }
    void settings()
    {
        QFETCH(QString, ini);
        QFETCH(QString, expected);
        const FleetSettings s = FleetSettings::fromFile(settings(ini));
        auto dash = [](const QString& text) { return text.isEmpty() ? QStringLiteral("-") : text; };
        const QString values = !s.enabled ? QStringLiteral("off")
                                          : QStringList { s.host, QString::number(s.port), s.prefix, dash(s.username),
                                                QString::number(s.tls), dash(s.cafile), QString::number(s.keepalive) }
                                                .join(' ');
        QCOMPARE(QStringList(QStringList { values } + s.problems).join('|'), expected);
        if (ini.contains("password"))
            QCOMPARE(s.password, QString("p,q"));
    }

    void built_data()
    {
        QTest::addColumn<QString>("built");
        QTest::addColumn<QString>("expected");
        FleetSettings f;
        QTest::addRow("a screen's topic") << f.topic("S-1", "state") << "player/S-1/state";
        QTest::addRow("every screen's") << f.topic("", "command") << "player/command";
        QTest::addRow("one level whatever the name") << f.topic("a/b+c#", "online") << "player/a_b_c_/online";
        ServerUrls::setScheme("https");
        QTest::addRow("https schedule") << ServerUrls::deviceSchedule("h:1", "D", "", "")
                                        << "https://h:1/ws/stream.php?action=get&device_uid=D";
        QTest::addRow("https media and pages") << ServerUrls::media("h:1", "/a.png") + " "
                + ServerUrls::pageBuilder("h:1", "/p") + " " + ServerUrls::media("h:1", "http://x/a.png")
                                               << "https://h:1/a.png https://h:1/p http://x/a.png";
        ServerUrls::setScheme("ftp");
        QTest::addRow("another scheme is http") << ServerUrls::media("h:1", "/a") << "http://h:1/a";
        QString scheme;
        for (const char* value : { "HTTPS", "gopher", "" }) {
            const bool known
                = ServerUrls::schemeFromSettings(settings(QString("[json]\nscheme=%1\n").arg(value)), &scheme);
            QTest::addRow("[json] scheme=%s", value) << scheme + " " + QString::number(known)
                                                     << (*value == 'H'   ? "https 1"
                                                                : *value ? "http 0"
                                                                         : "http 1");
        }
        QStringList delays;
        for (int attempt : { -1, 0, 3, 6, 40 })
            delays << QString::number(MqttConnection::retryDelayMs(attempt));
        QTest::addRow("reconnection back-off") << delays.join(' ') << "1000 1000 8000 60000 60000";
        // The state after a sequence of status datagrams: changed?, then the document's telling fields.
        FleetState state;
        const QDateTime at = QDateTime::fromString("2026-12-08T10:00:00Z", Qt::ISODate);
        QString seen;
        auto take = [&](const QString& datagram) {
            seen += QString::number(state.take(datagram, at));
            const QJsonObject json = QJsonDocument::fromJson(state.json(7, { "10.0.0.2" })).object();
            seen += " " + json["composition"].toObject()["source"].toString("-") + " " + json["since"].toString("-")
                + " " + QString::number(json["paused"].toBool()) + ";";
        };
        take(R"({"cmd":"player_is_paused","id":"auto","device_id":""})");
        take(R"({"cmd":"player_is_paused","id":"auto","device_id":""})");
        take(R"({"cmd":"player_composition_changed","id":"auto","device_id":"D","infos":{"source":"/a.png"}})");
        take(R"({"cmd":"player_next","id":"1","device_id":"D"})");
        take("not json");
        QTest::addRow("state from datagrams") << seen
                                              << "1 - - 1;0 - - 1;1 /a.png 2026-12-08T10:00:00.000Z 0;0 /a.png "
                                                 "2026-12-08T10:00:00.000Z 0;0 /a.png 2026-12-08T10:00:00.000Z 0;";
        const QJsonObject json = QJsonDocument::fromJson(state.json(7, { "10.0.0.2" })).object();
        QTest::addRow("state facts") << QStringList(json.keys()).join(',') + " " + json["device_id"].toString() + " "
                + QString::number(json["uptime_s"].toInt()) + " " + json["addresses"].toArray().first().toString()
                                     << "addresses,composition,decoder,device_id,paused,schedule,since,uptime_s,"
                                        "version D 7 10.0.0.2";
    }
    void built()
    {
        QFETCH(QString, built);
        QFETCH(QString, expected);
        QCOMPARE(built, expected);
    }

    // A screenshot: JPEG, at most 1280 wide, proportions and colour kept.
    void jpeg_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QSize>("expected");
        QTest::addRow("full HD scaled down") << QSize(1920, 1080) << QSize(1280, 720);
        QTest::addRow("small kept") << QSize(640, 480) << QSize(640, 480);
        QTest::addRow("no picture") << QSize() << QSize(0, 0);
    }
    void jpeg()
    {
        QFETCH(QSize, size);
        QFETCH(QSize, expected);
        QImage picture(size, QImage::Format_ARGB32_Premultiplied);
        picture.fill(QColor(0, 0, 255));
        const QByteArray bytes = FleetClient::jpeg(picture);
        const QImage read = QImage::fromData(bytes, "JPEG");
        QCOMPARE(read.size(), expected);
        if (!read.isNull())
            QVERIFY(qAbs(read.pixelColor(read.width() / 2, read.height() / 2).blue() - 255) < 8);
    }

    // A broker that is not there: one reason, nothing published, and the owner goes at once.
    void absentBroker()
    {
        QElapsedTimer clock;
        clock.start();
        {
            MqttConnection connection;
            QSignalSpy told(&connection, &MqttConnection::disconnected);
            MqttConnection::Options options;
            options.host = "127.0.0.1";
            options.port = 1;
            connection.open(options);
            QVERIFY(told.wait(3000));
            QCOMPARE(told.first().first().toString(), QString("Connection refused"));
            QVERIFY(!connection.isConnected() && !connection.publish("t", "x", false));
        }
        QVERIFY(clock.elapsed() < 2500);
    }

    // player-remote through a broker: the topic a command goes to, or the refusal.
    void remote_data()
    {
        QTest::addColumn<QString>("arguments");
        QTest::addColumn<QString>("expected");
        const QString b = "--mqtt=h --prefix=f ";
        QTest::addRow("to every screen") << b + "next"
                                         << "h:1883 f/command";
        QTest::addRow("to one screen, TLS") << "--mqtt=h:9 --tls next --to S1"
                                            << "h:9 player/S1/command";
        QTest::addRow("tls default port") << "--mqtt h --tls next"
                                          << "h:8883 player/command";
        QTest::addRow("sync to one screen") << b + "sync --to S1 --host x"
                                            << "h:1883 f/S1/sync";
        QTest::addRow("sync needs a screen") << b + "syncing"
                                             << "syncing over a broker needs --to SCREEN";
        QTest::addRow("listen") << b + "listen"
                                << "h:1883 f/+/event";
        QTest::addRow("screenshot") << b + "screenshot S1"
                                    << "h:1883 S1 S1.jpg";
        QTest::addRow("screenshot -o") << b + "screenshot S1 -o /tmp/s.jpg"
                                       << "h:1883 S1 /tmp/s.jpg";
        QTest::addRow("fleet needs a broker") << "fleet --json"
                                              << "fleet needs --mqtt";
        QTest::addRow("broker options need it") << "next --tls"
                                                << "--tls needs --mqtt";
        QTest::addRow("bad port") << "--mqtt=h:0 next"
                                  << "--mqtt wants HOST or HOST:PORT, not \"h:0\"";
        QTest::addRow("wildcard screen") << b + "next --to a/+"
                                         << "--to wants a screen identifier, not \"a/+\"";
    }
    void remote()
    {
        QFETCH(QString, arguments);
        QFETCH(QString, expected);
        const remote::Request r = remote::parse(arguments.split(' '), "id");
        const QString where = r.broker.host + ":" + QString::number(r.broker.port) + " ";
        QCOMPARE(
            r.error.isEmpty() ? where + (r.screen.isEmpty() ? r.topic : r.screen + " " + r.output) : r.error, expected);
    }
};

QTEST_MAIN(TestFleet)
#include "tst_fleet.moc"
