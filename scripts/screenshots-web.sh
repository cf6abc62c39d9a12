#!/usr/bin/env bash
# Saves screenshots of the web client's main screens at a phone's size into OUTDIR, taken
# while its end-to-end test runs in headless Chromium.
#   scripts/screenshots-web.sh OUTDIR        (BUILD_DIR=... to use another build tree)
set -euo pipefail
cd "$(dirname "$0")/.."
out="${1:?usage: scripts/screenshots-web.sh OUTDIR}"
mkdir -p "$out"
out="$(cd "$out" && pwd)"

scripts/deps.sh sqlite3 chromium
# A Node.js package of NodeSource's brings its own npm and conflicts with Debian's: the
# packages are asked for only when the commands are missing.
node_packages=()
command -v node >/dev/null || node_packages+=(nodejs)
command -v npm >/dev/null || node_packages+=(npm)
if ((${#node_packages[@]} > 0)); then scripts/deps.sh "${node_packages[@]}"; fi
build="${BUILD_DIR:-build-release}"
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DCORVANE_BUILD_TESTS=OFF >/dev/null
fi
cmake --build "$build" -j2 --target corvane-server corvane-client >/dev/null
tests/web/run-e2e.sh "$PWD/$build/src/app/corvane-server" "$PWD/$build/src/app/corvane-client" \
  "$out"
ls "$out"/*.png
