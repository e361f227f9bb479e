// The player's own RTSP input under the wrapper's player, against a loopback
// RTSP server: how failures surface, and that nothing is left waiting on the
// network. Runs in a private network namespace; built with the sanitizers too.

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "../wrapper/wrapper_fixture.h"
#include "vlc_rtsp_input.h"

using namespace wrapper_test;

namespace {

int thread_count() { return int(QDir("/proc/self/task").entryList(QDir::Dirs | QDir::NoDotAndDotDot).size()); }

// VLC's stream output answering RTSP on 127.0.0.1:port/test with a red H.264
// clip. cvlc refuses root, so it runs as nobody on a copy it can read.
class rtsp_server {
public:
    bool start(int port = 8554)
    {
        _dir.setAutoRemove(true);
        QFile::setPermissions(_dir.path(),
            QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner | QFileDevice::ReadOther
                | QFileDevice::ExeOther);
        const QString clip = _dir.filePath("red.mp4");
        if (!QFile::copy(generate("red-h264.mp4",
                             { "-f", "lavfi", "-i", "color=c=red:s=320x240:r=25", "-t", "60", "-pix_fmt", "yuv420p",
                                 "-c:v", "libx264", "-g", "12" }),
                clip))
            return false;
        QFile::setPermissions(clip, QFileDevice::ReadOwner | QFileDevice::ReadOther);
        // setpriv execs cvlc in place, so killing the process kills the server.
        _vlc.start("env",
            { "HOME=" + _dir.path(), "setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups", "cvlc", "-q",
                clip, "--sout", QString("#rtp{sdp=rtsp://127.0.0.1:%1/test}").arg(port), "--sout-keep", "--loop",
                "--run-time=90" });
        if (!_vlc.waitForStarted(5000))
            return false;
        // Listening once a connection to its port goes through.
        for (int tries = 0; tries < 100; ++tries) {
            const int probe = socket(AF_INET, SOCK_STREAM, 0);
            sockaddr_in at {};
            at.sin_family = AF_INET;
            at.sin_port = htons(quint16(port));
            at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            const bool up = ::connect(probe, reinterpret_cast<sockaddr*>(&at), sizeof at) == 0;
            ::close(probe);
            if (up)
                return true;
            QTest::qWait(100);
        }
        qWarning() << _vlc.readAll();
        return false;
    }
    void pause() { ::kill(pid_t(_vlc.processId()), SIGSTOP); }
    void kill()
    {
        _vlc.kill();
        _vlc.waitForFinished(5000);
    }
    ~rtsp_server() { kill(); }

private:
    QTemporaryDir _dir { "/tmp/rtsp-server.XXXXXX" };
    QProcess _vlc;
};

struct listener_guard {
    vlc::player& p;
    event_recorder& r;
    ~listener_guard() { p.unregister_callback(&r); }
};

} // namespace

