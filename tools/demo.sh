#!/usr/bin/env bash
# Plays the bundled demo schedule: installs what is missing, builds the player,
# draws the demo images when they are not there yet, serves demo/ on loopback as
# the signage server and starts the player on demo/demo.json. Without a display
# the player runs under a private Xvfb. Extra arguments go to the player (-v).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

bash "$root/tools/install-deps.sh" --tests

build=${PLAYER_BUILD_DIR:-$root/build}
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target player -j2

# One full-HD picture per slide: a colour and a big title, or a plain gradient
# when ImageMagick finds no font to write with.
images=$root/demo/images
mkdir -p "$images"
draw() { # name background title
    local out=$images/$1.png
    [ -s "$out" ] && return 0
    /usr/bin/convert -size 1920x1080 "xc:$2" -gravity center -font DejaVu-Sans-Bold -pointsize 180 \
        -fill white -annotate 0 "$3" "$out" 2>/dev/null \
        || /usr/bin/convert -size 1920x1080 "gradient:$2-white" "$out"
}
draw welcome '#1f4e79' 'Welcome'
draw morning '#b8860b' 'Good morning'
draw offers '#8b1a1a' 'Offers'
draw thanks '#4b2a7b' 'Thank you'

# The demo's "/..." sources are served from demo/ by a loopback server.
port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
python3 -m http.server --bind 127.0.0.1 --directory "$root/demo" "$port" >/dev/null 2>&1 &
server=$!
trap 'kill "$server" 2>/dev/null || true' EXIT
trap 'exit 130' INT TERM

# The web engine refuses to start as root with its sandbox on; a screen should run
# the player as an ordinary user, but a first try on a fresh machine is often root.
[ "$(id -u)" -eq 0 ] && export QTWEBENGINE_DISABLE_SANDBOX=1

args=(--json="$root/demo/demo.json" --host=127.0.0.1 --port="$port" "$@")
if [ -z "${DISPLAY:-}" ]; then
    xvfb-run -a -s "-screen 0 1920x1080x24 -nolisten tcp" "$build/sources/player" "${args[@]}"
else
    "$build/sources/player" "${args[@]}"
fi
