#include <QDirIterator>
#include <QProcess>
#include <QQmlContext>
#include <QQmlEngine>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>
#include <QUrl>
#include <QtQuickTest>

#include "QmlVlc.h"

// What the QML test needs from outside: clips made by ffmpeg, a subtitle server
// on loopback and a look into the temporary directory the player writes to.
class Fixture : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString tracks MEMBER m_tracks CONSTANT)
    Q_PROPERTY(QString red MEMBER m_red CONSTANT)
    Q_PROPERTY(QString blue MEMBER m_blue CONSTANT)
    Q_PROPERTY(QString rawH264 MEMBER m_rawH264 CONSTANT)
    Q_PROPERTY(QString localSrt MEMBER m_localSrt CONSTANT)
    Q_PROPERTY(QString server MEMBER m_server CONSTANT)

public:
    QTemporaryDir dir;
    QProcess server;
    QString m_tracks, m_red, m_blue, m_rawH264, m_localSrt, m_server = "http://127.0.0.1:8765/";

    bool setUp()
    {
        // Subtitle files go below the system's temporary directory, so make it ours.
        if (!dir.isValid() || !QDir(dir.path()).mkdir("tmp"))
            return false;
        qputenv("TMPDIR", dir.filePath("tmp").toUtf8());
        QFile srt(dir.filePath("in.srt"));
        if (!srt.open(QIODevice::WriteOnly) || srt.write("1\n00:00:00,000 --> 00:00:20,000\nembedded\n\n") <= 0)
            return false;
        srt.close();
        m_localSrt = QUrl::fromLocalFile(srt.fileName()).toString();
        m_tracks = ffmpeg("tracks.mkv",
            { "-f", "lavfi", "-i", "testsrc=s=320x240:r=25", "-f", "lavfi", "-i", "sine=f=440", "-f", "lavfi", "-i",
                "sine=f=880", "-i", srt.fileName(), "-map", "0:v", "-map", "1:a", "-map", "2:a", "-map", "3:s", "-t",
                "20", "-c:v", "libx264", "-preset", "ultrafast", "-pix_fmt", "yuv420p", "-c:a", "aac", "-c:s", "srt",
                "-metadata:s:a:0", "title=low", "-metadata:s:a:1", "title=high" });
        m_red = ffmpeg("red.mp4", { "-f", "lavfi", "-i", "color=c=red:s=160x120:r=25", "-t", "1", "-pix_fmt", "yuv420p" });
        m_blue
            = ffmpeg("blue.mp4", { "-f", "lavfi", "-i", "color=c=blue:s=160x120:r=25", "-t", "1", "-pix_fmt", "yuv420p" });
        // An H.264 stream without a container or a telling name: only a forced demuxer opens it.
        m_rawH264 = ffmpeg("raw.bin",
            { "-f", "lavfi", "-i", "color=c=green:s=160x120:r=25", "-t", "2", "-pix_fmt", "yuv420p", "-f", "h264" });
        server.setProcessChannelMode(QProcess::ForwardedChannels);
        server.start("python3", { QFINDTESTDATA("serve.py"), "8765" });
        for (int i = 0; i < 100; ++i) {
            QTcpSocket probe;
            probe.connectToHost("127.0.0.1", 8765);
            if (probe.waitForConnected(100))
                return !m_tracks.isEmpty() && !m_red.isEmpty() && !m_blue.isEmpty() && !m_rawH264.isEmpty();
            QThread::msleep(50);
        }
        return false;
    }

    QString ffmpeg(const QString& name, const QStringList& args)
    {
        QProcess ff;
        ff.setProcessChannelMode(QProcess::ForwardedChannels);
        ff.start("ffmpeg", QStringList { "-v", "error", "-y" } + args + QStringList { dir.filePath(name) });
        return ff.waitForFinished(120000) && ff.exitCode() == 0 ? QUrl::fromLocalFile(dir.filePath(name)).toString()
                                                                : QString();
    }

    // The subtitle files the player has made, relative to the temporary directory.
    Q_INVOKABLE QStringList subtitleFiles() const
    {
        QStringList found;
        const QDir tmp(dir.filePath("tmp"));
        QDirIterator it(tmp.path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            if (it.fileName().startsWith("url-sub-") || it.fileName().startsWith("str-sub-"))
                found << tmp.relativeFilePath(path);
        }
        found.sort();
        return found;
    }
    // Every file below the test's directory whose name is given, wherever it landed.
    Q_INVOKABLE int filesNamed(const QString& name) const
    {
        int n = 0;
        QDirIterator it(dir.path(), { name }, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext() && !it.next().isEmpty())
            ++n;
        return n;
    }
};

class Setup : public QObject {
    Q_OBJECT
    Fixture m_fixture;

public slots:
    void applicationAvailable()
    {
        initQmlVlc();
        if (!m_fixture.setUp())
            qFatal("media or subtitle server could not be prepared");
    }
    void qmlEngineAvailable(QQmlEngine* engine) { engine->rootContext()->setContextProperty("fixture", &m_fixture); }
    void cleanupTestCase()
    {
        m_fixture.server.kill();
        m_fixture.server.waitForFinished();
    }
};

QUICK_TEST_MAIN_WITH_SETUP(tst_objects, Setup)
#include "tst_objects.moc"
