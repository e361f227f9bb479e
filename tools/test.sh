#!/usr/bin/env bash
# Installs what the tests need, builds the project and runs the whole test suite.
# Usage: tools/test.sh [extra ctest arguments]
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/install-deps.sh --tests

build=${PLAYER_BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j2
ctest --test-dir "$build" --output-on-failure --no-tests=error -j2 "$@"
