// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QEvent>
#include <QString>
#include <QTimer>

#include <memory>

#include "QmlVlcAudio.h"
#include "QmlVlcInput.h"
#include "QmlVlcMedia.h"
#include "QmlVlcPlaylist.h"
#include "QmlVlcSubtitle.h"
#include "QmlVlcVideo.h"
#include "QmlVlcVideoSource.h"
#include "vlc_player.h"

// The QML-facing player: playback control as properties and invokables, and
// libvlc's media-player events as signals on the GUI thread.
class QmlVlcPlayerProxy : public QmlVlcVideoSource, private vlc::media_player_events_callback {
    Q_OBJECT
    Q_PROPERTY(QString vlcVersion READ get_vlcVersion)
    Q_PROPERTY(bool playing READ get_playing NOTIFY playingChanged)
    Q_PROPERTY(double length READ get_length NOTIFY mediaPlayerLengthChanged)
    Q_PROPERTY(State state READ get_state NOTIFY stateChanged)
    Q_PROPERTY(QString mrl READ get_mrl WRITE set_mrl)
    Q_PROPERTY(double position READ get_position WRITE set_position NOTIFY mediaPlayerPositionChanged)
    Q_PROPERTY(double time READ get_time WRITE set_time NOTIFY mediaPlayerTimeChanged)
    Q_PROPERTY(unsigned volume READ get_volume WRITE set_volume NOTIFY volumeChanged)
    Q_PROPERTY(QmlVlcInput* input READ get_input CONSTANT)
    Q_PROPERTY(QmlVlcVideo* video READ get_video CONSTANT)
    Q_PROPERTY(QmlVlcAudio* audio READ get_audio CONSTANT)
    Q_PROPERTY(QmlVlcSubtitle* subtitle READ get_subtitle CONSTANT)
    Q_PROPERTY(QmlVlcPlaylist* playlist READ get_playlist CONSTANT)
    Q_PROPERTY(QmlVlcMedia* mediaDescription READ get_mediaDescription CONSTANT)
    Q_PROPERTY(bool hasPicture READ get_hasPicture NOTIFY hasPictureChanged)
    Q_PROPERTY(bool cued READ get_cued NOTIFY cuedChanged)
    // What decodes the pictures: "software", or the hardware API libvlc chose.
    Q_PROPERTY(QString decoder READ get_decoder NOTIFY decoderChanged)

public:
    enum State {
        NothingSpecial = libvlc_NothingSpecial,
        Opening = libvlc_Opening,
        Buffering = libvlc_Buffering,
        Playing = libvlc_Playing,
        Paused = libvlc_Paused,
        Stopped = libvlc_Stopped,
        Ended = libvlc_Ended,
        Error = libvlc_Error,
    };
    Q_ENUM(State)

    // A libvlc event carried from libvlc's event thread to the GUI thread.
    class LibvlcEvent : public QEvent {
    public:
        static constexpr QEvent::Type eventType = QEvent::User;
        explicit LibvlcEvent(const libvlc_event_t& e)
            : QEvent(eventType)
            , m_event(e)
        {
        }
        const libvlc_event_t& libvlcEvent() const { return m_event; }

    private:
        libvlc_event_t m_event;
    };

    QmlVlcPlayerProxy(const std::shared_ptr<vlc::playlist_player_core>& player, QObject* parent = nullptr);
    ~QmlVlcPlayerProxy() override;

    void classBegin() override;
    void componentComplete() override;

    vlc::playlist_player_core& player() const;

    QString get_vlcVersion() const;
    bool get_playing() const;
    double get_length() const;
    State get_state() const;
    QString get_mrl() const;
    void set_mrl(const QString& mrl) { play(mrl); }
    double get_position() const;
    void set_position(double position);
    double get_time() const;
    void set_time(double ms);
    unsigned get_volume() const;
    void set_volume(unsigned volume);

