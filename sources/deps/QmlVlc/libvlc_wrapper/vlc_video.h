// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "vlc_basic_player.h"

namespace vlc {

// Video tracks, the adjust filter and the presence of a video output. The
// adjust values only act when the instance was created with the adjust filter.
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
    basic_player& _player;
};

} // namespace vlc
