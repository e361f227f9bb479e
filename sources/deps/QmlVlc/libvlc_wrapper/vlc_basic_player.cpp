// SPDX-License-Identifier: GPL-2.0-or-later
#include "vlc_basic_player.h"

#include <utility>

#include "vlc_rtsp_input.h"

namespace vlc {

basic_player::~basic_player() { close(); }

bool basic_player::open(libvlc_instance_t* instance)
{
    if (!instance)
        return false;
    if (_mp)
        close();
    _instance = instance;
    _mp = libvlc_media_player_new(instance);
    return _mp != nullptr;
}

void basic_player::close()
{
    if (_mp) {
        // The last release would stop it too, but without the warning that
        // lets an input of ours return from a read at once.
        rtsp_input::stopping(_mp);
        libvlc_media_player_stop(_mp);
        libvlc_media_player_release(_mp);
    }
    _mp = nullptr;
    _instance = nullptr;
}

void basic_player::swap(basic_player* other)
{
    if (!other || other == this)
        return;
    std::swap(_instance, other->_instance);
    std::swap(_mp, other->_mp);
}

libvlc_state_t basic_player::get_state() const
{
    if (!_mp)
        return libvlc_NothingSpecial;
    const libvlc_state_t state = libvlc_media_player_get_state(_mp);
    if (state == libvlc_Ended && rtsp_input::failed(current_media().libvlc_media()))
        return libvlc_Error;
    return state;
}

void basic_player::play()
{
    if (_mp)
        libvlc_media_player_play(_mp);
}

void basic_player::pause()
{
    if (_mp)
        libvlc_media_player_set_pause(_mp, 1);
}

void basic_player::togglePause()
{
    if (_mp)
        libvlc_media_player_pause(_mp);
}

void basic_player::stop()
{
    if (!_mp)
        return;
    rtsp_input::stopping(_mp);
    libvlc_media_player_stop(_mp);
}

media basic_player::current_media() const
{
    if (!_mp)
        return media();
    // libvlc_media_player_get_media hands out a reference of its own.
    return media(libvlc_media_player_get_media(_mp), false);
}

void basic_player::set_media(const media& m)
{
    if (!_mp)
        return;
    // Setting a media stops the current one first.
    rtsp_input::stopping(_mp);
    libvlc_media_player_set_media(_mp, m.libvlc_media());
}

} // namespace vlc
