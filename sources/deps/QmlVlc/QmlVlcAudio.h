#pragma once

#include <QObject>

#include "vlc_player.h"

// The player's audio controls as seen from QML. GUI thread only.
class QmlVlcAudio : public QObject, private vlc::audio_events_callback {
    Q_OBJECT
    Q_PROPERTY(unsigned volume READ get_volume WRITE set_volume NOTIFY volumeChanged)
    Q_PROPERTY(bool mute READ get_mute WRITE set_mute NOTIFY muteChanged)

public:
    enum Output {
        Stereo = libvlc_AudioChannel_Stereo,
        ReverseStereo = libvlc_AudioChannel_RStereo,
        Left = libvlc_AudioChannel_Left,
        Right = libvlc_AudioChannel_Right,
        Dolby = libvlc_AudioChannel_Dolbys,
    };
    Q_ENUM(Output)

    explicit QmlVlcAudio(vlc::player_core& player);
    ~QmlVlcAudio() override;

    unsigned get_volume() const { return m_player.audio().get_volume(); }
    void set_volume(unsigned volume) { m_player.audio().set_volume(volume); }
    bool get_mute() const { return m_player.audio().is_muted(); }
    void set_mute(bool mute) { m_player.audio().set_mute(mute); }

    Q_INVOKABLE void toggleMute() { m_player.audio().toggle_mute(); }

signals:
    void volumeChanged();
    void muteChanged();

private:
    void audio_event(vlc::audio_event_e e) override;

    vlc::player_core& m_player;
};
