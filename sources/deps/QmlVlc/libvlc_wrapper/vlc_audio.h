// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <cstdint>

#include "callbacks_holder.h"
#include "vlc_basic_player.h"

namespace vlc {

enum audio_event_e {
    mute_changed = 0,
    volume_changed = 1,
};

struct audio_events_callback {
    virtual void audio_event(audio_event_e e) = 0;

protected:
    ~audio_events_callback() = default;
};

// Volume, mute, audio tracks, channel and delay. The setters that change what
// a listener shows (mute, volume) notify synchronously on the calling thread,
// and only when libvlc was actually called.
class audio : public callbacks_holder<audio_events_callback> {
public:
    explicit audio(basic_player& player)
        : _player(player)
    {
    }

    bool is_muted() const;
    void set_mute(bool mute);
    void toggle_mute();
    unsigned get_volume() const;
    void set_volume(unsigned volume);

    unsigned track_count() const;
    int get_track() const;
    void set_track(unsigned idx);

    libvlc_audio_output_channel_t get_channel() const;
    void set_channel(libvlc_audio_output_channel_t channel);

    int64_t get_delay() const;
    void set_delay(int64_t ms);

private:
    void notify(audio_event_e e);

    basic_player& _player;
};

} // namespace vlc
