#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Plays the demo: installs what is missing, builds the player and the demo content
# (generated pictures, a video clip with sound, pages, two schedules), serves it on
# loopback with the development signage server and starts the player as the demo
# screen, which fetches its schedule from that server. Without a display the
# player runs under a private Xvfb. Extra arguments go to the player (-v).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

bash "$root/tools/install-deps.sh" --tests

build=${PLAYER_BUILD_DIR:-$root/build}
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target player demo_content -j2

# The signage server answers on a free loopback port; the player asks it for the
# schedule of device "demo-screen" and for the "/..." sources the schedule names.
port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
python3 "$root/tools/signage-server.py" --content "$build/demo" --bind 127.0.0.1 --port "$port" 2>"$build/demo-server.log" &
server=$!
trap 'kill "$server" 2>/dev/null || true' EXIT
trap 'exit 130' INT TERM
# The player would fetch again later, but a listening server spares the demo its first
# seconds of black.
for _ in $(seq 1 100); do
    (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && break
    sleep 0.1
done

# The web engine refuses to start as root with its sandbox on; a screen should run
# the player as an ordinary user, but a first try on a fresh machine is often root.
[ "$(id -u)" -eq 0 ] && export QTWEBENGINE_DISABLE_SANDBOX=1

args=(--host=127.0.0.1 --port="$port" --deviceUid=demo-screen "$@")
if [ -z "${DISPLAY:-}" ]; then
    xvfb-run -a -s "-screen 0 1920x1080x24 -nolisten tcp" "$build/sources/player" "${args[@]}"
else
    "$build/sources/player" "${args[@]}"
fi
