// The cost of the video path: a 1080p30 H.264 clip decoded by libvlc into a
// video-memory sink that does nothing (the baseline), then played through
// VlcPlayer into a full-screen VlcVideoSurface. Prints frames decoded, handed
// to the surface and drawn, the settled frame pool, and process CPU time per
// decoded frame for both, with their ratio.
//
// Needs an X display (OpenGL):
//   tests/isolate.sh --net --x -- build/bench/video_path [seconds]

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QProcess>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickView>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>

#include <sys/resource.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <functional>
#include <vector>

#include "QmlVlc.h"
#include "QmlVlcPlayerProxy.h"
#include "QmlVlcVideoOutput.h"
#include "SGVlcVideoNode.h"

namespace {

double cpuMs()
{
    rusage u {};
    getrusage(RUSAGE_SELF, &u);
    return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1e3 + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e3;
}

// The baseline sink: the same I420 layout, one buffer, nothing done with it.
struct NullSink {
    std::vector<char> buffer;
    std::atomic<unsigned> displayed { 0 };

    static unsigned format(
        void** opaque, char* chroma, unsigned* width, unsigned* height, unsigned* pitches, unsigned* lines)
    {
        auto* self = static_cast<NullSink*>(*opaque);
        std::memcpy(chroma, "I420", 4);
        pitches[0] = (*width + 3) & ~3u;
        pitches[1] = pitches[2] = (*width / 2 + 3) & ~3u;
        lines[0] = *height;
        lines[1] = lines[2] = *height / 2;
        self->buffer.resize(pitches[0] * lines[0] + 2 * pitches[1] * lines[1]);
        return 3;
    }
    static void* lock(void* opaque, void** planes)
    {
        auto* self = static_cast<NullSink*>(opaque);
        planes[0] = planes[1] = planes[2] = self->buffer.data();
        return nullptr;
    }
    static void display(void* opaque, void*) { ++static_cast<NullSink*>(opaque)->displayed; }
};

void waitUntil(QGuiApplication& app, const std::function<bool()>& done, int timeoutMs)
{
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < timeoutMs)
        app.processEvents(QEventLoop::AllEvents, 20);
}

} // namespace

int main(int argc, char** argv)
{
    initQmlVlc();
    QGuiApplication app(argc, argv);
    const QString seconds = argc > 1 ? QString::fromLatin1(argv[1]) : QStringLiteral("10");

    QTemporaryDir dir;
    const QString clip = dir.filePath("1080p30.mp4");
    QProcess ff;
    ff.start("ffmpeg",
        { "-v", "error", "-f", "lavfi", "-i", "testsrc2=size=1920x1080:rate=30", "-t", seconds, "-pix_fmt", "yuv420p",
            "-c:v", "libx264", "-preset", "veryfast", clip });
    if (!ff.waitForFinished(300000) || ff.exitCode() != 0) {
        std::fprintf(stderr, "video_path: ffmpeg failed\n");
        return 1;
    }
    const QByteArray mrl = QUrl::fromLocalFile(clip).toEncoded();

    // Baseline: libvlc alone, pictures into a sink that does nothing.
    const char* args[] = { "--no-video-title-show", "--aout=adummy", "-q" };
    libvlc_instance_t* vlc = libvlc_new(3, args);
    libvlc_media_t* media = libvlc_media_new_location(vlc, mrl.constData());
    libvlc_media_player_t* mp = libvlc_media_player_new_from_media(media);
    NullSink sink;
    libvlc_video_set_callbacks(mp, NullSink::lock, nullptr, NullSink::display, &sink);
    libvlc_video_set_format_callbacks(mp, NullSink::format, nullptr);
    double cpu0 = cpuMs();
    libvlc_media_player_play(mp);
    waitUntil(
        app, [&] { return libvlc_media_player_get_state(mp) == libvlc_Ended; }, 120000);
    const double baseCpu = cpuMs() - cpu0;
    const unsigned baseFrames = sink.displayed;
    libvlc_media_player_stop(mp);
    libvlc_media_player_release(mp);
    libvlc_media_release(media);
    libvlc_release(vlc);

    // The player path, full screen.
    QQuickView view;
    view.resize(1920, 1080);
    QQmlComponent c(view.engine());
    c.setData("import QtQuick 2.7; import QmlVlc 0.1; Item { width: 1920; height: 1080; property alias player: p;"
              " VlcPlayer { id: p } VlcVideoSurface { source: p; anchors.fill: parent } }",
        QUrl());
    auto* root = qobject_cast<QQuickItem*>(c.create());
    if (!root) {
        std::fprintf(stderr, "video_path: %s\n", qPrintable(c.errorString()));
        return 1;
    }
    root->setParentItem(view.contentItem());
    view.show();
    auto* player = root->property("player").value<QmlVlcPlayerProxy*>();
    QmlVlcVideoOutput* out = player->videoOutput();
    bool ended = false;
    QObject::connect(player, &QmlVlcPlayerProxy::mediaPlayerEndReached, [&] { ended = true; });
    const quint64 drawn0 = QSGVlcVideoFrameMaterial::uploadedFrames();
    cpu0 = cpuMs();
    player->play(QString::fromUtf8(mrl));
    int pool = 0;
    waitUntil(
        app,
        [&] {
            pool = qMax(pool, out->framePoolSize());
            return ended;
        },
        120000);
    const double playerCpu = cpuMs() - cpu0;
    const quint64 decoded = out->displayedFrames();
    const quint64 handed = out->presentedFrames();
    const quint64 drawn = QSGVlcVideoFrameMaterial::uploadedFrames() - drawn0;
    const int settled = out->framePoolSize();

    std::printf("clip: %s s of 1920x1080 at 30 fps, H.264\n", qPrintable(seconds));
    std::printf("baseline (libvlc into a null I420 sink): %u frames, %.0f ms CPU, %.2f ms CPU per frame\n", baseFrames,
        baseCpu, baseCpu / qMax(1u, baseFrames));
    std::printf("VlcPlayer + VlcVideoSurface: decoded %llu, handed %llu, drawn %llu, pool settled at %d (max %d)\n",
        decoded, handed, drawn, settled, pool);
    std::printf("VlcPlayer + VlcVideoSurface: %.0f ms CPU, %.2f ms CPU per frame\n", playerCpu,
        playerCpu / qMax<quint64>(1, decoded));
    std::printf("ratio (player path / baseline, CPU per frame): %.2f\n",
        (playerCpu / qMax<quint64>(1, decoded)) / (baseCpu / qMax(1u, baseFrames)));
    delete root;
    return 0;
}
