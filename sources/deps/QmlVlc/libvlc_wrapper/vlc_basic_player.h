// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <vlc/vlc.h>

#include "vlc_media.h"

namespace vlc {

// Owns one libvlc media player (one reference) opened on a borrowed instance.
// Every operation is a no-op, or answers a neutral value, while closed.
class basic_player {
public:
    basic_player() = default;
    basic_player(const basic_player&) = delete;
    basic_player& operator=(const basic_player&) = delete;
    ~basic_player();

    bool open(libvlc_instance_t* instance);
    void close();
    void swap(basic_player* other);

    bool is_open() const { return _mp != nullptr; }
    libvlc_media_player_t* get_mp() const { return _mp; }
    libvlc_instance_t* get_instance() const { return _instance; }

    libvlc_state_t get_state() const;
    void play();
    void pause();
    void togglePause();
    void stop();

    media current_media() const;
    void set_media(const media& m);

private:
    libvlc_instance_t* _instance = nullptr;
    libvlc_media_player_t* _mp = nullptr;
};

} // namespace vlc
