// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <cstdint>
#include <string>

#include "vlc_basic_player.h"

namespace vlc {

// Subtitle tracks, delay (milliseconds) and external subtitle files.
class subtitles {
public:
    explicit subtitles(basic_player& player)
        : _player(player)
    {
    }

    int track_count() const;
    int get_track() const;
    void set_track(unsigned idx);

    int64_t get_delay() const;
    void set_delay(int64_t ms);

    bool load(const std::string& path);

private:
    basic_player& _player;
};

} // namespace vlc
