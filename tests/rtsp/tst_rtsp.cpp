// The player's own RTSP input under the wrapper's player, against a loopback
// RTSP server: how failures surface, and that nothing is left waiting on the
// network. Runs in a private network namespace; built with the sanitizers too.

#include <QtNetwork>
#include <QtTest>

#include <atomic>
#include <csignal>
#include <memory>

#include "media_fixture.h"
#include "vlc_player.h"
#include "vlc_rtsp_input.h"

namespace {

// Counts the ends and errors a player reports; written on libvlc's event thread.
struct event_recorder : vlc::media_player_events_callback {
    std::atomic<int> errors { 0 }, ends { 0 };
    void media_player_event(const libvlc_event_t* e) override
    {
        errors += e->type == libvlc_MediaPlayerEncounteredError;
        ends += e->type == libvlc_MediaPlayerEndReached;
    }
};

int thread_count() { return int(QDir("/proc/self/task").entryList(QDir::Dirs | QDir::NoDotAndDotDot).size()); }

// VLC's stream output answering RTSP on 127.0.0.1:port/test with a red H.264
// clip. cvlc refuses root: setpriv runs it as nobody, in place, so that
// signals to the process reach the server itself.
struct rtsp_server {
    QTemporaryDir dir { "/tmp/rtsp-server.XXXXXX" };
    QProcess vlc;
    bool start(int port)
    {
        const QString clip = dir.filePath("red.mp4");
        QFile::setPermissions(dir.path(), QFileDevice::Permissions(0x7755));
        if (!QFile::copy(
                generate("red-h264.mp4",
                    { "-f", "lavfi", "-i", "color=c=red:s=320x240:r=25", "-t", "60", "-g", "12", "-c:v", "libx264" }),
                clip))
            return false;
        vlc.start("env",
            { "HOME=" + dir.path(), "setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups", "cvlc", "-q",
                clip, "--sout", QString("#rtp{sdp=rtsp://127.0.0.1:%1/test}").arg(port), "--run-time=90" });
        // Ready once ffprobe reads the stream: VLC answers RTSP before its stream runs.
        return QTest::qWaitFor(
            [port] {
                return QProcess::execute("ffprobe",
                           { "-v", "quiet", "-rtsp_transport", "udp", QString("rtsp://127.0.0.1:%1/test").arg(port) })
                    == 0;
            },
            15000);
    }
    ~rtsp_server() { vlc.kill(), vlc.waitForFinished(5000); }
};

struct listener_guard {
    vlc::player& p;
    event_recorder& r;
    ~listener_guard() { p.unregister_callback(&r); }
};
enum action { none, kill_server, silence_server };
enum ending { by_stop, by_replacing, by_destroying };

} // namespace

