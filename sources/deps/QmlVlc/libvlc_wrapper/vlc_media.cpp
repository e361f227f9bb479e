// SPDX-License-Identifier: GPL-2.0-or-later
#include "vlc_media.h"

#include "vlc_helpers.h"
#include "vlc_rtsp_input.h"

namespace vlc {

media::media(libvlc_media_t* m, bool needs_retain)
    : _media(m)
{
    if (_media && needs_retain)
        libvlc_media_retain(_media);
}

media::media(const media& other)
    : _media(other._media)
{
    if (_media)
        libvlc_media_retain(_media);
}

media& media::operator=(const media& other)
{
    if (this == &other)
        return *this;
    // Retain before giving up ours: both may be the same libvlc media, held by
    // two handles, and our reference may be its last but one.
    libvlc_media_t* m = other._media;
    if (m)
        libvlc_media_retain(m);
    release_media();
    _media = m;
    return *this;
}

media::~media() { release_media(); }

void media::release_media()
{
    if (_media) {
        libvlc_media_release(_media);
        _media = nullptr;
    }
}

media media::create_media(libvlc_instance_t* instance, const char* mrl, unsigned untrusted_count,
    const char** untrusted_options, unsigned trusted_count, const char** trusted_options, bool is_path)
{
    if (!instance || !mrl)
        return media();

    libvlc_media_t* m = is_path    ? libvlc_media_new_path(instance, mrl)
        : rtsp_input::handles(mrl) ? rtsp_input::new_media(instance, mrl)
                                   : libvlc_media_new_location(instance, mrl);
    if (!m)
        return media();

    for (unsigned i = 0; i < untrusted_count; ++i)
        libvlc_media_add_option_flag(m, untrusted_options[i], libvlc_media_option_unique);
    for (unsigned i = 0; i < trusted_count; ++i)
        libvlc_media_add_option_flag(m, trusted_options[i], libvlc_media_option_unique | libvlc_media_option_trusted);

    return media(m, false);
}

std::string media::mrl() const
{
    if (!_media)
        return std::string();
    std::string address;
    if (rtsp_input::address_of(_media, &address))
        return address;
    return take_libvlc_string(libvlc_media_get_mrl(_media));
}

std::string media::meta(libvlc_meta_t key) const
{
    if (!_media)
        return std::string();
    return take_libvlc_string(libvlc_media_get_meta(_media, key));
}

void media::set_meta(libvlc_meta_t key, const std::string& value)
{
    if (_media)
        libvlc_media_set_meta(_media, key, value.c_str());
}

// The synchronous 2.x parse calls are deprecated in libvlc 3.0 but still do
// what the players need: a blocking local parse.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

bool media::is_parsed() const { return _media && libvlc_media_is_parsed(_media) != 0; }

void media::parse()
{
    if (_media)
        libvlc_media_parse(_media);
}

#pragma GCC diagnostic pop

} // namespace vlc
