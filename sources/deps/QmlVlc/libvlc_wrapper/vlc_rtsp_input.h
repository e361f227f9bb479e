// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <string>
#include <vector>

#include <vlc/vlc.h>

namespace vlc {

// RTSP for a libvlc without an RTSP client of its own (Debian builds libvlc
// without live555): "rtsp://" and "rtsps://" addresses are read by the
// player's own input (rtsp_ts_session) and reach libvlc as an MPEG-TS byte
// stream through libvlc_media_new_callbacks. Every other address, and every
// address when libvlc has its live555 access module, stays libvlc's.
namespace rtsp_input {

    // Whether this address goes through the player's own input.
    bool handles(const char* mrl);

    // A libvlc media that plays the address through the player's own input;
    // null when libvlc refuses to create it.
    libvlc_media_t* new_media(libvlc_instance_t* instance, const char* mrl);

    // The address a media of new_media() was made for, so that it reads back
    // unchanged; false for any other media.
    bool address_of(libvlc_media_t* m, std::string* address);

    // Interrupts the input of the player's current media, if it is ours, so
    // that libvlc's stop does not wait on the network. Only right before
    // libvlc stops that input: an interrupted input hands out null packets
    // until it is closed. GUI thread.
    void stopping(libvlc_media_player_t* mp);

    // Whether the last opening of this media could not connect or broke off.
    // libvlc only sees the byte stream end and calls that the end of the media.
    bool failed(libvlc_media_t* m);

    // libvlc's live555 access module in one of these plugin directories (or a
    // directory below them)?
    bool live555_in(const std::vector<std::string>& plugin_dirs);

    // The directories libvlc loads plugins from: VLC_PLUGIN_PATH, then
    // vlc/plugins beside the libvlc library that is loaded.
    std::vector<std::string> libvlc_plugin_dirs();

} // namespace rtsp_input

} // namespace vlc
