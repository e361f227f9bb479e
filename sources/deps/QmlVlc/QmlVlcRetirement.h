// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <functional>

// Runs the slow end of a player's life (libvlc stops the input and joins its
// decoder and output threads: tens to hundreds of milliseconds on a busy
// machine) on one worker thread, in the order given, so that the GUI thread
// never waits for it. The application's destruction waits for every job
// handed in. Without an application object a job runs at once, on the caller.
namespace QmlVlcRetirement {

void retire(std::function<void()> job);

// Waits until every job handed in so far has run (GUI thread; tests, quit).
void drain();

} // namespace QmlVlcRetirement
