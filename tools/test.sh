#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Installs what the tests need, builds the project and runs the whole test suite.
# Usage: tools/test.sh [extra ctest arguments]
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/install-deps.sh --tests

build=${PLAYER_BUILD_DIR:-build}
log=$(mktemp)
trap 'rm -f "$log"' EXIT
status=0

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j2
ctest --test-dir "$build" --output-on-failure --no-tests=error -j2 "$@" 2>&1 | tee -a "$log" || status=1

# The media engine wrapper's tests (and the RTSP input's) once more under AddressSanitizer and
# UndefinedBehaviorSanitizer, so that a leaked or double-released libvlc
# reference fails the run. Only those targets are built (about 2 minutes).
if [ "${PLAYER_SKIP_SANITIZERS:-}" != 1 ]; then
    asan=${PLAYER_ASAN_BUILD_DIR:-build-asan}
    cmake -S . -B "$asan" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DPLAYER_SANITIZE=ON >/dev/null
    cmake --build "$asan" -j2 --target tst_wrapper tst_rtsp
    ctest --test-dir "$asan" --output-on-failure --no-tests=error -j2 -L wrapper 2>&1 | tee -a "$log" || status=1
fi

# The video frame hand-over under ThreadSanitizer: libvlc's threads, the GUI thread and
# the render thread, while clips play, change and are torn down in a window. Only the
# media test is built (about a minute); any report fails the run.
if [ "${PLAYER_SKIP_TSAN:-}" != 1 ]; then
    tsan=${PLAYER_TSAN_BUILD_DIR:-build-tsan}
    cmake -S . -B "$tsan" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPLAYER_SANITIZE=thread >/dev/null
    cmake --build "$tsan" -j2 --target tst_media
    ctest --test-dir "$tsan" --output-on-failure --no-tests=error -L tsan 2>&1 | tee -a "$log" || status=1
fi

# Three minutes of fast playback (images, pages, videos, transitions): the run fails
# when the player's descriptor or thread count grows after the warm-up.
if [ "${PLAYER_SKIP_SOAK:-}" != 1 ]; then
    PLAYER_EXE="$PWD/$build/sources/player" tests/isolate.sh --net --x -- \
        python3 bench/soak.py --minutes 3 --warmup 40 --check 2>&1 | tee -a "$log" || status=1
fi

# libFuzzer over the remote datagram handlers, the schedule reader and the
# transition expressions (tools/fuzz.sh: clang, build-fuzz): the kept regression
# inputs first, then PLAYER_FUZZ_SECONDS per target (40 here, so that the whole run
# stays within a quarter of an hour on two cores), two targets at a time.
if [ "${PLAYER_SKIP_FUZZ:-}" != 1 ]; then
    PLAYER_FUZZ_SECONDS=${PLAYER_FUZZ_SECONDS:-40} bash tools/fuzz.sh 2>&1 | tee -a "$log" || status=1
fi

# One closing line for both runs together.
awk '/tests passed, [0-9]+ tests? failed out of/ { failed += $4; total += $NF }
     END { printf "tests: %d passed, %d failed\n", total - failed, failed }' "$log"
exit $status
