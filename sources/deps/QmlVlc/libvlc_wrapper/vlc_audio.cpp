// SPDX-License-Identifier: GPL-2.0-or-later
#include "vlc_audio.h"

#include "vlc_helpers.h"

namespace vlc {

bool audio::is_muted() const
{
    libvlc_media_player_t* mp = _player.get_mp();
    // -1 (no audio output yet) counts as muted as well.
    return mp && libvlc_audio_get_mute(mp) != 0;
}

void audio::set_mute(bool mute)
{
    if (libvlc_media_player_t* mp = _player.get_mp()) {
        libvlc_audio_set_mute(mp, mute ? 1 : 0);
        notify(mute_changed);
    }
}

void audio::toggle_mute()
{
    if (libvlc_media_player_t* mp = _player.get_mp()) {
        libvlc_audio_toggle_mute(mp);
        notify(mute_changed);
    }
}

unsigned audio::get_volume() const
{
    libvlc_media_player_t* mp = _player.get_mp();
    if (!mp)
        return 0;
    const int volume = libvlc_audio_get_volume(mp);
    return volume < 0 ? 0 : unsigned(volume);
}

void audio::set_volume(unsigned volume)
{
    if (libvlc_media_player_t* mp = _player.get_mp()) {
        libvlc_audio_set_volume(mp, int(volume));
        notify(volume_changed);
    }
}

unsigned audio::track_count() const
{
    libvlc_media_player_t* mp = _player.get_mp();
    if (!mp)
        return 0;
    const int count = libvlc_audio_get_track_count(mp);
    return count < 0 ? 0 : unsigned(count);
}

int audio::get_track() const
{
    libvlc_media_player_t* mp = _player.get_mp();
    if (!mp)
        return -1;
    libvlc_track_description_t* list = libvlc_audio_get_track_description(mp);
    if (!list)
        return -1;
    const int idx = track_id_2_track_idx(list, libvlc_audio_get_track(mp));
    libvlc_track_description_list_release(list);
    return idx;
}

void audio::set_track(unsigned idx)
{
    libvlc_media_player_t* mp = _player.get_mp();
    if (!mp)
        return;
    libvlc_track_description_t* list = libvlc_audio_get_track_description(mp);
    if (!list)
        return;
    libvlc_audio_set_track(mp, track_idx_2_track_id(list, int(idx)));
    libvlc_track_description_list_release(list);
}

libvlc_audio_output_channel_t audio::get_channel() const
{
    libvlc_media_player_t* mp = _player.get_mp();
    return mp ? libvlc_audio_output_channel_t(libvlc_audio_get_channel(mp)) : libvlc_AudioChannel_Error;
}

void audio::set_channel(libvlc_audio_output_channel_t channel)
{
    if (libvlc_media_player_t* mp = _player.get_mp())
        libvlc_audio_set_channel(mp, channel);
}

int64_t audio::get_delay() const
{
    libvlc_media_player_t* mp = _player.get_mp();
    return mp ? libvlc_audio_get_delay(mp) / 1000 : 0;
}

void audio::set_delay(int64_t ms)
{
    if (libvlc_media_player_t* mp = _player.get_mp())
        libvlc_audio_set_delay(mp, ms * 1000);
}

void audio::notify(audio_event_e e)
{
    for_each_callback([e](audio_events_callback* callback) { callback->audio_event(e); });
}

} // namespace vlc
