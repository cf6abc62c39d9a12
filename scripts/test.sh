#!/usr/bin/env bash
# Sets up what is missing, builds everything and runs the whole test suite.
#   scripts/test.sh              normal build in build/
#   scripts/test.sh --sanitize   AddressSanitizer + UBSan build in build-sanitize/
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir=build
extra=()
if [ "${1:-}" = "--sanitize" ]; then
  build_dir=build-sanitize
  extra=(-DCORVANE_SANITIZE=ON)
fi

# sqlite3 and chromium serve the web client's browser test, which skips without them.
scripts/deps.sh sqlite3 chromium
cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "${extra[@]}" >/dev/null
cmake --build "$build_dir" -j2
cd "$build_dir"
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j2
