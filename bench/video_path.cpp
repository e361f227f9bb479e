// SPDX-License-Identifier: GPL-2.0-or-later
// One case of the video-path benchmark: plays a clip to its end and reports
// its frame counters. bench/video_path.py runs it twice (and VLC's own player
// once) on the same screen and measures the CPU time of each case from outside.
//
//   video_path ours CLIP            VlcPlayer into a full-screen VlcVideoSurface
//   video_path decode CLIP          libvlc into a video-memory sink that does nothing
//   video_path decode-filters CLIP  the same, with the player's libvlc start options
//
// Writes "playing" once play has been asked for, one JSON line of counters for
// every "stats" line read on standard input, and a last JSON line (with "end")
// when the clip has ended.

#include <QFileInfo>
#include <QGuiApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickView>
#include <QScreen>
#include <QSocketNotifier>
#include <QTimer>
#include <QUrl>

#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <functional>
#include <vector>

#include "QmlVlc.h"
#include "QmlVlcConfig.h"
#include "QmlVlcPlayerProxy.h"
#include "QmlVlcVideoOutput.h"
#include "SGVlcVideoNode.h"

namespace {

// The baseline sink: the layout the player's output asks for, one buffer
// shared by all pictures, nothing done with them.
struct NullSink {
    libvlc_media_player_t* mp = nullptr;
    std::vector<char> buffer;
    std::atomic<unsigned> displayed { 0 };

    static unsigned format(
        void** opaque, char* chroma, unsigned* width, unsigned* height, unsigned* pitches, unsigned* lines)
    {
        auto* self = static_cast<NullSink*>(*opaque);
        // As the output does: the track's own size, not the decoder's padded
        // height, which libvlc would otherwise scale every picture into.
        unsigned w = 0, h = 0;
        if (libvlc_video_get_size(self->mp, 0, &w, &h) == 0 && w && h && w <= *width && h <= *height) {
            *width = w;
            *height = h;
        }
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

void report(libvlc_media_player_t* mp, QJsonObject counters)
{
    libvlc_media_stats_t stats {};
    if (libvlc_media_t* media = libvlc_media_player_get_media(mp)) {
        libvlc_media_get_stats(media, &stats);
        libvlc_media_release(media);
    }
    counters["decoded"] = stats.i_decoded_video;
    counters["displayed"] = stats.i_displayed_pictures;
    counters["lost"] = stats.i_lost_pictures;
    std::printf("%s\n", QJsonDocument(counters).toJson(QJsonDocument::Compact).constData());
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: video_path ours|decode|decode-filters CLIP\n");
        return 2;
    }
    const QByteArray mode = argv[1];
    const QByteArray mrl
        = QUrl::fromLocalFile(QFileInfo(QString::fromLocal8Bit(argv[2])).absoluteFilePath()).toEncoded();

    // As the player does: its filters, and a context shared with the web engine.
    initQmlVlc();
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QGuiApplication app(argc, argv);

    libvlc_media_player_t* mp = nullptr;
    std::function<QJsonObject()> counters;
    NullSink sink;
    QQuickView view;

    if (mode == "decode" || mode == "decode-filters") {
        const char* bare[] = { "--no-video-title-show", "--aout=adummy", "-q" };
        libvlc_instance_t* vlc
            = mode == "decode" ? libvlc_new(3, bare) : QmlVlcConfig::instance().createLibvlcInstance();
        libvlc_media_t* media = libvlc_media_new_location(vlc, mrl.constData());
        mp = libvlc_media_player_new_from_media(media);
        sink.mp = mp;
        libvlc_media_release(media);
        libvlc_video_set_callbacks(mp, NullSink::lock, nullptr, NullSink::display, &sink);
        libvlc_video_set_format_callbacks(mp, NullSink::format, nullptr);
        counters = [&] { return QJsonObject { { "vmem", int(sink.displayed) } }; };
        libvlc_event_attach(
            libvlc_media_player_event_manager(mp), libvlc_MediaPlayerEndReached,
            [](const libvlc_event_t*, void*) { QMetaObject::invokeMethod(qApp, "quit", Qt::QueuedConnection); },
            nullptr);
        libvlc_media_player_play(mp);
    } else if (mode == "ours") {
        // The scene's video composition: a grey item with a stretched surface.
        QQmlComponent c(view.engine());
        c.setData("import QtQuick 2.7; import QmlVlc 0.1; Rectangle { color: 'grey'; property alias player: p;"
                  " VlcPlayer { id: p } VlcVideoSurface { source: p; anchors.fill: parent;"
                  " fillMode: VlcVideoSurface.Stretch } }",
            QUrl());
        auto* root = qobject_cast<QQuickItem*>(c.create());
        if (!root) {
            std::fprintf(stderr, "video_path: %s\n", qPrintable(c.errorString()));
            return 1;
        }
        view.setResizeMode(QQuickView::SizeRootObjectToView);
        view.setContent(QUrl(), nullptr, root);
        // Without a window manager (Xvfb) a full-screen request changes nothing:
        // the window is given the screen's size itself, as the player's is.
        view.setGeometry(view.screen()->geometry());
        view.showFullScreen();
        auto* player = root->property("player").value<QmlVlcPlayerProxy*>();
        QmlVlcVideoOutput* out = player->videoOutput();
        mp = player->player().basic_player().get_mp();
        const quint64 drawn0 = QSGVlcVideoFrameMaterial::uploadedFrames();
        counters = [=] {
            return QJsonObject { { "vmem", qint64(out->displayedFrames()) },
                { "presented", qint64(out->presentedFrames()) },
                { "drawn", qint64(QSGVlcVideoFrameMaterial::uploadedFrames() - drawn0) },
                { "pool", out->framePoolSize() } };
        };
        QObject::connect(
            player, &QmlVlcPlayerProxy::mediaPlayerEndReached, &app, &QCoreApplication::quit, Qt::QueuedConnection);
        player->play(QString::fromUtf8(mrl));
    } else {
        std::fprintf(stderr, "video_path: unknown case %s\n", mode.constData());
        return 2;
    }
    std::printf("playing\n");
    std::fflush(stdout);

    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char line[256];
        const ssize_t n = read(STDIN_FILENO, line, sizeof line);
        if (n <= 0)
            input.setEnabled(false);
        else
            report(mp, counters());
    });
    app.exec();

    QJsonObject last = counters();
    last["end"] = true;
    report(mp, last);
    if (mode != "ours")
        libvlc_media_player_stop(mp);
    return 0;
}
