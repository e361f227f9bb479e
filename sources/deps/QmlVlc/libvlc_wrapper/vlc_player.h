// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <atomic>
#include <deque>
#include <string>

#include <vlc/vlc.h>

#include "callbacks_holder.h"
#include "vlc_audio.h"
#include "vlc_basic_player.h"
#include "vlc_media.h"
#include "vlc_playback.h"
#include "vlc_subtitles.h"
#include "vlc_video.h"

namespace vlc {

struct media_player_events_callback {
    // Runs on libvlc's event thread; the event is only valid during the call.
    virtual void media_player_event(const libvlc_event_t* e) = 0;

protected:
    ~media_player_events_callback() = default;
};

// Owns one libvlc media player and is the single hub that forwards its events
// to registered listeners. libvlc events are attached exactly while at least
// one listener is registered and a media player is held.
//
// Order the owner keeps (from the controlling thread): open, register
// listeners, ..., unregister every listener, close.
class player_core : private callbacks_holder<media_player_events_callback> {
public:
    player_core();
    player_core(const player_core&) = delete;
    player_core& operator=(const player_core&) = delete;
    ~player_core();

    void register_callback(media_player_events_callback* callback) override;
    void unregister_callback(media_player_events_callback* callback) override;

    virtual bool open(libvlc_instance_t* instance);
    virtual void close();
    virtual void play() = 0;

    void pause() { _player.pause(); }
    void togglePause() { _player.togglePause(); }
    void stop() { _player.stop(); }

    void swap(player_core* other);

    bool is_open() const { return _player.is_open(); }
    libvlc_instance_t* get_instance() const { return _libvlc_instance; }

    vlc::basic_player& basic_player() { return _player; }
    vlc::playback& playback() { return _playback; }
    vlc::video& video() { return _video; }
    vlc::audio& audio() { return _audio; }
    vlc::subtitles& subtitles() { return _subtitles; }

protected:
    virtual void events_attach(bool attach);

    bool has_listeners() const { return has_callbacks(); }
    static void event_proxy(const libvlc_event_t* e, void* user_data);

private:
    void event(const libvlc_event_t* e);

    libvlc_instance_t* _libvlc_instance = nullptr;
    // libvlc 3.0 aborts the process when asked to detach a handler it does not
    // hold, so what is attached is tracked rather than inferred.
    bool _events_attached = false;
    // The media libvlc last announced, as a key only (never dereferenced):
    // libvlc's event thread checks with it whether an end was a failure.
    std::atomic<libvlc_media_t*> _event_media { nullptr };
    vlc::basic_player _player;
    vlc::playback _playback;
    vlc::video _video;
    vlc::audio _audio;
    vlc::subtitles _subtitles;
};

enum playback_mode_e {
    mode_single = 0,
    mode_normal = 1,
    mode_loop = 2,
};

// The interface through which every QML player object drives its player.
class playlist_player_core : public player_core {
public:
    static constexpr unsigned max_items = 0x7FFF;

    virtual playback_mode_e get_playback_mode() = 0;
    virtual void set_playback_mode(playback_mode_e mode) = 0;

    virtual int add_media(const media& m) = 0;
    virtual unsigned item_count() = 0;
    virtual bool delete_item(unsigned idx) = 0;
    virtual void clear_items() = 0;
    virtual media get_media(unsigned idx) = 0;
    virtual int find_media_index(const media& m) = 0;

    virtual void disable_item(unsigned idx, bool disable) = 0;
    virtual bool is_item_disabled(unsigned idx) = 0;
    virtual void set_item_data(unsigned idx, const std::string& data) = 0;
    virtual const std::string& get_item_data(unsigned idx) = 0;

    virtual void advance_item(unsigned idx, int count) = 0;

    virtual int current_item() = 0;
    virtual void set_current(unsigned idx) = 0;

    using player_core::play;
    virtual bool play(unsigned idx) = 0;
    virtual void next() = 0;
    virtual void prev() = 0;

    int add_media(const char* mrl, unsigned untrusted_count, const char** untrusted_options, unsigned trusted_count,
        const char** trusted_options, bool is_path = false);

protected:
    static const std::string& empty_item_data();
};

// Plays a playlist of its own, one item at a time on the core's media player,
// deciding itself which item comes next. Not locked: every call comes from the
// thread that owns the object.
class player : public playlist_player_core {
public:
    void close() override;
    void swap(player* other);

    playback_mode_e get_playback_mode() override { return _mode; }
    void set_playback_mode(playback_mode_e mode) override { _mode = mode; }

    int add_media(const media& m) override;
    using playlist_player_core::add_media;
    unsigned item_count() override { return unsigned(_playlist.size()); }
    bool delete_item(unsigned idx) override;
    void clear_items() override;
    media get_media(unsigned idx) override;
    int find_media_index(const media& m) override;

    void disable_item(unsigned idx, bool disable) override;
    bool is_item_disabled(unsigned idx) override;
    void set_item_data(unsigned idx, const std::string& data) override;
    const std::string& get_item_data(unsigned idx) override;

    void advance_item(unsigned idx, int count) override;

    int current_item() override { return _current_idx; }
    void set_current(unsigned idx) override;

    void play() override;
    bool play(unsigned idx) override;
    void next() override;
    void prev() override;

private:
    struct playlist_item {
        vlc::media media;
        bool disabled = false;
        std::string item_data;
    };
    typedef std::deque<playlist_item> playlist_t;

    void internal_play(int idx);
    int find_valid_item(int from, bool forward) const;
    bool try_expand_current();
    static void get_media_sub_items(const vlc::media& m, playlist_t* out);
    void check_current() const;

    playback_mode_e _mode = mode_single;
    playlist_t _playlist;
    int _current_idx = -1;
};

} // namespace vlc
