// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <vector>

#include <vlc/vlc.h>

#include "vlc_basic_player.h"

namespace vlc {

// Binds libvlc's video-memory callbacks of one media player to the five
// virtual operations below. The binding holds a libvlc reference of its own to
// the media player, so it stays bound even if the player core swaps or closes
// its own. The operations run only on libvlc's video-output thread, between a
// successful open and the matching close; a derived class synchronises with
// its other threads itself and must call close() in its destructor before its
// own members go away.
class basic_vmem_wrapper {
public:
    basic_vmem_wrapper() = default;
    basic_vmem_wrapper(const basic_vmem_wrapper&) = delete;
    basic_vmem_wrapper& operator=(const basic_vmem_wrapper&) = delete;

    // Controlling thread only.
    bool open(basic_player* player);
    void close();

    bool is_open() const { return _mp != nullptr; }

protected:
    ~basic_vmem_wrapper();

    virtual unsigned video_format_cb(
        char* chroma, unsigned* width, unsigned* height, unsigned* pitches, unsigned* lines)
        = 0;
    virtual void video_cleanup_cb() = 0;
    virtual void* video_lock_cb(void** planes) = 0;
    virtual void video_unlock_cb(void* picture, void* const* planes) = 0;
    virtual void video_display_cb(void* picture) = 0;

private:
    static unsigned video_format_proxy(
        void** opaque, char* chroma, unsigned* width, unsigned* height, unsigned* pitches, unsigned* lines);
    static void video_cleanup_proxy(void* opaque);
    static void* video_lock_proxy(void* opaque, void** planes);
    static void video_unlock_proxy(void* opaque, void* picture, void* const* planes);
    static void video_display_proxy(void* opaque, void* picture);

    libvlc_media_player_t* _mp = nullptr;
};

// Renders 32-bit RGB ("RV32") into one buffer of its own, optionally fitted
// into a desired size keeping the aspect ratio, and hands every finished
// picture to on_frame_ready (on libvlc's video-output thread).
class vmem : public basic_vmem_wrapper {
public:
    // 0 x 0 keeps the decoder's size. Takes effect at the next format.
    void set_desired_size(unsigned width, unsigned height)
    {
        _desired_width = width;
        _desired_height = height;
    }

    unsigned width() const { return _media_width; }
    unsigned height() const { return _media_height; }

protected:
    ~vmem() = default;

    unsigned video_format_cb(
        char* chroma, unsigned* width, unsigned* height, unsigned* pitches, unsigned* lines) override;
    void video_cleanup_cb() override;
    void* video_lock_cb(void** planes) override;
    void video_unlock_cb(void* picture, void* const* planes) override;
    void video_display_cb(void* picture) override;

    virtual void on_format_setup() { }
    virtual void on_frame_ready(const std::vector<char>& frame_buf) = 0;
    virtual void on_frame_cleanup() = 0;

private:
    std::vector<char> _frame_buf;
    unsigned _desired_width = 0;
    unsigned _desired_height = 0;
    unsigned _media_width = 0;
    unsigned _media_height = 0;
};

} // namespace vlc
