// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QList>
#include <QObject>
#include <QSize>
#include <QString>
#include <QTimer>

#include <atomic>
#include <deque>
#include <list>
#include <memory>
#include <mutex>

#include "QmlVlcVideoFrame.h"
#include "vlc_player.h"
#include "vlc_vmem.h"

class QmlVlcVideoSurface;

// Receives the decoded pictures of one libvlc media player into a pool of
// I420 frames and presents the newest one to the registered surfaces on the
// GUI thread.
class QmlVlcVideoOutput : public QObject, private vlc::basic_vmem_wrapper {
    Q_OBJECT

public:
    QmlVlcVideoOutput(const std::shared_ptr<vlc::player_core>& player, QObject* parent = nullptr);
    ~QmlVlcVideoOutput() override;

    // GUI thread; the player must be open.
    void init();
    // GUI thread: no surface, signal or event of this object any more, and no
    // thread affinity, so that it can be deleted (and its player stopped) on
    // any thread afterwards.
    void retire();

    void registerVideoSurface(QmlVlcVideoSurface* surface);
    void unregisterVideoSurface(QmlVlcVideoSurface* surface);

    // Readable from any thread: frames allocated since the last cleanup,
    // pictures displayed by libvlc and pictures handed to the surfaces since
    // creation (fewer when the GUI thread falls behind the decoder).
    int framePoolSize() const { return m_poolSize.load(); }
    quint64 displayedFrames() const { return m_displayed.load(); }
    quint64 presentedFrames() const { return m_presented.load(); }

    Q_INVOKABLE void frameUpdated();

    // GUI thread: whether the surfaces were last handed a picture (false
    // before the first one and after a cleanup).
    bool hasPicture() const { return m_hasPicture; }

    // GUI thread: what decodes the pictures shown, told by the chroma the
    // decoder hands its pictures over in ("software", or the hardware API:
    // "vaapi", "vdpau", ...); empty before the first picture.
    QString decoder() const { return m_decoder; }
    // The decoder that hands pictures over in this chroma (a libvlc fourcc).
    static QString decoderForChroma(const char* fourcc);

signals:
    // GUI thread: the surfaces were handed a new picture, or none after a cleanup.
    void framePresented();
    void decoderChanged();

private:
    unsigned video_format_cb(
        char* chroma, unsigned* width, unsigned* height, unsigned* pitches, unsigned* lines) override;
    void video_cleanup_cb() override;
    void* video_lock_cb(void** planes) override;
    void video_unlock_cb(void* picture, void* const* planes) override;
    void video_display_cb(void* picture) override;

    void setDisplayFrame(const std::shared_ptr<QmlVlcI420Frame>& frame);
    void printCounters() const;
    void postFrameUpdated();

    std::shared_ptr<vlc::player_core> m_player;
    QList<QmlVlcVideoSurface*> m_surfaces;
    std::deque<std::shared_ptr<QmlVlcI420Frame>> m_framePool;
    std::list<std::shared_ptr<QmlVlcI420Frame>> m_decodingFrames;
    std::shared_ptr<QmlVlcI420Frame> m_displayFrame;

    // Guards m_displayFrame only, and only for the copy of the pointer.
    mutable std::mutex m_displayGuard;
    // The media player the callbacks are bound to; the binding holds a libvlc
    // reference to it for as long as callbacks can run.
    libvlc_media_player_t* m_boundPlayer = nullptr;
    std::atomic<int> m_poolSize { 0 };
    std::atomic<quint64> m_displayed { 0 };
    std::atomic<quint64> m_presented { 0 };
    const QmlVlcI420Frame* m_lastPresented = nullptr;
    bool m_hasPicture = false;
    // Under m_displayGuard: set by retire; libvlc's thread then posts nothing.
    bool m_retired = false;
    // Under m_displayGuard: the chroma libvlc offered for the current format.
    char m_offeredChroma[5] = {};
    QString m_decoder;
    QSize m_screenSize; // set before libvlc's threads start, read by them
    QTimer m_countersTimer;
};
