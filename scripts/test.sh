#!/usr/bin/env bash
# Sets up what is missing, builds everything and runs the whole test suite.
#   scripts/test.sh              normal build in build/
#   scripts/test.sh --sanitize   AddressSanitizer + UBSan build in build-sanitize/ (the core
#                                suites and the fuzz corpora; the widget suites run only in
#                                the normal build)
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir=build
extra=()
if [ "${1:-}" = "--sanitize" ]; then
  build_dir=build-sanitize
  extra=(-DCORVANE_SANITIZE=ON)
  # Any report fails the test that caused it; Qt's own allocations kept until exit are not
  # leaks of ours.
  export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1
  export LSAN_OPTIONS=suppressions=$PWD/tests/sanitize/lsan.supp:print_suppressions=0
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
fi

# sqlite3 and chromium serve the web client's browser test, which skips without them.
scripts/deps.sh sqlite3 chromium
# Repeated builds on a machine that kept its compiler cache take minutes, not tens.
if command -v ccache >/dev/null; then extra+=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi
cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "${extra[@]}" >/dev/null
cmake --build "$build_dir" -j2
cd "$build_dir"
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j2
