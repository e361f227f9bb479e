#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Installs what building, running and testing the player needs on Debian 12.
# Idempotent and non-interactive; skips apt entirely when everything is present.
# With --tests also what the test suite needs; with --bench that and what bench/ needs.
set -euo pipefail

# The demo content is made at build time (ffmpeg, imagemagick, fonts); dpkg-dev
# finds the package's library dependencies.
BUILD_PKGS="cmake g++ ninja-build pkg-config qtbase5-dev qtdeclarative5-dev qtwebengine5-dev libvlc-dev \
libavformat-dev libavcodec-dev libavutil-dev libsystemd-dev libx11-dev libxext-dev libxss-dev dpkg-dev ffmpeg imagemagick \
fonts-dejavu-core"
RUN_PKGS="qml-module-qtquick-controls qml-module-qtquick-layouts \
qml-module-qtquick-window2 qml-module-qtmultimedia qml-module-qtwebengine qml-module-qtquick-dialogs \
vlc-plugin-base libvlc-bin qtwayland5 cage xwayland"
TEST_PKGS="xvfb xauth x11-apps x11-utils qml-module-qttest qtdeclarative5-dev-tools ffmpeg imagemagick zbar-tools \
faketime x11-xserver-utils iproute2 vlc-bin python3 util-linux qrencode grim clang libclang-rt-14-dev clang-format tesseract-ocr lintian"
# The video-path benchmark also plays its clip with VLC's own player, whose OpenGL
# output is a plugin of its own.
BENCH_PKGS="vlc-plugin-video-output"

want="$BUILD_PKGS $RUN_PKGS"
[ "${1:-}" = "--tests" ] && want="$want $TEST_PKGS"
[ "${1:-}" = "--bench" ] && want="$want $TEST_PKGS $BENCH_PKGS"

missing=""
for p in $want; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
[ -z "$missing" ] && exit 0

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
# shellcheck disable=SC2086
$SUDO apt-get install -y -qq --no-install-recommends $missing
