// SPDX-License-Identifier: GPL-2.0-or-later
#include "vlc_vmem.h"

#include <cstring>

#include "vlc_rtsp_input.h"

namespace vlc {

namespace {

    // Installed on close: whatever libvlc still asks for afterwards is refused, so
    // nothing of a destroyed object can be reached.
    unsigned inert_format(void**, char*, unsigned*, unsigned*, unsigned*, unsigned*) { return 0; }

    void* inert_lock(void*, void** planes)
    {
        planes[0] = nullptr;
        planes[1] = nullptr;
        planes[2] = nullptr;
        return nullptr;
    }

} // namespace

// --------------------------------------------------------- basic_vmem_wrapper

basic_vmem_wrapper::~basic_vmem_wrapper() { close(); }

bool basic_vmem_wrapper::open(basic_player* player)
{
    libvlc_media_player_t* mp = player ? player->get_mp() : nullptr;
    if (mp && mp == _mp)
        return true;
    close();
    if (!mp)
        return false;

    _mp = mp;
    libvlc_media_player_retain(_mp);
    libvlc_video_set_callbacks(_mp, video_lock_proxy, video_unlock_proxy, video_display_proxy, this);
    libvlc_video_set_format_callbacks(_mp, video_format_proxy, video_cleanup_proxy);
    return true;
}

void basic_vmem_wrapper::close()
{
    if (!_mp)
        return;
    libvlc_video_set_callbacks(_mp, inert_lock, nullptr, nullptr, nullptr);
    libvlc_video_set_format_callbacks(_mp, inert_format, nullptr);
    // Stopping joins the video output: once it returns no callback of ours is
    // running or will run. It stops the player for every holder of it.
    rtsp_input::stopping(_mp);
    libvlc_media_player_stop(_mp);
    libvlc_media_player_release(_mp);
    _mp = nullptr;
}

unsigned basic_vmem_wrapper::video_format_proxy(
    void** opaque, char* chroma, unsigned* width, unsigned* height, unsigned* pitches, unsigned* lines)
{
    return static_cast<basic_vmem_wrapper*>(*opaque)->video_format_cb(chroma, width, height, pitches, lines);
}

void basic_vmem_wrapper::video_cleanup_proxy(void* opaque)
{
    static_cast<basic_vmem_wrapper*>(opaque)->video_cleanup_cb();
}

void* basic_vmem_wrapper::video_lock_proxy(void* opaque, void** planes)
{
    return static_cast<basic_vmem_wrapper*>(opaque)->video_lock_cb(planes);
}

void basic_vmem_wrapper::video_unlock_proxy(void* opaque, void* picture, void* const* planes)
{
    static_cast<basic_vmem_wrapper*>(opaque)->video_unlock_cb(picture, planes);
}

void basic_vmem_wrapper::video_display_proxy(void* opaque, void* picture)
{
    static_cast<basic_vmem_wrapper*>(opaque)->video_display_cb(picture);
}

// ----------------------------------------------------------------------- vmem

unsigned vmem::video_format_cb(char* chroma, unsigned* width, unsigned* height, unsigned* pitches, unsigned* lines)
{
    if (_desired_width && _desired_height && *width && *height) {
        const float src = float(*width) / float(*height);
        const float dst = float(_desired_width) / float(_desired_height);
        if (src > dst) {
            if (_desired_width != *width) {
                *width = _desired_width;
                *height = unsigned(_desired_width / src + 0.5);
            }
        } else if (_desired_height != *height) {
            *height = _desired_height;
            *width = unsigned(src * _desired_height + 0.5);
        }
    }

    _media_width = *width;
    _media_height = *height;

    std::memcpy(chroma, "RV32", 4);
    pitches[0] = _media_width * 4;
    lines[0] = _media_height;

    // One spare line: some of libvlc's converters write past the last row.
    _frame_buf.resize(std::size_t(_media_height + 1) * pitches[0]);

    on_format_setup();
    return 1;
}

void vmem::video_cleanup_cb()
{
    on_frame_cleanup();
    _frame_buf.clear();
    _media_width = 0;
    _media_height = 0;
}

void* vmem::video_lock_cb(void** planes)
{
    planes[0] = _frame_buf.empty() ? nullptr : _frame_buf.data();
    return nullptr;
}

void vmem::video_unlock_cb(void*, void* const*) { }

void vmem::video_display_cb(void*) { on_frame_ready(_frame_buf); }

} // namespace vlc
