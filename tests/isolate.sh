#!/usr/bin/env bash
# Runs one test command in the conditions it needs, and nothing more:
#   --net     a private network namespace (loopback, plus eth0 as one end of a
#             veth pair with 10.99.0.1/24), so nothing the test or the player
#             sends can leave the machine
#   --wlan    with --net, also wlan0 (10.98.0.1/24)
#   --x       a private Xvfb (1920x1080x24, no TCP), started inside the namespace
# Usage: isolate.sh [--net [--wlan]] [--x] -- command [args...]
set -euo pipefail

net=0 wlan=0 x=0
while [ $# -gt 0 ]; do
    case "$1" in
        --net) net=1 ;;
        --wlan) wlan=1 ;;
        --x) x=1 ;;
        --) shift; break ;;
        *) echo "isolate.sh: unknown option $1" >&2; exit 2 ;;
    esac
    shift
done
[ $# -gt 0 ] || { echo "isolate.sh: no command" >&2; exit 2; }

if [ "$net" = 1 ] && [ -z "${PLAYER_ISOLATED_NET:-}" ]; then
    export PLAYER_ISOLATED_NET=1
    flags=()
    [ "$wlan" = 1 ] && flags+=(--wlan)
    [ "$x" = 1 ] && flags+=(--x)
    if [ "$(id -u)" -eq 0 ]; then
        exec unshare -n -- "$0" --net "${flags[@]}" -- "$@"
    else
        exec unshare -rn -- "$0" --net "${flags[@]}" -- "$@"
    fi
fi

if [ "$net" = 1 ]; then
    # Refuse to go on unless the namespace really is private: the host's own
    # interfaces must not be visible here.
    if ip -o link show | grep -v -E ': (lo)[:@]' | grep -q .; then
        echo "isolate.sh: network namespace is not private, refusing to run" >&2
        exit 3
    fi
    ip link set lo up
    ip link add eth0 type veth peer name peer0
    ip addr add 10.99.0.1/24 brd 10.99.0.255 dev eth0
    ip link set eth0 up
    ip link set peer0 up
    if [ "$wlan" = 1 ]; then
        ip link add wlan0 type veth peer name peer1
        ip addr add 10.98.0.1/24 brd 10.98.0.255 dev wlan0
        ip link set wlan0 up
        ip link set peer1 up
    fi
fi

work=$(mktemp -d /tmp/player-test.XXXXXX)
xvfb_pid=""
cleanup() {
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

# A private home: no settings, caches or sound devices leak in from the machine.
export HOME="$work/home"
export XDG_RUNTIME_DIR="$work/run"
export XDG_CACHE_HOME="$HOME/.cache"
mkdir -p "$HOME" "$XDG_RUNTIME_DIR" "$XDG_CACHE_HOME"
chmod 700 "$XDG_RUNTIME_DIR"
printf 'pcm.!default { type null }\nctl.!default { type hw card 0 }\n' > "$HOME/.asoundrc"
[ "$(id -u)" -eq 0 ] && export QTWEBENGINE_DISABLE_SANDBOX=1
export QTWEBENGINE_CHROMIUM_FLAGS="${QTWEBENGINE_CHROMIUM_FLAGS:---disable-gpu --disable-background-networking}"

if [ "$x" = 1 ]; then
    exec 5>"$work/display"
    Xvfb -displayfd 5 -screen 0 1920x1080x24 -nolisten tcp -nolisten unix >"$work/xvfb.log" 2>&1 &
    xvfb_pid=$!
    exec 5>&-
    for _ in $(seq 1 100); do
        [ -s "$work/display" ] && break
        sleep 0.05
    done
    [ -s "$work/display" ] || { echo "isolate.sh: Xvfb did not start" >&2; cat "$work/xvfb.log" >&2; exit 4; }
    export DISPLAY=":$(head -n1 "$work/display")"
    export QT_QPA_PLATFORM=xcb
else
    export QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-minimal}"
fi

export PLAYER_TEST_TMP="$work"
set +e
"$@"
status=$?
exit $status
