#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickView>
#include <QtTest>

#include <atomic>

#include "QmlVlc.h"
#include "QmlVlcConfig.h"
#include "QmlVlcLog.h"
#include "QmlVlcPlayerProxy.h"
#include "QmlVlcVideoOutput.h"
#include "QmlVlcVideoSurface.h"
#include "SGVlcVideoNode.h"
#include "media_fixture.h"

#if defined(__SANITIZE_THREAD__)
extern "C" void __tsan_acquire(void* addr);
extern "C" void __tsan_release(void* addr);
static void tsanAcquire(void* addr) { __tsan_acquire(addr); }
static void tsanRelease(void* addr) { __tsan_release(addr); }
#else
static void tsanAcquire(void*) { }
static void tsanRelease(void*) { }
#endif

// A player's signals by name, in arrival order, each checked to arrive on the GUI thread.
struct SignalLog {
    QStringList names;
    QList<qint64> at;
    QElapsedTimer clock;
    bool offThread = false;

    void watch(QmlVlcPlayerProxy* p)
    {
        clock.start();
        auto add = [this, p](const char* name, auto signal) {
            QObject::connect(p, signal, p, [this, name] {
                offThread |= QThread::currentThread() != qApp->thread();
                names << name;
                at << clock.elapsed();
            });
        };
        add("media", &QmlVlcPlayerProxy::mediaPlayerMediaChanged);
        add("opening", &QmlVlcPlayerProxy::mediaPlayerOpening);
        add("playing", &QmlVlcPlayerProxy::mediaPlayerPlaying);
        add("error", &QmlVlcPlayerProxy::mediaPlayerEncounteredError);
        add("end", &QmlVlcPlayerProxy::mediaPlayerEndReached);
    }
};

class tst_Media : public QObject {
    Q_OBJECT

    static QStringList h264() { return { "-pix_fmt", "yuv420p", "-c:v", "libx264" }; }
    QQuickView* m_view = nullptr;
    std::atomic<bool> m_syncedOffGuiThread { false };

