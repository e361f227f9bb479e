// SPDX-License-Identifier: GPL-2.0-or-later
#include "QmlVlcVideoOutput.h"

#include <QCoreApplication>
#include <QDir>
#include <QGuiApplication>
#include <QMetaObject>
#include <QScreen>

#include <algorithm>
#include <atomic>
#include <cstring>

#include "QmlVlcConfig.h"
#include "QmlVlcVideoSurface.h"
#include "SGVlcVideoNode.h"
#include "vlc_helpers.h"

namespace {

// libvlc's opaque chromas: VAOP, VAO0 (VA-API), VDV0, VDV2, VDV4, VDOR (VDPAU),
// DX.., D3.. (Direct3D), CVPX (VideoToolbox), ANOP (Android), MMAL.
bool isHardwareSurface(const char* chroma)
{
    static const char* const prefixes[] = { "VA", "VD", "DX", "D3", "CV", "AN", "MM" };
    for (const char* p : prefixes) {
        if (std::strncmp(chroma, p, 2) == 0)
            return true;
    }
    return false;
}

// A GPU that can decode shows a DRM render node; looked up once per process.
bool hasRenderNode()
{
    static const bool present
        = !QDir(QStringLiteral("/dev/dri")).entryList({ QStringLiteral("renderD*") }, QDir::System).isEmpty();
    return present;
}

} // namespace

// Threads and owners:
// - libvlc's video-output thread runs the five callbacks. It alone changes
//   m_framePool and m_decodingFrames and writes m_displayFrame.
// - The GUI thread runs init, frameUpdated, (un)registration and destruction;
//   it reads m_displayFrame and owns m_surfaces.
// - The scene graph's render thread only ever sees frames through the shared
//   pointers that the surfaces hand to their nodes.
// A frame whose use count is above one is still read by someone and is never
// handed back to the decoder.

QmlVlcVideoOutput::QmlVlcVideoOutput(const std::shared_ptr<vlc::player_core>& player, QObject* parent)
    : QObject(parent)
    , m_player(player)
    , m_countersTimer(this)
{
}

QmlVlcVideoOutput::~QmlVlcVideoOutput()
{
    // Closing stops the media player and joins its video output: no callback
    // runs after this line, so the members below can go.
    close();
    m_boundPlayer = nullptr;
}

void QmlVlcVideoOutput::init()
{
    VLC_CONTRACT(m_player && m_player->is_open());
    m_boundPlayer = m_player->basic_player().get_mp();
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        m_screenSize = screen->size() * screen->devicePixelRatio();
    open(&m_player->basic_player());
    // Frame counters for measurements from outside the process (bench/).
    if (videoDebugEnabled()) {
        connect(&m_countersTimer, &QTimer::timeout, this, &QmlVlcVideoOutput::printCounters);
        m_countersTimer.start(1000);
    }
}

// "drawn" counts the uploads of every surface of the process.
void QmlVlcVideoOutput::printCounters() const
{
    libvlc_media_stats_t stats {};
    if (libvlc_media_t* media = m_boundPlayer ? libvlc_media_player_get_media(m_boundPlayer) : nullptr) {
        libvlc_media_get_stats(media, &stats);
        libvlc_media_release(media);
    }
    qDebug("video counters %p: decoded %d displayed %llu presented %llu drawn %llu", static_cast<const void*>(this),
        stats.i_decoded_video, static_cast<unsigned long long>(m_displayed.load()),
        static_cast<unsigned long long>(m_presented.load()),
        static_cast<unsigned long long>(QSGVlcVideoFrameMaterial::uploadedFrames()));
}

void QmlVlcVideoOutput::retire()
{
    m_countersTimer.stop();
    m_surfaces.clear();
    disconnect();
    std::lock_guard<std::mutex> lock(m_displayGuard);
    m_retired = true;
    QCoreApplication::removePostedEvents(this);
    moveToThread(nullptr);
}

void QmlVlcVideoOutput::registerVideoSurface(QmlVlcVideoSurface* surface)
{
    if (!m_surfaces.contains(surface))
        m_surfaces.append(surface);
}

void QmlVlcVideoOutput::unregisterVideoSurface(QmlVlcVideoSurface* surface) { m_surfaces.removeOne(surface); }

