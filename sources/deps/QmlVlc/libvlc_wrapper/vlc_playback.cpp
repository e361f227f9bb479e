// SPDX-License-Identifier: GPL-2.0-or-later
#include "vlc_playback.h"

namespace vlc {

float playback::get_rate() const
{
    libvlc_media_player_t* mp = _player.get_mp();
    return mp ? libvlc_media_player_get_rate(mp) : 1.f;
}

void playback::set_rate(float rate)
{
    if (libvlc_media_player_t* mp = _player.get_mp())
        libvlc_media_player_set_rate(mp, rate);
}

float playback::get_position() const
{
    libvlc_media_player_t* mp = _player.get_mp();
    if (!mp)
        return 0.f;
    const float position = libvlc_media_player_get_position(mp);
    return position < 0.f ? 0.f : position;
}

void playback::set_position(float position)
{
    if (libvlc_media_player_t* mp = _player.get_mp())
        libvlc_media_player_set_position(mp, position);
}

int64_t playback::get_time() const
{
    libvlc_media_player_t* mp = _player.get_mp();
    if (!mp)
        return 0;
    const libvlc_time_t t = libvlc_media_player_get_time(mp);
    return t < 0 ? 0 : t;
}

void playback::set_time(int64_t ms)
{
    if (libvlc_media_player_t* mp = _player.get_mp())
        libvlc_media_player_set_time(mp, ms);
}

int64_t playback::get_length() const
{
    libvlc_media_player_t* mp = _player.get_mp();
    if (!mp)
        return 0;
    const libvlc_time_t length = libvlc_media_player_get_length(mp);
    return length < 0 ? 0 : length;
}

float playback::get_fps() const
{
    libvlc_media_player_t* mp = _player.get_mp();
    if (!mp)
        return 0.f;
        // Deprecated in libvlc 3.0 in favour of the media's track list, but still
        // answers for the input being played.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    return libvlc_media_player_get_fps(mp);
#pragma GCC diagnostic pop
}

} // namespace vlc
