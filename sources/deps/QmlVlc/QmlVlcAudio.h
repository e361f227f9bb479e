// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QObject>
#include <QString>

#include "vlc_player.h"

// The player's audio controls as seen from QML. Tracks are numbered by their
// place in libvlc's description list, whose entry 0 disables audio. GUI
// thread only.
class QmlVlcAudio : public QObject, private vlc::audio_events_callback {
    Q_OBJECT
    Q_PROPERTY(unsigned count READ get_trackCount)
    Q_PROPERTY(int track READ get_track WRITE set_track)
    Q_PROPERTY(bool mute READ get_mute WRITE set_mute NOTIFY muteChanged)
    Q_PROPERTY(unsigned volume READ get_volume WRITE set_volume NOTIFY volumeChanged)
    Q_PROPERTY(Output channel READ get_channel WRITE set_channel)
    Q_PROPERTY(int delay READ get_delay WRITE set_delay)

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

    unsigned get_trackCount() const { return m_player.audio().track_count(); }
    int get_track() const { return m_player.audio().get_track(); }
    void set_track(int idx);
    bool get_mute() const { return m_player.audio().is_muted(); }
    void set_mute(bool mute) { m_player.audio().set_mute(mute); }
    unsigned get_volume() const { return m_player.audio().get_volume(); }
    void set_volume(unsigned volume) { m_player.audio().set_volume(volume); }
    Output get_channel() const { return Output(m_player.audio().get_channel()); }
    void set_channel(Output channel) { m_player.audio().set_channel(libvlc_audio_output_channel_t(channel)); }
    int get_delay() const { return int(m_player.audio().get_delay()); }
    void set_delay(int ms) { m_player.audio().set_delay(ms); }

    Q_INVOKABLE void toggleMute() { m_player.audio().toggle_mute(); }
    Q_INVOKABLE QString description(unsigned idx) const;

signals:
    void muteChanged();
    void volumeChanged();

private:
    void audio_event(vlc::audio_event_e e) override;

    vlc::player_core& m_player;
};
