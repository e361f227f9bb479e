// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <string>

#include <vlc/vlc.h>

// Programming-contract checks of the media layer. They stay on in release
// builds: a broken order of open, register, unregister and close must stop the
// process at once rather than let libvlc call into a destroyed listener later.
#define VLC_CONTRACT(expr) ((expr) ? static_cast<void>(0) : ::vlc::contract_failed(#expr, __FILE__, __LINE__, __func__))

namespace vlc {

[[noreturn]] void contract_failed(const char* expr, const char* file, int line, const char* function);

// Copies a string that libvlc handed over and frees libvlc's copy at once;
// null becomes the empty string.
std::string take_libvlc_string(char* s);

// Tracks are addressed by their position in libvlc's description list. libvlc
// puts a "Disable" entry with id -1 at its head whenever tracks exist.
int track_idx_2_track_id(const libvlc_track_description_t* list, int idx);
int track_id_2_track_idx(const libvlc_track_description_t* list, int id);

// The name of entry `idx` of a description list when idx < count (empty
// otherwise); releases the list, which may be null.
std::string take_track_name(libvlc_track_description_t* list, unsigned idx, unsigned count);

} // namespace vlc
