// SPDX-License-Identifier: GPL-2.0-or-later
#include "vlc_rtsp_input.h"

#include <dlfcn.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <set>

#include "rtsp_ts_session.h"

namespace vlc {
namespace rtsp_input {

    namespace {

        // What one media made by new_media() knows. It lives until libvlc frees
        // the media, which happens only once no player holds it, so after the
        // last input that used its callbacks has closed.
        struct source {
            std::string address;
            std::atomic<bool> failed { false };
            // The inputs open on this media: opened and closed on libvlc's
            // input threads, interrupted from the GUI thread.
            std::mutex lock;
            std::set<rtsp_ts_session*> sessions;
        };

        std::mutex registry_lock;
        std::map<libvlc_media_t*, std::unique_ptr<source>>& registry()
        {
            static std::map<libvlc_media_t*, std::unique_ptr<source>> sources;
            return sources;
        }

        bool has_rtsp_scheme(const char* mrl)
        {
            return mrl && (strncasecmp(mrl, "rtsp://", 7) == 0 || strncasecmp(mrl, "rtsps://", 8) == 0);
        }

        bool libvlc_has_rtsp_client()
        {
            static const bool present = [] {
                const bool found = live555_in(libvlc_plugin_dirs());
                std::fprintf(stderr, "rtsp input: %s\n",
                    found ? "libvlc has its own RTSP client (live555); rtsp:// addresses go to libvlc"
                          : "libvlc has no RTSP client (no live555 access module); rtsp:// and rtsps:// addresses are "
                            "read by the player's own input");
                return found;
            }();
            return present;
        }

        // libvlc's input thread, from here to close_input.
        int open_input(void* opaque, void** datap, std::uint64_t* sizep)
        {
            auto* src = static_cast<source*>(opaque);
            src->failed = false;
            auto* session = new rtsp_ts_session(src->address, rtsp_ts_session::timeouts());
            session->start();
            {
                std::lock_guard<std::mutex> guard(src->lock);
                src->sessions.insert(session);
            }
            *datap = new std::pair<source*, rtsp_ts_session*>(src, session);
            *sizep = UINT64_MAX;
            return 0;
        }

        ssize_t read_input(void* opaque, unsigned char* buf, std::size_t len)
        {
            auto* input = static_cast<std::pair<source*, rtsp_ts_session*>*>(opaque);
            const std::size_t n = input->second->read(buf, len);
            if (n == 0 && input->second->result() == rtsp_ts_session::outcome::failed)
                input->first->failed = true;
            return ssize_t(n);
        }

        void close_input(void* opaque)
        {
            auto* input = static_cast<std::pair<source*, rtsp_ts_session*>*>(opaque);
            {
                std::lock_guard<std::mutex> guard(input->first->lock);
                input->first->sessions.erase(input->second);
            }
            delete input->second;
            delete input;
        }

        void media_freed(const libvlc_event_t* e, void*)
        {
            std::lock_guard<std::mutex> guard(registry_lock);
            registry().erase(e->u.media_freed.md);
        }

        bool find_live555(const std::filesystem::path& dir, int depth)
        {
            std::error_code ec;
            for (const auto& entry : std::filesystem::directory_iterator(dir, ec)) {
                if (entry.path().filename() == "liblive555_plugin.so")
                    return true;
                if (depth > 0 && entry.is_directory(ec) && find_live555(entry.path(), depth - 1))
                    return true;
            }
            return false;
        }

    } // namespace

    bool handles(const char* mrl) { return has_rtsp_scheme(mrl) && !libvlc_has_rtsp_client(); }

    libvlc_media_t* new_media(libvlc_instance_t* instance, const char* mrl)
    {
        auto src = std::make_unique<source>();
        src->address = mrl;
        libvlc_media_t* m
            = libvlc_media_new_callbacks(instance, open_input, read_input, nullptr, close_input, src.get());
        if (!m)
            return nullptr;
        // The bytes are always a transport stream: no probing, which would
        // wait on the network before the first packet.
        libvlc_media_add_option_flag(m, ":demux=ts", libvlc_media_option_unique | libvlc_media_option_trusted);
        libvlc_event_attach(libvlc_media_event_manager(m), libvlc_MediaFreed, media_freed, nullptr);
        std::lock_guard<std::mutex> guard(registry_lock);
        registry()[m] = std::move(src);
        return m;
    }

    bool address_of(libvlc_media_t* m, std::string* address)
    {
        std::lock_guard<std::mutex> guard(registry_lock);
        const auto it = registry().find(m);
        if (it == registry().end())
            return false;
        if (address)
            *address = it->second->address;
        return true;
    }

    void stopping(libvlc_media_player_t* mp)
    {
        libvlc_media_t* m = mp ? libvlc_media_player_get_media(mp) : nullptr;
        if (!m)
            return;
        {
            std::lock_guard<std::mutex> guard(registry_lock);
            const auto it = registry().find(m);
            if (it != registry().end()) {
                std::lock_guard<std::mutex> sessions_guard(it->second->lock);
                for (rtsp_ts_session* session : it->second->sessions)
                    session->interrupt();
            }
        }
        libvlc_media_release(m);
    }

    bool failed(libvlc_media_t* m)
    {
        std::lock_guard<std::mutex> guard(registry_lock);
        const auto it = registry().find(m);
        return it != registry().end() && it->second->failed;
    }

    bool live555_in(const std::vector<std::string>& plugin_dirs)
    {
        for (const std::string& dir : plugin_dirs) {
            if (!dir.empty() && find_live555(dir, 2))
                return true;
        }
        return false;
    }

    std::vector<std::string> libvlc_plugin_dirs()
    {
        std::vector<std::string> dirs;
        if (const char* env = std::getenv("VLC_PLUGIN_PATH")) {
            std::string list(env);
            for (std::size_t from = 0; from <= list.size();) {
                const std::size_t to = std::min(list.find(':', from), list.size());
                dirs.push_back(list.substr(from, to - from));
                from = to + 1;
            }
        }
        Dl_info info {};
        if (dladdr(reinterpret_cast<void*>(&libvlc_new), &info) && info.dli_fname)
            dirs.push_back((std::filesystem::path(info.dli_fname).parent_path() / "vlc" / "plugins").string());
        return dirs;
    }

} // namespace rtsp_input
} // namespace vlc
