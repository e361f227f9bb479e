// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <string>

#include <vlc/vlc.h>

namespace vlc {

// Reference-counted handle of a libvlc media: a non-null pointer always stands
// for exactly one libvlc reference owned by this handle. Two handles are the
// same media when they hold the same pointer.
class media {
public:
    media() = default;
    media(libvlc_media_t* m, bool needs_retain);
    media(const media& other);
    media& operator=(const media& other);
    ~media();

    void release_media();

    static media create_media(libvlc_instance_t* instance, const char* mrl, unsigned untrusted_count,
        const char** untrusted_options, unsigned trusted_count, const char** trusted_options, bool is_path = false);

    std::string mrl() const;
    std::string meta(libvlc_meta_t key) const;
    void set_meta(libvlc_meta_t key, const std::string& value);
    bool is_parsed() const;
    void parse();

    libvlc_media_t* libvlc_media() const { return _media; }
    bool empty() const { return !_media; }

    bool operator==(const media& other) const { return _media == other._media; }
    bool operator!=(const media& other) const { return _media != other._media; }

private:
    libvlc_media_t* _media = nullptr;
};

} // namespace vlc
