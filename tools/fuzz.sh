#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Builds the libFuzzer targets of tests/fuzz with clang (in build-fuzz), replays
# each target's regression inputs, then fuzzes each target for a bounded time, two
# at a time. A crash, a hang, a sanitizer report or memory over the limit fails
# the run; the input that did it is kept under $PLAYER_FUZZ_OUT (a temporary
# directory by default, printed at the end) and belongs in
# tests/fuzz/regressions/<target>/ once the fault is mended.
# Environment: PLAYER_FUZZ_SECONDS per target (60; 0 only replays the
# regressions), PLAYER_FUZZ_TARGETS (all), PLAYER_FUZZ_BUILD_DIR (build-fuzz).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
seconds=${PLAYER_FUZZ_SECONDS:-60}
targets=${PLAYER_FUZZ_TARGETS:-datagram schedule expression}
build=${PLAYER_FUZZ_BUILD_DIR:-build-fuzz}
out=${PLAYER_FUZZ_OUT:-}
keep=${out:+1}
out=${out:-$(mktemp -d /tmp/player-fuzz.XXXXXX)}
mkdir -p "$out"

CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPLAYER_FUZZ=ON >/dev/null
# shellcheck disable=SC2046
cmake --build "$build" -j2 --target $(printf 'fuzz_%s ' $targets)

# Qt's script engine keeps pointers to what it allocates in its own mapped heap,
# where LeakSanitizer cannot see them: every script object would be a leak. Growth
# is caught by libFuzzer's memory limit instead.
export ASAN_OPTIONS=detect_leaks=0
export UBSAN_OPTIONS=print_stacktrace=1

# Runs in its own directory, which holds the new corpus, the artifacts and the
# player.ini the datagram handlers read. Inside a private network namespace: the
# datagram target binds the player's UDP ports and may broadcast.
fuzz() {
    local target=$1 exe=$root/$build/tests/fuzz/fuzz_$1 kept=$root/tests/fuzz/regressions/$1
    mkdir -p "$out/$target/corpus"
    cd "$out/$target"
    "$root/tests/isolate.sh" --net -- "$exe" -timeout=10 "$kept"/* || return 1
    [ "$seconds" -gt 0 ] || return 0
    "$root/tests/isolate.sh" --net -- "$exe" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -dict="$root/tests/fuzz/$target.dict" -artifact_prefix="$out/$target/" -print_final_stats=1 \
        corpus "$kept"
}

for target in $targets; do
    while [ "$(jobs -rp | wc -l)" -ge 2 ]; do wait -n || true; done
    (fuzz "$target" >"$out/$target.log" 2>&1 && touch "$out/$target.passed") &
done
wait

status=0
for target in $targets; do
    if [ -e "$out/$target.passed" ]; then
        runs=$(grep -o 'stat::number_of_executed_units: [0-9]*' "$out/$target.log" | awk '{ print $2 }' || true)
        echo "fuzz_$target: passed (regressions replayed${runs:+, then $runs runs})"
    else
        status=1
        tail -n 40 "$out/$target.log"
        echo "fuzz_$target: FAILED (log: $out/$target.log, inputs: $out/$target/)"
    fi
done
# The corpora and logs of a clean run are of no further use unless asked for.
[ "$status" != 0 ] || [ -n "$keep" ] || rm -rf "$out"
exit $status