class tst_rtsp : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_instance = new_quiet_instance());
        QVERIFY2(vlc::rtsp_input::handles("rtsp://127.0.0.1/x"), "this libvlc has live555: nothing to test here");
    }
    void cleanupTestCase() { libvlc_release(m_instance); }

    // Failing to open is an error, as for any media libvlc opens itself. A
    // server that closes the session ends the stream (libvlc's own network
    // inputs end on a closed connection); one that falls silent is an error
    // after the read time-out. The address reads back as it was given.
    void outcomes_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<int>("after_picture");
        QTest::addColumn<int>("expected"); // the state it ends in, with one event saying so
        const int error = libvlc_Error, end = libvlc_Ended;
        QTest::addRow("no server on the port") << "rtsp://127.0.0.1:8555/test" << int(none) << error;
        QTest::addRow("server closes the session") << "rtsp://127.0.0.1:8556/test" << int(kill_server) << end;
        QTest::addRow("server falls silent") << "rtsp://127.0.0.1:8556/test" << int(silence_server) << error;
    }
    void outcomes()
    {
        QFETCH(QString, address);
        QFETCH(int, after_picture);
        QFETCH(int, expected);
        rtsp_server server;
        QVERIFY(after_picture == none || server.start(8556));
        vlc::player p;
        QVERIFY(p.open(m_instance));
        event_recorder events;
        p.register_callback(&events);
        listener_guard guard { p, events };
        QCOMPARE(p.add_media(address.toUtf8().constData(), 0, nullptr, 0, nullptr), 0);
        QVERIFY(p.play(0));
        if (after_picture != none) {
            unsigned width = 0, height = 0;
            // The size of the decoded picture: the stream came through to a decoder.
            QTRY_VERIFY_WITH_TIMEOUT(
                libvlc_video_get_size(p.basic_player().get_mp(), 0, &width, &height) == 0 && width > 0, 10000);
            QCOMPARE(int(width) * 1000 + int(height), 320240);
            ::kill(pid_t(server.vlc.processId()), after_picture == kill_server ? SIGKILL : SIGSTOP);
        }
        QTRY_COMPARE_WITH_TIMEOUT((expected == libvlc_Ended ? events.ends : events.errors).load(), 1, 15000);
        QCOMPARE(events.errors + events.ends, 1);
        QCOMPARE(p.basic_player().get_state(), libvlc_state_t(expected));
        QCOMPARE(QString::fromStdString(p.basic_player().current_media().mrl()), address);
    }

    // A server that accepts the connection and never answers: whichever way
    // the player lets go of the stream, the caller (the GUI thread) must not
    // wait for libavformat's time-outs, and no thread may stay behind.
    void stuckStreamLetGo_data()
    {
        QTest::addColumn<int>("ending");
        QTest::addRow("stopped") << int(by_stop);
        QTest::addRow("replaced by another stream") << int(by_replacing);
        QTest::addRow("player destroyed") << int(by_destroying);
    }
    void stuckStreamLetGo()
    {
        QFETCH(int, ending);
        QTcpServer silent;
        QVERIFY(silent.listen(QHostAddress::LocalHost));
        const QByteArray address = "rtsp://127.0.0.1:" + QByteArray::number(silent.serverPort()) + "/silent";
        const int threads_before = thread_count();
        auto p = std::make_unique<vlc::player>();
        QVERIFY(p->open(m_instance));
        QCOMPARE(p->add_media(address.constData(), 0, nullptr, 0, nullptr), 0);
        QCOMPARE(p->add_media((address + "2").constData(), 0, nullptr, 0, nullptr), 1);
        QVERIFY(p->play(0));
        // Playing the transport stream, while the input still waits for an answer.
        QTRY_COMPARE_WITH_TIMEOUT(p->basic_player().get_state(), libvlc_Playing, 5000);
        QTRY_VERIFY_WITH_TIMEOUT(silent.hasPendingConnections(), 5000);
        QElapsedTimer took;
        took.start();
        ending == by_stop ? p->stop() : ending == by_replacing ? void(p->play(1)) : p.reset();
        const qint64 elapsed = took.elapsed();
        qInfo("let go in %lld ms", elapsed);
        p.reset();
        QVERIFY2(elapsed < 50, qPrintable(QString("%1 ms").arg(elapsed)));
        QTRY_COMPARE_WITH_TIMEOUT(thread_count(), threads_before, 3000);
    }

    void live555Decision()
    {
        QTemporaryDir plugins;
        QVERIFY(QDir(plugins.path()).mkpath("access"));
        QVERIFY(!vlc::rtsp_input::live555_in({ plugins.path().toStdString() }));
        QVERIFY(QFile(plugins.filePath("access/liblive555_plugin.so")).open(QIODevice::WriteOnly));
        QVERIFY(vlc::rtsp_input::live555_in({ "/nonexistent", plugins.path().toStdString() }));
    }

private:
    libvlc_instance_t* m_instance = nullptr;
};

QTEST_GUILESS_MAIN(tst_rtsp)
#include "tst_rtsp.moc"
