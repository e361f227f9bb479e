// SPDX-License-Identifier: GPL-2.0-or-later
#include "vlc_subtitles.h"

#include "vlc_helpers.h"

namespace vlc {

int subtitles::track_count() const
{
    libvlc_media_player_t* mp = _player.get_mp();
    return mp ? libvlc_video_get_spu_count(mp) : 0;
}

int subtitles::get_track() const
{
    libvlc_media_player_t* mp = _player.get_mp();
    if (!mp)
        return -1;
    libvlc_track_description_t* list = libvlc_video_get_spu_description(mp);
    if (!list)
        return -1;
    const int idx = track_id_2_track_idx(list, libvlc_video_get_spu(mp));
    libvlc_track_description_list_release(list);
    return idx;
}

void subtitles::set_track(unsigned idx)
{
    libvlc_media_player_t* mp = _player.get_mp();
    if (!mp)
        return;
    libvlc_track_description_t* list = libvlc_video_get_spu_description(mp);
    if (!list)
        return;
    libvlc_video_set_spu(mp, track_idx_2_track_id(list, int(idx)));
    libvlc_track_description_list_release(list);
}

int64_t subtitles::get_delay() const
{
    libvlc_media_player_t* mp = _player.get_mp();
    return mp ? libvlc_video_get_spu_delay(mp) / 1000 : 0;
}

void subtitles::set_delay(int64_t ms)
{
    if (libvlc_media_player_t* mp = _player.get_mp())
        libvlc_video_set_spu_delay(mp, ms * 1000);
}

bool subtitles::load(const std::string& path)
{
    libvlc_media_player_t* mp = _player.get_mp();
    if (!mp)
        return false;
        // The 2.x call takes a plain path, which is what the subtitle downloads
        // produce; libvlc 3.0 keeps it as a wrapper over its slave API.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    return libvlc_video_set_subtitle_file(mp, path.c_str()) != 0;
#pragma GCC diagnostic pop
}

} // namespace vlc
