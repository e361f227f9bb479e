// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <cstdint>

#include "vlc_basic_player.h"

namespace vlc {

// Rate, position and time of whatever media player the basic player holds at
// the time of the call. Times are milliseconds.
class playback {
public:
    explicit playback(basic_player& player)
        : _player(player)
    {
    }

    float get_rate() const;
    void set_rate(float rate);
    float get_position() const;
    void set_position(float position);
    int64_t get_time() const;
    void set_time(int64_t ms);
    int64_t get_length() const;
    float get_fps() const;

private:
    basic_player& _player;
};

} // namespace vlc
