#include <QDirIterator>
#include <QQmlContext>
#include <QQmlEngine>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtQuickTest>

#include "QmlVlc.h"
#include "media_fixture.h"

// What the QML test needs from outside: clips made by ffmpeg, a subtitle server
// on loopback (any path gives a short SubRip file, /big* gives 2 MB) and a look
// at the files the players write into the temporary directory.
class Fixture : public QObject {
    Q_OBJECT
    Q_PROPERTY(QVariantMap clips MEMBER m_clips CONSTANT)

    QTemporaryDir m_dir;
    QTcpServer m_server;
    QVariantMap m_clips;

    bool setUp()
    {
        QFile srt(m_dir.filePath("in.srt"));
        if (!QDir(m_dir.path()).mkdir("tmp") || !srt.open(QIODevice::WriteOnly)
            || srt.write("1\n00:00:00,000 --> 00:00:20,000\nembedded\n\n") <= 0
            || !m_server.listen(QHostAddress::LocalHost))
            return false;
        srt.close();
        qputenv("TMPDIR", m_dir.filePath("tmp").toUtf8());
        m_clips["srt"] = QUrl::fromLocalFile(srt.fileName()).toString();
        m_clips["server"] = QString("http://127.0.0.1:%1/").arg(m_server.serverPort());
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            QTcpSocket* s = m_server.nextPendingConnection();
            connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
            connect(s, &QTcpSocket::readyRead, s, [s] {
                const QByteArray body = QByteArray("1\n00:00:00,000 --> 00:00:30,000\nloaded\n\n")
                                            .repeated(s->readAll().startsWith("GET /big") ? 50000 : 1);
                s->write("HTTP/1.0 200 OK\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body);
                s->disconnectFromHost();
            });
        });
        const QString x264 = "-c:v libx264 -preset ultrafast -pix_fmt yuv420p";
        ffmpeg("tracks", ".mkv", // 20 s, two titled audio tracks and a subtitle track
            "-f lavfi -i testsrc=s=320x240:r=25 -f lavfi -i sine=f=440 -f lavfi -i sine=f=880 -i " + srt.fileName()
                + " -map 0:v -map 1:a -map 2:a -map 3:s -t 20 " + x264
                + " -c:a aac -c:s srt -metadata:s:a:0 title=low -metadata:s:a:1 title=high");
        ffmpeg("red", ".mp4", "-f lavfi -i color=c=red:s=160x120:r=25 -t 1 " + x264);
        ffmpeg("blue", ".mp4", "-f lavfi -i color=c=blue:s=160x120:r=25 -t 1 " + x264);
        return m_clips.size() == 5;
    }

    void ffmpeg(const QString& name, const QString& ext, const QString& args)
    {
        if (const QString path = generate(name + ext, args.split(' ')); !path.isEmpty())
            m_clips[name] = QUrl::fromLocalFile(path).toString();
    }

public:
    // Files anywhere below the test's directory, relative to the temporary one.
    Q_INVOKABLE QStringList files(const QString& pattern) const
    {
        QStringList found;
        QDirIterator it(m_dir.path(), { pattern }, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext())
            found << QDir(m_dir.filePath("tmp")).relativeFilePath(it.next());
        return found;
    }

public slots:
    void applicationAvailable()
    {
        initQmlVlc();
        if (!setUp())
            qFatal("clips or subtitle server missing: %s", qPrintable(m_clips.keys().join(' ')));
    }
    void qmlEngineAvailable(QQmlEngine* engine) { engine->rootContext()->setContextProperty("fixture", this); }
};

QUICK_TEST_MAIN_WITH_SETUP(tst_objects, Fixture)
#include "tst_objects.moc"
