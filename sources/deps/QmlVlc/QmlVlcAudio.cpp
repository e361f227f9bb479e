// SPDX-License-Identifier: GPL-2.0-or-later
#include "QmlVlcAudio.h"

#include "vlc_helpers.h"

QmlVlcAudio::QmlVlcAudio(vlc::player_core& player)
    : m_player(player)
{
    m_player.audio().register_callback(this);
}

QmlVlcAudio::~QmlVlcAudio() { m_player.audio().unregister_callback(this); }

void QmlVlcAudio::set_track(int idx)
{
    if (idx >= 0)
        m_player.audio().set_track(unsigned(idx));
}

QString QmlVlcAudio::description(unsigned idx) const
{
    libvlc_media_player_t* mp = m_player.basic_player().get_mp();
    if (!mp)
        return QString();
    return QString::fromStdString(vlc::take_track_name(libvlc_audio_get_track_description(mp), idx, get_trackCount()));
}

// Raised synchronously by the setters, so on the GUI thread.
void QmlVlcAudio::audio_event(vlc::audio_event_e e)
{
    VLC_CONTRACT(e == vlc::mute_changed || e == vlc::volume_changed);
    if (e == vlc::mute_changed)
        emit muteChanged();
    else
        emit volumeChanged();
}
