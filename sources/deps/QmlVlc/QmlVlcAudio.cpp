#include "QmlVlcAudio.h"

QmlVlcAudio::QmlVlcAudio(vlc::player_core& player)
    : m_player(player)
{
    m_player.audio().register_callback(this);
}

QmlVlcAudio::~QmlVlcAudio() { m_player.audio().unregister_callback(this); }

// Raised synchronously by the setters, so on the GUI thread.
void QmlVlcAudio::audio_event(vlc::audio_event_e e)
{
    if (e == vlc::volume_changed)
        emit volumeChanged();
    else if (e == vlc::mute_changed)
        emit muteChanged();
}
