// SPDX-License-Identifier: GPL-2.0-or-later
#include "vlc_media_list_player.h"

namespace vlc {

namespace {

    const libvlc_event_type_t list_event_types[] = {
        libvlc_MediaListItemAdded,
        libvlc_MediaListWillAddItem,
        libvlc_MediaListItemDeleted,
        libvlc_MediaListWillDeleteItem,
    };

    // The list player's own events: it played to the end, moved to an item, stopped.
    const libvlc_event_type_t list_player_event_types[] = {
        libvlc_MediaListPlayerPlayed,
        libvlc_MediaListPlayerNextItemSet,
        libvlc_MediaListPlayerStopped,
    };

    // Holds libvlc's media-list lock for one scope.
    class list_lock {
    public:
        explicit list_lock(libvlc_media_list_t* list)
            : _list(list)
        {
            libvlc_media_list_lock(_list);
        }
        ~list_lock() { libvlc_media_list_unlock(_list); }
        list_lock(const list_lock&) = delete;
        list_lock& operator=(const list_lock&) = delete;

    private:
        libvlc_media_list_t* _list;
    };

} // namespace

media_list_player::~media_list_player() { media_list_player::close(); }

bool media_list_player::open(libvlc_instance_t* instance)
{
    if (!instance)
        return false;
    // Reopening starts from a new, empty list.
    release_list();
    if (!player_core::open(instance))
        return false;
    _media_list = libvlc_media_list_new(instance);
    _list_player = libvlc_media_list_player_new(instance);
    if (!_list_player) {
        close();
        return false;
    }
    if (_media_list)
        libvlc_media_list_player_set_media_list(_list_player, _media_list);
    libvlc_media_list_player_set_media_player(_list_player, basic_player().get_mp());
    // The core attached the player's events before the list existed.
    if (has_listeners())
        list_events_attach(true);
    return true;
}

void media_list_player::close()
{
    release_list();
    player_core::close();
}

void media_list_player::release_list()
{
    // The list's events are detached while the list still exists.
    list_events_attach(false);
    if (_list_player) {
        libvlc_media_list_player_release(_list_player);
        _list_player = nullptr;
    }
    if (_media_list) {
        libvlc_media_list_release(_media_list);
        _media_list = nullptr;
    }
}

void media_list_player::events_attach(bool attach)
{
    player_core::events_attach(attach);
    list_events_attach(attach);
}

void media_list_player::list_events_attach(bool attach)
{
    if (!basic_player().get_mp() || !_media_list || attach == _list_events_attached)
        return;
    libvlc_event_manager_t* em = libvlc_media_list_event_manager(_media_list);
    if (!em)
        return;
    player_core* self = this;
    for (libvlc_event_type_t type : list_event_types) {
        if (attach)
            libvlc_event_attach(em, type, event_proxy, self);
        else
            libvlc_event_detach(em, type, event_proxy, self);
    }
    // Both managers send synchronously on the thread that changed the list or
    // the list player, with libvlc's lock held: listeners only hand events on.
    if (libvlc_event_manager_t* lpem = _list_player ? libvlc_media_list_player_event_manager(_list_player) : nullptr) {
        for (libvlc_event_type_t type : list_player_event_types) {
            if (attach)
                libvlc_event_attach(lpem, type, event_proxy, self);
            else
                libvlc_event_detach(lpem, type, event_proxy, self);
        }
    }
    _list_events_attached = attach;
}

void media_list_player::set_playback_mode(playback_mode_e mode)
{
    // Single is the QML layer's business (it simply does not advance);
    // libvlc's list player has no such mode.
    if (mode == mode_single)
        return;
    _mode = mode;
    if (_list_player) {
        libvlc_media_list_player_set_playback_mode(
            _list_player, mode == mode_loop ? libvlc_playback_mode_loop : libvlc_playback_mode_default);
    }
}

int media_list_player::add_media(const media& m)
{
    if (!_media_list || item_count() > max_items - 1 || m.empty())
        return -1;
    list_lock lock(_media_list);
    if (libvlc_media_list_add_media(_media_list, m.libvlc_media()) != 0)
        return -1;
    return libvlc_media_list_index_of_item(_media_list, m.libvlc_media());
}

unsigned media_list_player::item_count()
{
    if (!_media_list)
        return 0;
    list_lock lock(_media_list);
    const int count = libvlc_media_list_count(_media_list);
    return count < 0 ? 0 : unsigned(count);
}

bool media_list_player::delete_item(unsigned idx)
{
    if (!_media_list)
        return false;
    list_lock lock(_media_list);
    return libvlc_media_list_remove_index(_media_list, int(idx)) == 0;
}

void media_list_player::clear_items()
{
    if (!_media_list)
        return;
    list_lock lock(_media_list);
    for (int i = libvlc_media_list_count(_media_list) - 1; i >= 0; --i)
        libvlc_media_list_remove_index(_media_list, i);
}

media media_list_player::get_media(unsigned idx)
{
    if (!_media_list)
        return media();
    list_lock lock(_media_list);
    return media(libvlc_media_list_item_at_index(_media_list, int(idx)), false);
}

int media_list_player::find_media_index(const media& m)
{
    if (!_media_list || m.empty())
        return -1;
    list_lock lock(_media_list);
    return libvlc_media_list_index_of_item(_media_list, m.libvlc_media());
}

int media_list_player::current_item()
{
    if (!_media_list || !basic_player().get_mp())
        return -1;
    const media current = basic_player().current_media();
    if (current.empty())
        return -1;
    return find_media_index(current);
}

void media_list_player::play()
{
    if (_list_player)
        libvlc_media_list_player_play(_list_player);
}

bool media_list_player::play(unsigned idx)
{
    return _list_player && libvlc_media_list_player_play_item_at_index(_list_player, int(idx)) == 0;
}

void media_list_player::next()
{
    if (_list_player)
        libvlc_media_list_player_next(_list_player);
}

void media_list_player::prev()
{
    if (_list_player)
        libvlc_media_list_player_previous(_list_player);
}

} // namespace vlc