unsigned QmlVlcVideoOutput::video_format_cb(
    char* chroma, unsigned* width, unsigned* height, unsigned* pitches, unsigned* lines)
{
    {
        std::lock_guard<std::mutex> lock(m_displayGuard);
        std::memcpy(m_offeredChroma, chroma, 4);
    }
    // Pictures are drawn from I420 in memory, which libvlc reaches from any
    // software chroma in one conversion, and from a decoder's hardware surface
    // (VA-API, VDPAU, ...) through the copy converter of that API, which needs
    // the GPU's render node. Without one, asking for I420 anyway only sends
    // libvlc through chains of converters that all fail, some thirty error
    // lines each time. Refused, it costs three and the decoder goes on to its
    // next format, software decoding last.
    if (isHardwareSurface(chroma) && !hasRenderNode())
        return 0;
    // A software rasteriser spends far more on converting YUV per pixel in a
    // shader (three fetches and a matrix) than libvlc's SIMD converter does
    // once per picture; a GPU does it for free.
    const bool packed = QSGVlcVideoFrameMaterial::softwareRenderer();
    std::memcpy(chroma, packed ? "RV32" : "I420", 4);

    // libvlc 3.0 offers the decoder's padded height (1088 or 1090 lines for
    // 1080p, 738 for 720p) and would scale the picture into it. The track's
    // own size, asked for here (libvlc allows it inside this callback), is the
    // picture without the padding.
    unsigned realW = 0, realH = 0;
    if (m_boundPlayer && libvlc_video_get_size(m_boundPlayer, 0, &realW, &realH) == 0 && realW != 0 && realH != 0
        && realW <= *width && realH <= *height) {
        *width = realW;
        *height = realH;
    }
    // Converting to RGB, libvlc may as well scale in the same pass: a picture
    // larger than the screen is never shown larger than the screen, and each
    // pixel saved is four bytes less to convert, upload and sample.
    if (packed && !m_screenSize.isEmpty()
        && (*width > unsigned(m_screenSize.width()) || *height > unsigned(m_screenSize.height()))) {
        const double scale = std::min(double(m_screenSize.width()) / *width, double(m_screenSize.height()) / *height);
        *width = std::max(2u, unsigned(*width * scale + 0.5));
        *height = std::max(2u, unsigned(*height * scale + 0.5));
    }

    const uint16_t w = uint16_t(*width + (*width & 1));
    const uint16_t h = uint16_t(*height + (*height & 1));
    pitches[0] = packed ? 4u * w : QmlVlcPitch(w);
    pitches[1] = pitches[2] = packed ? 0 : QmlVlcPitch(uint16_t(w >> 1));
    lines[0] = h;
    lines[1] = lines[2] = packed ? 0 : h >> 1;

    // A format always starts a new pool: frames of an earlier format (libvlc
    // tries hardware chromas first and may skip the cleanup in between) would
    // otherwise be cloned with the wrong geometry.
    m_decodingFrames.clear();
    m_framePool.clear();

    auto frame = std::make_shared<QmlVlcI420Frame>();
    frame->buffer.resize(int(pitches[1] * lines[1] + pitches[0] * lines[0] + pitches[2] * lines[2]));
    frame->width = w;
    frame->height = h;
    frame->packed = packed;
    frame->yData = frame->buffer.data();
    frame->ySize = pitches[0] * lines[0];
    frame->uData = frame->yData + frame->ySize;
    frame->uSize = pitches[1] * lines[1];
    frame->vData = frame->uData + frame->uSize;
    frame->vSize = pitches[2] * lines[2];
    m_framePool.push_back(frame);
    m_poolSize = int(m_framePool.size());
    return 3;
}

void QmlVlcVideoOutput::video_cleanup_cb()
{
    setDisplayFrame(nullptr);
    m_decodingFrames.clear();
    m_framePool.clear();
    m_poolSize = 0;
    postFrameUpdated();
}

void* QmlVlcVideoOutput::video_lock_cb(void** planes)
{
    std::shared_ptr<QmlVlcI420Frame> frame;
    size_t index = 0;
    for (; index < m_framePool.size(); ++index) {
        if (m_framePool[index].use_count() <= 1) {
            // The count is read relaxed. The last other holder (the render
            // thread, after its upload) let go with a release decrement; this
            // fence orders its reads of the pixels before libvlc's writes.
            // ThreadSanitizer models no fences (GCC warns under it).
#if !defined(__SANITIZE_THREAD__)
            std::atomic_thread_fence(std::memory_order_acquire);
#endif
            frame = m_framePool[index];
            break;
        }
    }
    if (!frame) {
        frame = cloneFrame(m_framePool.front());
        m_framePool.push_back(frame);
        index = m_framePool.size() - 1;
        m_poolSize = int(m_framePool.size());
    }
    planes[0] = frame->yData;
    planes[1] = frame->packed ? nullptr : frame->uData;
    planes[2] = frame->packed ? nullptr : frame->vData;
    m_decodingFrames.push_back(frame);
    return reinterpret_cast<void*>(index);
}

