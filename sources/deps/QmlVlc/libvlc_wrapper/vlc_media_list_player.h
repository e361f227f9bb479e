// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "vlc_player.h"

namespace vlc {

// A playlist player whose list and advancing are libvlc's own media list and
// media-list player, driving the core's media player. Item flags and item data
// are not supported. The media list exists only while open; listeners
// registered before open get its events from open on.
class media_list_player : public playlist_player_core {
public:
    media_list_player() = default;
    ~media_list_player();

    bool open(libvlc_instance_t* instance) override;
    void close() override;

    playback_mode_e get_playback_mode() override { return _mode; }
    void set_playback_mode(playback_mode_e mode) override;

    int add_media(const media& m) override;
    using playlist_player_core::add_media;
    unsigned item_count() override;
    bool delete_item(unsigned idx) override;
    void clear_items() override;
    media get_media(unsigned idx) override;
    int find_media_index(const media& m) override;

    void disable_item(unsigned, bool) override { }
    bool is_item_disabled(unsigned) override { return false; }
    void set_item_data(unsigned, const std::string&) override { }
    const std::string& get_item_data(unsigned) override { return empty_item_data(); }

    void advance_item(unsigned, int) override { }

    int current_item() override;
    void set_current(unsigned) override { }

    void play() override;
    bool play(unsigned idx) override;
    void next() override;
    void prev() override;

protected:
    void events_attach(bool attach) override;

private:
    void list_events_attach(bool attach);
    void release_list();

    libvlc_media_list_t* _media_list = nullptr;
    libvlc_media_list_player_t* _list_player = nullptr;
    bool _list_events_attached = false;
    // libvlc's list player starts in its default mode, which is ours too.
    playback_mode_e _mode = mode_normal;
};

} // namespace vlc