class tst_rtsp : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        m_instance = new_quiet_instance();
        QVERIFY(m_instance);
        QVERIFY2(vlc::rtsp_input::handles("rtsp://127.0.0.1/x"), "this libvlc has live555: nothing to test here");
        QVERIFY(m_server.start());
    }
    void cleanupTestCase()
    {
        m_server.kill();
        libvlc_release(m_instance);
    }

    // A failure is an error as for any media libvlc opens itself, and the
    // address reads back as it was given.
    void failures_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addRow("a path the server does not have") << "rtsp://127.0.0.1:8554/missing";
        QTest::addRow("no server on the port") << "rtsp://127.0.0.1:8555/test";
        QTest::addRow("a password the log must not show") << "rtsp://user:pw@127.0.0.1:8555/test";
    }
    void failures()
    {
        QFETCH(QString, address);
        vlc::player p;
        QVERIFY(p.open(m_instance));
        event_recorder events;
        p.register_callback(&events);
        listener_guard guard { p, events };
        QCOMPARE(p.add_media(address.toUtf8().constData(), 0, nullptr, 0, nullptr), 0);
        QCOMPARE(QString::fromStdString(p.get_media(0).mrl()), address);
        QVERIFY(p.play(0));
        QTRY_COMPARE_WITH_TIMEOUT(events.count(libvlc_MediaPlayerEncounteredError), 1, 10000);
        QCOMPARE(events.count(libvlc_MediaPlayerEndReached), 0);
        QCOMPARE(p.basic_player().get_state(), libvlc_Error);
        QCOMPARE(QString::fromStdString(p.basic_player().current_media().mrl()), address);
    }

    // The picture comes through. A server that closes the session ends the
    // stream, as libvlc's own network inputs end on a closed connection; one
    // that falls silent is an error once the read time-out has passed.
    void serverGoesAway_data()
    {
        QTest::addColumn<bool>("silent");
        QTest::addColumn<int>("expected");
        QTest::addRow("server closes the session") << false << int(libvlc_MediaPlayerEndReached);
        QTest::addRow("server falls silent") << true << int(libvlc_MediaPlayerEncounteredError);
    }
    void serverGoesAway()
    {
        QFETCH(bool, silent);
        QFETCH(int, expected);
        rtsp_server server;
        QVERIFY(server.start(8556));
        vlc::player p;
        QVERIFY(p.open(m_instance));
        event_recorder events;
        p.register_callback(&events);
        listener_guard guard { p, events };
        QCOMPARE(p.add_media("rtsp://127.0.0.1:8556/test", 0, nullptr, 0, nullptr), 0);
        QVERIFY(p.play(0));
        unsigned width = 0, height = 0;
        // The size of the decoded picture: the stream came through to a decoder.
        QTRY_VERIFY_WITH_TIMEOUT(
            libvlc_video_get_size(p.basic_player().get_mp(), 0, &width, &height) == 0 && width > 0, 10000);
        QCOMPARE(int(width), 320);
        QCOMPARE(int(height), 240);
        QTRY_VERIFY_WITH_TIMEOUT(libvlc_media_player_get_time(p.basic_player().get_mp()) > 500, 5000);
        if (silent)
            server.pause();
        else
            server.kill();
        const int other = expected == libvlc_MediaPlayerEndReached ? libvlc_MediaPlayerEncounteredError
                                                                   : libvlc_MediaPlayerEndReached;
        QTRY_COMPARE_WITH_TIMEOUT(events.count(libvlc_event_type_t(expected)), 1, 15000);
        QCOMPARE(events.count(libvlc_event_type_t(other)), 0);
    }

    // A server that accepts the connection and never answers: stopping or
    // closing the player must not wait for libavformat's time-outs.
    void stoppedWhileConnecting_data()
    {
        QTest::addColumn<bool>("close");
        QTest::addRow("stopped") << false;
        QTest::addRow("closed") << true;
    }
    void stoppedWhileConnecting()
    {
        QFETCH(bool, close);
        const int listening = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in at {};
        at.sin_family = AF_INET;
        at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof at;
        QVERIFY(bind(listening, reinterpret_cast<sockaddr*>(&at), size) == 0 && listen(listening, 4) == 0);
        QVERIFY(getsockname(listening, reinterpret_cast<sockaddr*>(&at), &size) == 0);
        const QByteArray address = "rtsp://127.0.0.1:" + QByteArray::number(ntohs(at.sin_port)) + "/silent";

        const int threads_before = thread_count();
        {
            vlc::player p;
            QVERIFY(p.open(m_instance));
            QCOMPARE(p.add_media(address.constData(), 0, nullptr, 0, nullptr), 0);
            QVERIFY(p.play(0));
            QTest::qWait(700);
            QCOMPARE(p.basic_player().get_state(), libvlc_Playing);
            QElapsedTimer took;
            took.start();
            if (close)
                p.close();
            else
                p.stop();
            QVERIFY2(took.elapsed() < 1000, qPrintable(QString("%1 ms").arg(took.elapsed())));
        }
        ::close(listening);
        QTRY_COMPARE_WITH_TIMEOUT(thread_count(), threads_before, 3000);
    }

    void live555Decision()
    {
        QTemporaryDir plugins;
        QVERIFY(QDir(plugins.path()).mkpath("access"));
        QVERIFY(!vlc::rtsp_input::live555_in({ plugins.path().toStdString() }));
        QFile module(plugins.filePath("access/liblive555_plugin.so"));
        QVERIFY(module.open(QIODevice::WriteOnly));
        QVERIFY(vlc::rtsp_input::live555_in({ "/nonexistent", plugins.path().toStdString() }));
        QVERIFY(!vlc::rtsp_input::libvlc_plugin_dirs().empty());
    }

private:
    libvlc_instance_t* m_instance = nullptr;
    rtsp_server m_server;
};

QTEST_GUILESS_MAIN(tst_rtsp)
#include "tst_rtsp.moc"