    // A player and a surface showing it, in the view's scene; the root owns both.
    struct Scene {
        std::unique_ptr<QQuickItem> root;
        QmlVlcPlayerProxy* player;
        QmlVlcVideoSurface* surface;
    };
    Scene load(const QString& surfaceProps)
    {
        QQmlComponent c(m_view->engine());
        c.setData(("import QtQuick 2.7; import QmlVlc 0.1; Rectangle { color: '#00ff00'; width: 400; height: 400;"
                   " property alias player: p; property alias surface: s; VlcPlayer { id: p }"
                   " VlcVideoSurface { id: s; source: p; anchors.fill: parent; "
                      + surfaceProps + " } }")
                      .toUtf8(),
            QUrl());
        auto* root = qobject_cast<QQuickItem*>(c.create());
        if (!root)
            qWarning() << c.errors();
        root->setParentItem(m_view->contentItem());
        return { std::unique_ptr<QQuickItem>(root), root->property("player").value<QmlVlcPlayerProxy*>(),
            root->property("surface").value<QmlVlcVideoSurface*>() };
    }

private slots:
    void initTestCase()
    {
        initQmlVlc();
        m_view = new QQuickView;
        m_view->resize(400, 400);
        // The threaded render loop hands the scene over with a QMutex whose futexes ThreadSanitizer
        // cannot see: name that hand-over where Qt makes it, the GUI thread posting the sync request
        // after afterAnimating. A GUI-thread access after that point is still reported.
        QQuickView* view = m_view;
        connect(
            view, &QQuickWindow::afterAnimating, this, [view] { tsanRelease(view); }, Qt::DirectConnection);
        connect(
            view, &QQuickWindow::beforeSynchronizing, this,
            [this, view] {
                tsanAcquire(view);
                m_syncedOffGuiThread = QThread::currentThread() != qApp->thread();
            },
            Qt::DirectConnection);
        m_view->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_view));
    }
    void cleanupTestCase() { delete m_view; }

    void trustedOptions_data()
    {
        QTest::addColumn<QString>("option");
        QTest::addColumn<bool>("trusted");
        for (const char* yes :
            { ":demux=h264", ":h264-fps=25", ":rtsp-http-port=8080", " :demux = h264 ", ":avformat-format=mxg" })
            QTest::addRow("%s", yes) << yes << true;
        for (const char* no :
            { "demux=h264", ":demux=ts", ":avformat-format=avi", ":rtsp-http-port", "a=b=c", ":DEMUX=h264" })
            QTest::addRow("%s", no) << no << false;
    }
    void trustedOptions()
    {
        QFETCH(QString, option);
        QFETCH(bool, trusted);
        QCOMPARE(QmlVlcConfig::instance().isOptionTrusted(option), trusted);
    }

    // Events "ms|level|key|text" (level E or W) into a folder of a 60 s period and a window of
    // `window` messages, then a flush at `flushAt`: every line printed, in order.
    void logFolding_data()
    {
        QTest::addColumn<int>("window");
        QTest::addColumn<QStringList>("events");
        QTest::addColumn<int>("flushAt");
        QTest::addColumn<QStringList>("printed");
        const QStringList aaa { "0|E|a|a1", "100|E|a|a2", "200|E|a|a3" };
        QTest::addRow("repeats wait for the period") << 16 << aaa << 60099 << QStringList { "a1" };
        QTest::addRow("then one count, last text")
            << 16 << aaa << 60100 << QStringList { "a1", "a3 ... repeated 2 times" };
        QTest::addRow("one repeat is the line again")
            << 16 << QStringList { "0|E|a|a1", "5|E|a|a2" } << 60005 << QStringList { "a1", "a2" };
        QTest::addRow("an alternating pair folds")
            << 16 << QStringList { "0|E|a|A", "1|E|b|B", "2|E|a|A", "3|E|b|B", "4|E|a|A", "5|E|b|B" } << 60004
            << QStringList { "A", "B", "A ... repeated 2 times", "B ... repeated 2 times" };
        QTest::addRow("back after a quiet period: at once")
            << 16 << QStringList { "0|E|a|a1", "60000|E|a|a2", "60001|E|a|a3" } << 60002 << QStringList { "a1", "a2" };
        QTest::addRow("a count due comes before the next line")
            << 16 << QStringList { "0|E|a|a1", "1|E|a|a2", "2|E|a|a3", "60001|E|b|b" } << 60001
            << QStringList { "a1", "a3 ... repeated 2 times", "b" };
        QTest::addRow("pushed out of the window: its count")
            << 2 << QStringList { "0|E|a|a1", "1|E|a|a2", "2|E|a|a3", "3|E|b|b", "4|E|c|c" } << 5
            << QStringList { "a1", "b", "c", "a3 ... repeated 2 times" };
        QStringList steady; // every 10 s: counts after 60 s, then after 120 s
        for (int t = 0; t <= 200000; t += 10000)
            steady << QStringLiteral("%1|E|a|a").arg(t);
        QTest::addRow("a steady repeat, ever less often")
            << 16 << steady << 200000 << QStringList { "a", "a ... repeated 6 times", "a ... repeated 12 times" };
        QTest::addRow("same key, other level: another message")
            << 16 << QStringList { "0|E|a|x", "1|W|a|x", "2|E|a|x" } << 10 << QStringList { "x", "x" };
    }
    void logFolding()
    {
        QFETCH(int, window);
        QFETCH(QStringList, events);
        QFETCH(int, flushAt);
        QFETCH(QStringList, printed);
        LogFolder folder(60000, window);
        QStringList got;
        auto take = [&](const QVector<LogFolder::Line>& lines) {
            for (const auto& l : lines)
                got << l.text;
        };
        for (const QString& e : events) {
            const QStringList f = e.split('|');
            take(folder.add({ f[1] == "E" ? LIBVLC_ERROR : LIBVLC_WARNING, f[2], f[3] }, f[0].toLongLong()));
        }
        take(folder.flush(flushAt));
        QCOMPARE(got, printed);
    }

    // Either side may go first; the other is left without a dangling pointer.
    void surfaceOutlivesPlayer()
    {
        auto [root, p, s] = load("");
        p->play(lavfi_clip("red4.mp4", "color=c=red:s=320x240:r=25", h264(), "4")); // plays on for the second surface
        QTRY_VERIFY_WITH_TIMEOUT(s->frame() != nullptr, 10000);
        delete s; // the output must no longer present to it
        QTest::qWait(300);
        QmlVlcVideoSurface other;
        other.setSource(p);
        QTRY_VERIFY_WITH_TIMEOUT(other.frame() != nullptr, 5000);
        // Another clip while frames flow, then the player goes in the middle of it.
        p->play(lavfi_clip("blue4.mp4", "color=c=blue:s=320x240:r=25", h264(), "4"));
        QTRY_VERIFY_WITH_TIMEOUT(other.frame() && uchar(other.frame()->yData[0]) < 60, 5000); // blue's luma
        delete p;
        QCOMPARE(other.source(), nullptr);
        QVERIFY(other.frame() != nullptr); // the last picture stays until another comes
    }

    void playlistAdvance_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("first"); // a red clip, or what cannot be played
        QTest::addColumn<int>("expectedLast");
        const QString red = lavfi_clip("red.mp4", "color=c=red:s=320x240:r=25");
        QTest::addRow("normal mode plays the next item at the end") << int(QmlVlcPlaylist::Normal) << red << 1;
        QTest::addRow("single mode stays on the item") << int(QmlVlcPlaylist::Single) << red << 0;
        QTest::addRow("a missing file is skipped one second after its error")
            << int(QmlVlcPlaylist::Normal) << QUrl::fromLocalFile("/nonexistent/missing.mp4").toString() << 1;
        QTest::addRow("a bare path plays as the file") << int(QmlVlcPlaylist::Normal) << QUrl(red).toLocalFile() << 1;
    }
    void playlistAdvance()
    {
        QFETCH(int, mode);
        QFETCH(QString, first);
        QFETCH(int, expectedLast);
        const bool firstMissing = !first.endsWith("red.mp4");
        auto [root, p, s] = load("");
        SignalLog log;
        log.watch(p);
        p->get_playlist()->set_mode(QmlVlcPlaylist::Mode(mode));
        p->play(first); // mrl plays at once
        p->get_playlist()->add(lavfi_clip("blue.mp4", "color=c=blue:s=320x240:r=25"));
        QTRY_VERIFY_WITH_TIMEOUT(log.names.count("playing") + log.names.count("error") >= 1, 10000);
        QTRY_COMPARE_WITH_TIMEOUT(log.names.count("end"), expectedLast + (firstMissing ? 0 : 1), 15000);
        QTest::qWait(1500); // nothing more may start
        QVERIFY(!log.offThread);
        QCOMPARE(p->get_playlist()->get_currentItem(), expectedLast);
        QCOMPARE(log.names.count("playing"), firstMissing ? 1 : 1 + expectedLast);
        QVERIFY2(log.names.indexOf("media") < log.names.indexOf("opening"), qPrintable(log.names.join(' ')));
        const int secondMedia = log.names.indexOf("media", log.names.indexOf("media") + 1);
        if (firstMissing) {
            QCOMPARE(log.names.mid(0, 3), (QStringList { "media", "opening", "error" }));
            const qint64 gap = log.at[secondMedia] - log.at[2];
            QVERIFY2(gap >= 950 && gap < 2500, qPrintable(QString::number(gap)));
        } else if (expectedLast == 1) {
            QVERIFY2(log.names.indexOf("end") >= 0 && log.names.indexOf("end") < secondMedia,
                qPrintable(log.names.join(' ')));
        }
    }

    void negotiatedSize_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("lavfi");
        QTest::addColumn<QStringList>("codec");
        QTest::addColumn<QSize>("frameSize");
        QTest::addRow("odd sizes round up to even") << "odd.mkv"
                                                    << "color=c=white:s=640x480:r=25,scale=641:481,format=yuv444p"
                                                    << QStringList { "-c:v", "ffv1" } << QSize(642, 482);
        QTest::addRow("even width, pitch rounded up")
            << "1918.mp4"
            << "color=c=white:s=1918x1080:r=25" << h264() << QSize(1918, 1080);
        QTest::addRow("padded H.264 height") << "1080.mp4"
                                             << "color=c=white:s=1920x1080:r=25" << h264() << QSize(1920, 1080);
    }
    void negotiatedSize()
    {
        QFETCH(QString, name);
        QFETCH(QString, lavfi);
        QFETCH(QStringList, codec);
        QFETCH(QSize, frameSize);
        auto [root, p, s] = load("");
        p->get_playlist()->set_mode(QmlVlcPlaylist::Single);
        p->play(lavfi_clip(name, lavfi, codec, "3"));
        QTRY_VERIFY_WITH_TIMEOUT(s->frame() != nullptr, 10000);
        auto f = s->frame();
        QCOMPARE(QSize(f->width, f->height), frameSize);
        // Packed (a software rasteriser draws): 4 bytes a pixel, white is 255; planar: limited-range 235.
        const unsigned yPitch = f->packed ? 4u * f->width : (f->width + 3u) & ~3u;
        const unsigned cPitch = f->packed ? 0 : (f->width / 2u + 3u) & ~3u;
        QCOMPARE(f->ySize, yPitch * f->height);
        QCOMPARE(f->uSize, cPitch * (f->height / 2u));
        QCOMPARE(int(f->buffer.size()), int(f->ySize + 2 * f->uSize));
        // White to the last line: no padding band, no stretch.
        const auto* lastRow = reinterpret_cast<const uchar*>(f->yData) + yPitch * (frameSize.height() - 2);
        const int centre = lastRow[yPitch / 2];
        QVERIFY2(qAbs(centre - (f->packed ? 255 : 235)) < 8, qPrintable(QString::number(centre)));

        // Frames held elsewhere make the pool grow; once they are let go it must not grow any more.
        QmlVlcVideoOutput* out = p->videoOutput();
        std::vector<std::shared_ptr<const QmlVlcI420Frame>> held;
        QVERIFY(QTest::qWaitFor(
            [&] {
                if (s->frame() && (held.empty() || held.back() != s->frame()))
                    held.push_back(s->frame());
                return held.size() == 5;
            },
            5000));
        QTest::qWait(100); // the decoder locks ahead of what is displayed
        const int grown = out->framePoolSize();
        QVERIFY2(grown >= 6, qPrintable(QString::number(grown)));
        held.clear();
        QTest::qWait(800);
        QCOMPARE(out->framePoolSize(), grown);

        // Stopping ends the stream: the surface gets the empty frame, the pool empties.
        p->stop();
        QTRY_VERIFY_WITH_TIMEOUT(s->frame() == nullptr, 10000);
        QCOMPARE(out->framePoolSize(), 0);
    }

    void pixels_data()
    {
        QTest::addColumn<QString>("props");
        QTest::addColumn<QList<QPoint>>("points");
        QTest::addColumn<QList<QRgb>>("colours");
        QTest::addColumn<bool>("packed");
        // Both layouts, whatever renders here: RGB converted by libvlc, or YUV in the shader.
        for (const bool packed : { false, true }) {
            const char* layout = packed ? " (packed)" : " (planar)";
            // 16:9 clip, red left half, blue right half, in a 400 x 400 item on green.
            const QRgb red = qRgb(255, 0, 0), blue = qRgb(0, 0, 255), green = qRgb(0, 255, 0);
            QTest::addRow("%s%s", "fit leaves bars above and below", layout)
                << "" << QList<QPoint> { { 200, 40 }, { 100, 200 }, { 300, 200 }, { 200, 370 } }
                << QList<QRgb> { green, red, blue, green } << packed;
            QTest::addRow("%s%s", "crop fills the item", layout)
                << "fillMode: VlcVideoSurface.PreserveAspectCrop"
                << QList<QPoint> { { 4, 4 }, { 396, 396 }, { 150, 200 }, { 250, 200 } }
                << QList<QRgb> { red, blue, red, blue } << packed;
            QTest::addRow("%s%s", "stretch fills the item", layout)
                << "fillMode: VlcVideoSurface.Stretch"
                << QList<QPoint> { { 4, 4 }, { 396, 4 }, { 4, 396 }, { 396, 396 } }
                << QList<QRgb> { red, blue, red, blue } << packed;
            // SMPTE bars, top row: 75% white, yellow, cyan, green, magenta, red, blue.
            QList<QPoint> bars;
            for (int i = 0; i < 7; ++i)
                bars << QPoint(400 * (2 * i + 1) / 14, 100);
            const QList<QRgb> barColours { qRgb(191, 191, 191), qRgb(191, 191, 0), qRgb(0, 191, 191), qRgb(0, 191, 0),
                qRgb(191, 0, 191), qRgb(191, 0, 0), qRgb(0, 0, 191) };
            QTest::addRow("%s%s", "colour bars keep their limited-range colours", layout)
                << "fillMode: VlcVideoSurface.Stretch" << bars << barColours << packed;
            // One texel a pixel (nearest luma), chroma rows of 159 bytes: none may shear.
            QList<QPoint> ownSize;
            for (int i = 0; i < 7; ++i)
                ownSize << QPoint(318 * (2 * i + 1) / 14, 100);
            QTest::addRow("%s%s", "colour bars at their own size, odd chroma width", layout)
                << "fillMode: VlcVideoSurface.Stretch" << ownSize << barColours << packed;
        }
    }
    void pixels()
    {
        QFETCH(QString, props);
        QFETCH(QList<QPoint>, points);
        QFETCH(QList<QRgb>, colours);
        QFETCH(bool, packed);
        QSGVlcVideoFrameMaterial::setSoftwareRenderer(packed);
        const bool bars = QString(QTest::currentDataTag()).startsWith("colour bars");
        const bool ownSize = QString(QTest::currentDataTag()).contains("own size");
        const QString path = ownSize ? lavfi_clip("bars318.mp4", "smptebars=s=318x180:r=25", h264(), "3")
            : bars                   ? lavfi_clip("bars.mp4", "smptebars=s=640x360:r=25", h264(), "3")
                                     : lavfi_clip("split.mp4",
                                         "color=c=red:s=320x360:r=25[a];color=c=blue:s=320x360:r=25[b];[a][b]hstack", h264(), "3");
        auto [root, p, s] = load(props);
        if (ownSize)
            root->setSize(QSizeF(318, 180));
        p->play(path);
        QTRY_VERIFY_WITH_TIMEOUT(s->frame() != nullptr, 10000);
        QTest::qWait(300);
        const QImage shot = m_view->grabWindow();
        for (int i = 0; i < points.size(); ++i) {
            const QRgb got = shot.pixel(points[i]);
            const int d = qMax(qAbs(qRed(got) - qRed(colours[i])),
                qMax(qAbs(qGreen(got) - qGreen(colours[i])), qAbs(qBlue(got) - qBlue(colours[i]))));
            const QString where = QStringLiteral("%1,%2").arg(points[i].x()).arg(points[i].y());
            QVERIFY2(d <= 14, qPrintable(where + " is " + QColor(got).name() + ", not " + QColor(colours[i]).name()));
        }
        QCOMPARE(s->frame()->packed, packed);
    }

    // Each adjust value, set before playback or during it, reads back and shows
    // in the picture (red: Y 81, U 90, V 240), the filter inserted on demand.
    void adjustOnDemand_data()
    {
        QTest::addColumn<QByteArray>("property");
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<bool>("beforePlay");
        QTest::addRow("brightness before playback") << QByteArray("brightness") << QVariant(0.5) << true;
        QTest::addRow("brightness while playing") << QByteArray("brightness") << QVariant(0.5) << false;
        QTest::addRow("contrast") << QByteArray("contrast") << QVariant(0.3) << false;
        QTest::addRow("hue") << QByteArray("hue") << QVariant(120) << false;
        QTest::addRow("saturation") << QByteArray("saturation") << QVariant(0.0) << false;
        QTest::addRow("gamma") << QByteArray("gamma") << QVariant(3.0) << false;
    }
    void adjustOnDemand()
    {
        QFETCH(QByteArray, property);
        QFETCH(QVariant, value);
        QFETCH(bool, beforePlay);
        auto [root, p, s] = load("");
        QObject* video = p->get_video();
        if (beforePlay)
            video->setProperty(property, value);
        p->play(lavfi_clip("red4.mp4", "color=c=red:s=320x240:r=25", h264(), "4"));
        QTRY_VERIFY_WITH_TIMEOUT(s->frame() != nullptr, 10000);
        QVERIFY(!p->get_decoder().isEmpty());
        if (!beforePlay)
            video->setProperty(property, value);
        QCOMPARE(video->property(property).toFloat(), value.toFloat());
        const auto changed = [&] {
            const auto f = s->frame();
            return f
                && (qAbs(uchar(f->yData[0]) - 81) > 12 || qAbs(uchar(f->uData[0]) - 90) > 12
                    || qAbs(uchar(f->vData[0]) - 240) > 12);
        };
        QTRY_VERIFY_WITH_TIMEOUT(changed(), 5000);
    }

    void decoderForChroma_data()
    {
        QTest::addColumn<QByteArray>("chroma");
        QTest::addColumn<QString>("decoder");
        for (const char* sw : { "I420", "J420", "NV12", "I0AL" })
            QTest::addRow("%s", sw) << QByteArray(sw) << "software";
        const char* const hw[][2] = { { "VAOP", "vaapi" }, { "VDV0", "vdpau" }, { "DXA9", "dxva2" },
            { "DX11", "d3d11va" }, { "MMAL", "mmal" } };
        for (const auto& h : hw)
            QTest::addRow("%s", h[0]) << QByteArray(h[0]) << h[1];
        QTest::addRow("none yet") << QByteArray() << QString();
    }
    void decoderForChroma()
    {
        QFETCH(QByteArray, chroma);
        QFETCH(QString, decoder);
        QCOMPARE(QmlVlcVideoOutput::decoderForChroma(chroma.constData()), decoder);
    }

    // The ThreadSanitizer pass asks for the threaded loop; under Xvfb and software GL Qt may
    // fall back to rendering on the GUI thread, and the render thread would go unchecked.
    void threadedRenderLoop()
    {
        if (qgetenv("QSG_RENDER_LOOP") != "threaded")
            QSKIP("QSG_RENDER_LOOP is not threaded");
        QVERIFY(m_syncedOffGuiThread);
    }
};

QTEST_MAIN(tst_Media)
#include "tst_media.moc"
