// SPDX-License-Identifier: GPL-2.0-or-later
#include "vlc_player.h"

#include <algorithm>
#include <utility>

#include "vlc_helpers.h"
#include "vlc_rtsp_input.h"

namespace vlc {

namespace {

    // The media-player events forwarded to listeners, in attach order. Snapshots
    // and the video-output, scrambling, elementary-stream, audio-device and
    // chapter events that libvlc added later are left out.
    const libvlc_event_type_t player_event_types[] = {
        libvlc_MediaPlayerMediaChanged,
        libvlc_MediaPlayerNothingSpecial,
        libvlc_MediaPlayerOpening,
        libvlc_MediaPlayerBuffering,
        libvlc_MediaPlayerPlaying,
        libvlc_MediaPlayerPaused,
        libvlc_MediaPlayerStopped,
        libvlc_MediaPlayerForward,
        libvlc_MediaPlayerBackward,
        libvlc_MediaPlayerEndReached,
        libvlc_MediaPlayerEncounteredError,
        libvlc_MediaPlayerTimeChanged,
        libvlc_MediaPlayerPositionChanged,
        libvlc_MediaPlayerSeekableChanged,
        libvlc_MediaPlayerPausableChanged,
        libvlc_MediaPlayerTitleChanged,
        libvlc_MediaPlayerLengthChanged,
    };

} // namespace

// ---------------------------------------------------------------- player_core

player_core::player_core()
    : _playback(_player)
    , _video(_player)
    , _audio(_player)
    , _subtitles(_player)
{
}

player_core::~player_core()
{
    // Runs player_core::close whatever the dynamic type was: derived classes
    // have closed their own parts in their destructors already.
    player_core::close();
}

void player_core::register_callback(media_player_events_callback* callback)
{
    if (!has_callbacks())
        events_attach(true);
    callbacks_holder<media_player_events_callback>::register_callback(callback);
}

void player_core::unregister_callback(media_player_events_callback* callback)
{
    callbacks_holder<media_player_events_callback>::unregister_callback(callback);
    if (!has_callbacks())
        events_attach(false);
}

bool player_core::open(libvlc_instance_t* instance)
{
    // A null instance changes nothing: forgetting the instance of an open core
    // would leave it unable to create media for the player it still holds.
    if (!instance)
        return false;
    // Reopening releases the old media player, which another holder (a video
    // memory binding) may keep alive: it must not go on sending us its events.
    if (is_open() && has_callbacks())
        events_attach(false);
    _libvlc_instance = instance;
    const bool opened = _player.open(instance);
    if (opened && has_callbacks())
        events_attach(true);
    if (!opened)
        _libvlc_instance = nullptr;
    return opened;
}

void player_core::close()
{
    if (has_callbacks())
        events_attach(false);
    VLC_CONTRACT(!has_callbacks());
    _player.close();
    _libvlc_instance = nullptr;
}

void player_core::swap(player_core* other)
{
    if (!other || other == this)
        return;
    std::swap(_libvlc_instance, other->_libvlc_instance);
    if (other->has_callbacks())
        other->events_attach(false);
    if (has_callbacks())
        events_attach(false);
    _player.swap(&other->_player);
    if (other->has_callbacks())
        other->events_attach(true);
    if (has_callbacks())
        events_attach(true);
}

void player_core::events_attach(bool attach)
{
    libvlc_media_player_t* mp = _player.get_mp();
    if (!mp || attach == _events_attached)
        return;
    libvlc_event_manager_t* em = libvlc_media_player_event_manager(mp);
    if (!em)
        return;
    if (attach)
        _event_media = _player.current_media().libvlc_media();
    for (libvlc_event_type_t type : player_event_types) {
        if (attach)
            libvlc_event_attach(em, type, event_proxy, this);
        else
            libvlc_event_detach(em, type, event_proxy, this);
    }
    _events_attached = attach;
}

void player_core::event_proxy(const libvlc_event_t* e, void* user_data)
{
    if (user_data)
        static_cast<player_core*>(user_data)->event(e);
}

void player_core::event(const libvlc_event_t* e)
{
    if (e->type == libvlc_MediaPlayerMediaChanged)
        _event_media = e->u.media_player_media_changed.new_media;
    // The player's own RTSP input can only end its byte stream, which libvlc
    // takes for the end of the media: a stream that failed is an error here,
    // as it is for every media libvlc opens itself.
    libvlc_event_t failure;
    if (e->type == libvlc_MediaPlayerEndReached && rtsp_input::failed(_event_media)) {
        failure = *e;
        failure.type = libvlc_MediaPlayerEncounteredError;
        e = &failure;
    }
    for_each_callback([e](media_player_events_callback* callback) { callback->media_player_event(e); });
}

// ------------------------------------------------------- playlist_player_core

int playlist_player_core::add_media(const char* mrl, unsigned untrusted_count, const char** untrusted_options,
    unsigned trusted_count, const char** trusted_options, bool is_path)
{
    if (!is_open())
        return -1;
    return add_media(media::create_media(
        get_instance(), mrl, untrusted_count, untrusted_options, trusted_count, trusted_options, is_path));
}

const std::string& playlist_player_core::empty_item_data()
{
    static const std::string empty;
    return empty;
}

// --------------------------------------------------------------------- player

void player::check_current() const { VLC_CONTRACT(_current_idx < 0 || unsigned(_current_idx) < _playlist.size()); }

void player::close()
{
    player_core::close();
    clear_items();
}

void player::swap(player* other)
{
    if (!other || other == this)
        return;
    player_core::swap(other);
    std::swap(_playlist, other->_playlist);
    std::swap(_mode, other->_mode);
    std::swap(_current_idx, other->_current_idx);
}

int player::add_media(const media& m)
{
    if (!is_open() || _playlist.size() >= max_items || m.empty())
        return -1;
    _playlist.push_back(playlist_item { m, false, std::string() });
    return int(_playlist.size() - 1);
}

bool player::delete_item(unsigned idx)
{
    if (idx >= _playlist.size())
        return false;

    const int old_current = _current_idx;
    if (_current_idx >= 0) {
        const unsigned cur = unsigned(_current_idx);
        if (idx < cur || (idx == cur && cur == _playlist.size() - 1))
            --_current_idx;
    }
    // With no current item there is nothing to keep in step: the index stays -1.

    _playlist.erase(_playlist.begin() + idx);
    check_current();

    if (old_current >= 0 && idx == unsigned(old_current) && basic_player().get_state() == libvlc_Playing)
        internal_play(find_valid_item(old_current, true));
    return true;
}

void player::clear_items()
{
    _playlist.clear();
    _current_idx = -1;
}

media player::get_media(unsigned idx) { return idx < _playlist.size() ? _playlist[idx].media : media(); }

int player::find_media_index(const media& m)
{
    for (std::size_t i = 0; i < _playlist.size(); ++i) {
        if (_playlist[i].media == m)
            return int(i);
    }
    return -1;
}

void player::disable_item(unsigned idx, bool disable)
{
    if (idx < _playlist.size())
        _playlist[idx].disabled = disable;
}

bool player::is_item_disabled(unsigned idx) { return idx < _playlist.size() && _playlist[idx].disabled; }

void player::set_item_data(unsigned idx, const std::string& data)
{
    if (idx < _playlist.size())
        _playlist[idx].item_data = data;
}

const std::string& player::get_item_data(unsigned idx)
{
    return idx < _playlist.size() ? _playlist[idx].item_data : empty_item_data();
}

void player::advance_item(unsigned idx, int count)
{
    const long long n = static_cast<long long>(_playlist.size());
    const long long target = static_cast<long long>(idx) + count;
    if (idx >= n || count == 0 || target < 0 || target >= n)
        return;

    playlist_item item = _playlist[idx];
    _playlist.erase(_playlist.begin() + idx);
    _playlist.insert(_playlist.begin() + target, std::move(item));

    if (_current_idx >= 0) {
        const long long cur = _current_idx;
        if (cur == idx)
            _current_idx = int(target);
        else if (count > 0 && idx < cur && cur <= target)
            --_current_idx;
        else if (count < 0 && target <= cur && cur < idx)
            ++_current_idx;
    }
    check_current();
}

void player::set_current(unsigned idx)
{
    if (idx >= _playlist.size())
        return;
    _current_idx = int(idx);
    basic_player().set_media(_playlist[idx].media);
}

int player::find_valid_item(int from, bool forward) const
{
    const int n = int(_playlist.size());
    if (n == 0)
        return -1;

    if (forward) {
        const int start = from < 0 ? 0 : std::min(from, n);
        for (int i = start; i < n; ++i) {
            if (!_playlist[i].disabled)
                return i;
        }
        if (_mode == mode_loop && start > 0) {
            for (int i = 0; i < start; ++i) {
                if (!_playlist[i].disabled)
                    return i;
            }
        }
        return -1;
    }

    if (from >= n)
        from = n - 1;
    const int start = from >= 0 ? from : -1;
    for (int i = start; i >= 0; --i) {
        if (!_playlist[i].disabled)
            return i;
    }
    if (_mode == mode_loop && start < n - 1) {
        for (int i = n - 1; i > start; --i) {
            if (!_playlist[i].disabled)
                return i;
        }
    }
    return -1;
}

void player::internal_play(int idx)
{
    if (idx < 0 || unsigned(idx) >= _playlist.size())
        return;

    const media current = basic_player().current_media();
    if (current == _playlist[idx].media && basic_player().get_state() != libvlc_Ended) {
        // Already the player's media: resume or keep playing, without
        // restarting it.
        basic_player().play();
        return;
    }
    set_current(unsigned(idx));
    basic_player().play();
}

void player::play()
{
    if (_playlist.empty())
        basic_player().play();
    else if (_current_idx < 0)
        internal_play(0);
    else if (unsigned(_current_idx) < _playlist.size())
        internal_play(_current_idx);
    else
        internal_play(int(_playlist.size()) - 1);
}

bool player::play(unsigned idx)
{
    if (idx >= _playlist.size())
        return false;
    internal_play(int(idx));
    return true;
}

void player::next()
{
    const bool expanded = try_expand_current();
    if (_playlist.empty())
        return;
    const int from = expanded ? _current_idx : _current_idx + 1;
    internal_play(find_valid_item(from, true));
}

void player::prev()
{
    if (_playlist.empty())
        return;
    internal_play(find_valid_item(_current_idx - 1, false));
}

bool player::try_expand_current()
{
    const bool has_current = _current_idx >= 0 && unsigned(_current_idx) < _playlist.size();
    const media container = has_current ? _playlist[_current_idx].media : basic_player().current_media();
    const std::string item_data = has_current ? _playlist[_current_idx].item_data : std::string();

    playlist_t sub_items;
    get_media_sub_items(container, &sub_items);

    const std::size_t room = max_items - std::min<std::size_t>(_playlist.size(), max_items);
    if (sub_items.size() > room)
        sub_items.resize(room);
    if (!item_data.empty()) {
        for (playlist_item& item : sub_items)
            item.item_data = item_data;
    }
    if (sub_items.empty())
        return false;

    if (_current_idx < 0) {
        _playlist.insert(_playlist.begin(), sub_items.begin(), sub_items.end());
        _current_idx = 0;
    } else if (has_current) {
        const auto at = _playlist.erase(_playlist.begin() + _current_idx);
        _playlist.insert(at, sub_items.begin(), sub_items.end());
    } else {
        _current_idx = int(_playlist.size());
        _playlist.insert(_playlist.end(), sub_items.begin(), sub_items.end());
    }
    check_current();
    return true;
}

void player::get_media_sub_items(const vlc::media& m, playlist_t* out)
{
    VLC_CONTRACT(out);
    if (m.empty())
        return;
    libvlc_media_list_t* list = libvlc_media_subitems(m.libvlc_media());
    if (!list)
        return;

    libvlc_media_list_lock(list);
    const int count = libvlc_media_list_count(list);
    const int limit = std::min(count, int(max_items));
    for (int i = 0; i < limit; ++i) {
        libvlc_media_t* sub = libvlc_media_list_item_at_index(list, i);
        if (!sub)
            continue;
        out->push_back(playlist_item { media(sub, false), false, std::string() });
    }
    libvlc_media_list_unlock(list);
    libvlc_media_list_release(list);
}

} // namespace vlc
