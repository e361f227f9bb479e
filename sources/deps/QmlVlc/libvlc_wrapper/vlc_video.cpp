// SPDX-License-Identifier: GPL-2.0-or-later
#include "vlc_video.h"

#include "vlc_helpers.h"

namespace vlc {

bool video::has_vout() const
{
    libvlc_media_player_t* mp = _player.get_mp();
    return mp && libvlc_media_player_has_vout(mp) != 0;
}

unsigned video::track_count() const
{
    libvlc_media_player_t* mp = _player.get_mp();
    if (!mp)
        return 0;
    const int count = libvlc_video_get_track_count(mp);
    return count < 0 ? 0 : unsigned(count);
}

int video::get_track() const
{
    libvlc_media_player_t* mp = _player.get_mp();
    if (!mp)
        return -1;
    libvlc_track_description_t* list = libvlc_video_get_track_description(mp);
    if (!list)
        return -1;
    const int idx = track_id_2_track_idx(list, libvlc_video_get_track(mp));
    libvlc_track_description_list_release(list);
    return idx;
}

void video::set_track(unsigned idx)
{
    libvlc_media_player_t* mp = _player.get_mp();
    if (!mp)
        return;
    libvlc_track_description_t* list = libvlc_video_get_track_description(mp);
    if (!list)
        return;
    libvlc_video_set_track(mp, track_idx_2_track_id(list, int(idx)));
    libvlc_track_description_list_release(list);
}

float video::get_ajust_filter_var(libvlc_video_adjust_option_t option, float def) const
{
    libvlc_media_player_t* mp = _player.get_mp();
    return mp ? libvlc_video_get_adjust_float(mp, option) : def;
}

void video::set_ajust_filter_var(libvlc_video_adjust_option_t option, float value)
{
    if (libvlc_media_player_t* mp = _player.get_mp()) {
        want_adjust_filter(mp, option);
        libvlc_video_set_adjust_float(mp, option, value);
    }
}

int video::get_ajust_filter_var(libvlc_video_adjust_option_t option, int def) const
{
    libvlc_media_player_t* mp = _player.get_mp();
    return mp ? libvlc_video_get_adjust_int(mp, option) : def;
}

void video::set_ajust_filter_var(libvlc_video_adjust_option_t option, int value)
{
    if (libvlc_media_player_t* mp = _player.get_mp()) {
        want_adjust_filter(mp, option);
        libvlc_video_set_adjust_int(mp, option, value);
    }
}

void video::want_adjust_filter(libvlc_media_player_t* mp, libvlc_video_adjust_option_t option)
{
    if (option == libvlc_adjust_Enable || _adjusted == mp)
        return;
    libvlc_video_set_adjust_int(mp, libvlc_adjust_Enable, 1);
    _adjusted = mp;
}

} // namespace vlc
