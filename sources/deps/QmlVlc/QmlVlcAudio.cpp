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
    libvlc_track_description_t* list = mp ? libvlc_audio_get_track_description(mp) : nullptr;
    if (!list)
        return QString();
    QString name;
    if (idx < get_trackCount()) {
        const libvlc_track_description_t* entry = list;
        for (unsigned i = 0; entry && i < idx; ++i)
            entry = entry->p_next;
        if (entry && entry->psz_name)
            name = QString::fromUtf8(entry->psz_name);
    }
    libvlc_track_description_list_release(list);
    return name;
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
