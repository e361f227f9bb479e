// SPDX-License-Identifier: GPL-2.0-or-later
#include "vlc_helpers.h"

#include <cstdio>
#include <cstdlib>

namespace vlc {

void contract_failed(const char* expr, const char* file, int line, const char* function)
{
    std::fprintf(stderr, "%s:%d: %s: Assertion `%s' failed.\n", file, line, function, expr);
    std::fflush(stderr);
    std::abort();
}

std::string take_libvlc_string(char* s)
{
    if (!s)
        return std::string();
    std::string copy(s);
    libvlc_free(s);
    return copy;
}

int track_idx_2_track_id(const libvlc_track_description_t* list, int idx)
{
    if (!list || idx < 0)
        return -1;
    for (const libvlc_track_description_t* t = list; t; t = t->p_next, --idx) {
        if (idx == 0)
            return t->i_id;
    }
    return -1;
}

int track_id_2_track_idx(const libvlc_track_description_t* list, int id)
{
    if (!list || id < 0)
        return -1;
    int idx = 0;
    for (const libvlc_track_description_t* t = list; t; t = t->p_next, ++idx) {
        if (t->i_id == id)
            return idx;
    }
    return -1;
}

std::string take_track_name(libvlc_track_description_t* list, unsigned idx, unsigned count)
{
    std::string name;
    if (idx < count) {
        const libvlc_track_description_t* entry = list;
        for (unsigned i = 0; entry && i < idx; ++i)
            entry = entry->p_next;
        if (entry && entry->psz_name)
            name = entry->psz_name;
    }
    if (list)
        libvlc_track_description_list_release(list);
    return name;
}

} // namespace vlc