    QmlVlcInput* get_input() { return &m_input; }
    QmlVlcVideo* get_video() { return &m_video; }
    QmlVlcAudio* get_audio() { return &m_audio; }
    QmlVlcSubtitle* get_subtitle() { return &m_subtitle; }
    QmlVlcPlaylist* get_playlist() { return &m_playlist; }
    QmlVlcMedia* get_mediaDescription() { return &m_currentMedia; }
    bool get_hasPicture() const { return m_hasPicture; }
    bool get_cued() const { return m_cue == Cue::Waiting; }
    QString get_decoder() const;

    Q_INVOKABLE void play(const QString& mrl);
    // Opens mrl silenced and pauses it on its first picture, so that a surface
    // shows that picture before playback starts; play() then starts it where
    // it waits, with the sound it had before. cued turns true once the picture
    // is there; an error or end of the media, stop() or another media ends the
    // wait.
    Q_INVOKABLE void cue(const QString& mrl);
    Q_INVOKABLE void play();
    Q_INVOKABLE void pause();
    Q_INVOKABLE void togglePause();
    Q_INVOKABLE void stop();
    Q_INVOKABLE void mute();
    Q_INVOKABLE void unMute();
    Q_INVOKABLE void toggleMute();

public slots:
    void currentItemEndReached();

signals:
    void playingChanged();
    void stateChanged(QmlVlcPlayerProxy::State state);
    void mediaPlayerMediaChanged();
    void mediaPlayerNothingSpecial();
    void mediaPlayerOpening();
    void mediaPlayerBuffering(float percents);
    void mediaPlayerPlaying();
    void mediaPlayerPaused();
    void mediaPlayerForward();
    void mediaPlayerBackward();
    void mediaPlayerEncounteredError();
    void mediaPlayerEndReached();
    void mediaPlayerStopped();
    void mediaPlayerTitleChanged();
    void mediaPlayerTimeChanged(double time);
    void mediaPlayerPositionChanged(float position);
    void mediaPlayerSeekableChanged(bool seekable);
    void mediaPlayerPausableChanged(bool pausable);
    void mediaPlayerLengthChanged(double length);
    void volumeChanged();
    void hasPictureChanged();
    void cuedChanged();
    void decoderChanged();

protected:
    bool event(QEvent* ev) override;
    virtual void handleLibvlcEvent(const LibvlcEvent& ev);

    // Stops libvlc's events reaching this object. The owner calls it before
    // it closes the player; calling it again is harmless.
    void classEnd();

private:
    void media_player_event(const libvlc_event_t* e) override;
    void open(const QString& mrl);
    void framePresented();
    void endCue();

    enum class Cue { None, Opening, Rewinding, Waiting };

    // What the player's listener list holds instead of this object. The
    // destructors of a QML element and of the classes derived from this one
    // rewrite this object's vtable pointers before classEnd() has unregistered
    // it, while libvlc's event thread may be reading them for its virtual call.
    // The relay's own pointer is only rewritten after it has been unregistered.
    struct EventRelay final : vlc::media_player_events_callback {
        explicit EventRelay(QmlVlcPlayerProxy* owner)
            : owner(owner)
        {
        }
        void media_player_event(const libvlc_event_t* e) override
        {
            owner->QmlVlcPlayerProxy::media_player_event(e); // not virtual: no vtable read
        }
        QmlVlcPlayerProxy* const owner;
    };

    EventRelay m_eventRelay { this };
    std::shared_ptr<vlc::playlist_player_core> m_player;
    QmlVlcAudio m_audio;
    QmlVlcInput m_input;
    QmlVlcPlaylist m_playlist;
    QmlVlcSubtitle m_subtitle;
    QmlVlcVideo m_video;
    QmlVlcCurrentMedia m_currentMedia;
    QTimer m_errorTimer;
    bool m_listening = false;
    Cue m_cue = Cue::None;
    bool m_mutedBeforeCue = false;
    bool m_hasPicture = false;
};
