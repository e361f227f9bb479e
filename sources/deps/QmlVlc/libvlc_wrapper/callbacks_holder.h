// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <algorithm>
#include <deque>
#include <functional>
#include <mutex>

#include "vlc_helpers.h"

// A thread-safe list of listener objects, not owned. Listeners are walked on
// whatever thread raises the notification (libvlc's event thread for player
// events) while registration comes from the controlling thread; one mutex
// serialises both. The mutex is not recursive: a listener must not register or
// unregister on the same holder from inside its own callback.
template <typename callback_t> class callbacks_holder {
public:
    callbacks_holder() = default;
    callbacks_holder(const callbacks_holder&) = delete;
    callbacks_holder& operator=(const callbacks_holder&) = delete;

    virtual void register_callback(callback_t* callback)
    {
        std::lock_guard<std::mutex> lock(_guard);
        VLC_CONTRACT(_callbacks.end() == std::find(_callbacks.begin(), _callbacks.end(), callback));
        _callbacks.push_back(callback);
    }

    virtual void unregister_callback(callback_t* callback)
    {
        std::lock_guard<std::mutex> lock(_guard);
        auto it = std::find(_callbacks.begin(), _callbacks.end(), callback);
        if (it != _callbacks.end())
            _callbacks.erase(it);
    }

    void for_each_callback(const std::function<void(callback_t*)>& f) const
    {
        std::lock_guard<std::mutex> lock(_guard);
        const std::function<void(callback_t*)> call = f;
        for (callback_t* callback : _callbacks)
            call(callback);
    }

    // Read without the mutex: only the controlling thread changes the list.
    bool has_callbacks() const { return !_callbacks.empty(); }

protected:
    ~callbacks_holder() { VLC_CONTRACT(_callbacks.empty()); }

private:
    mutable std::mutex _guard;
    std::deque<callback_t*> _callbacks;
};
