// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "vlc_basic_player.h"

namespace vlc {

// Video tracks, the adjust filter and the presence of a video output. The
// adjust filter costs a pass over every picture, so a player gets it only once
// one of its adjust values is set; it then stays for every later media.
class video {
public:
    explicit video(basic_player& player)
        : _player(player)
    {
    }

    bool has_vout() const;

    unsigned track_count() const;
    int get_track() const;
    void set_track(unsigned idx);

    float get_ajust_filter_var(libvlc_video_adjust_option_t option, float def) const;
    void set_ajust_filter_var(libvlc_video_adjust_option_t option, float value);
    int get_ajust_filter_var(libvlc_video_adjust_option_t option, int def) const;
    void set_ajust_filter_var(libvlc_video_adjust_option_t option, int value);

private:
    // The adjust filter is asked for on a libvlc player the first time one of
    // its values is set (works before playback as well as during it).
    void want_adjust_filter(libvlc_media_player_t* mp, libvlc_video_adjust_option_t option);

    basic_player& _player;
    libvlc_media_player_t* _adjusted = nullptr;
};

} // namespace vlc