void QmlVlcVideoOutput::video_unlock_cb(void* picture, void* const*)
{
    const size_t index = reinterpret_cast<size_t>(picture);
    if (index >= m_framePool.size())
        return;
    const auto& frame = m_framePool[index];
    for (auto it = m_decodingFrames.begin(); it != m_decodingFrames.end(); ++it) {
        if (*it == frame) {
            m_decodingFrames.erase(it);
            break;
        }
    }
}

void QmlVlcVideoOutput::video_display_cb(void* picture)
{
    const size_t index = reinterpret_cast<size_t>(picture);
    VLC_CONTRACT(index < m_framePool.size());
    setDisplayFrame(m_framePool[index]);
    ++m_displayed;
    postFrameUpdated();
}

// libvlc's thread. Queued; the frame travels in m_displayFrame.
void QmlVlcVideoOutput::postFrameUpdated()
{
    std::lock_guard<std::mutex> lock(m_displayGuard);
    if (!m_retired)
        QMetaObject::invokeMethod(this, "frameUpdated", Qt::QueuedConnection);
}

// libvlc's video-output thread owns the display slot and writes it here; the
// GUI thread only copies the pointer out (frameUpdated), the render thread
// never touches it. The lock covers the pointer copy, never pixels or calls.
void QmlVlcVideoOutput::setDisplayFrame(const std::shared_ptr<QmlVlcI420Frame>& frame)
{
    // The frame that stops being displayed may be the last reference held
    // outside the pool; it is dropped after the lock is let go.
    std::shared_ptr<QmlVlcI420Frame> previous;
    std::lock_guard<std::mutex> lock(m_displayGuard);
    previous.swap(m_displayFrame);
    m_displayFrame = frame;
}

QString QmlVlcVideoOutput::decoderForChroma(const char* fourcc)
{
    // Hardware decoders hand over surfaces of their own API, copied back to
    // memory for us by a converter; everything else comes from the CPU.
    static const struct {
        const char* prefix;
        const char* api;
    } apis[] = { { "VA", "vaapi" }, { "VD", "vdpau" }, { "DXA", "dxva2" }, { "DX1", "d3d11va" }, { "MMAL", "mmal" },
        { "CVP", "videotoolbox" }, { "ANOP", "mediacodec" } };
    if (!fourcc || !fourcc[0])
        return QString();
    const QByteArray chroma(fourcc, int(qstrnlen(fourcc, 4)));
    for (const auto& a : apis) {
        if (chroma.startsWith(a.prefix))
            return QString::fromLatin1(a.api);
    }
    return QStringLiteral("software");
}

void QmlVlcVideoOutput::frameUpdated()
{
    std::shared_ptr<const QmlVlcI420Frame> frame;
    char chroma[5] = {};
    {
        std::lock_guard<std::mutex> lock(m_displayGuard);
        frame = m_displayFrame;
        std::memcpy(chroma, m_offeredChroma, 4);
    }
    if (frame && !m_hasPicture) {
        const QString decoder = decoderForChroma(chroma);
        if (videoDebugEnabled())
            qDebug("video decoder: %s (pictures in %s, drawn from %s)", qPrintable(decoder), chroma,
                frame->packed ? "RGB" : "YUV");
        if (decoder != m_decoder) {
            m_decoder = decoder;
            emit decoderChanged();
        }
    }
    const bool changed = frame.get() != m_lastPresented;
    if (frame && changed)
        ++m_presented;
    m_lastPresented = frame.get();
    // A surface may unregister itself while being handed the frame.
    const QList<QmlVlcVideoSurface*> surfaces = m_surfaces;
    for (QmlVlcVideoSurface* surface : surfaces)
        surface->presentFrame(frame);
    m_hasPicture = bool(frame);
    if (changed)
        emit framePresented();
}
