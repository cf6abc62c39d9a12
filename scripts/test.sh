#!/usr/bin/env bash
# Sets up what is missing, builds everything and runs the whole test suite.
#   scripts/test.sh              normal build in build/
#   scripts/test.sh --sanitize   AddressSanitizer + UBSan build in build-sanitize/ (the core
#                                and server-database suites and the fuzz corpora; the widget
#                                suites run only in the normal build)
#   scripts/test.sh --tsan       ThreadSanitizer build in build-tsan/ of the suites whose
#                                clients are served side by side (database commands, the
#                                connections, web access, the server process, the server
#                                databases)
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir=build
extra=()
targets=()
labels=""
case "${1:-}" in
  --sanitize)
    build_dir=build-sanitize
    extra=(-DCORVANE_SANITIZE=ON)
    # Any report fails the test that caused it; Qt's own allocations kept until exit are not
    # leaks of ours.
    export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1
    export LSAN_OPTIONS=suppressions=$PWD/tests/sanitize/lsan.supp:print_suppressions=0
    export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
    ;;
  --tsan)
    build_dir=build-tsan
    extra=(-DCORVANE_TSAN=ON)
    targets=(--target corvane-server corvane-client corvane_db_tests corvane_net_tests
             corvane_web_tests corvane_server_tests corvane_engine_tests
             corvane_postgres_tests)
    labels="^(db|net|web|server|postgres)$"
    # Any report fails the test; Qt's own threads are not instrumented, so what happens
    # inside Qt is left out.
    export TSAN_OPTIONS="halt_on_error=1:abort_on_error=1:second_deadlock_stack=1:die_after_fork=0:suppressions=$PWD/tests/sanitize/tsan.supp"
    ;;
esac

# sqlite3 and chromium serve the web client's browser test, which skips without them;
# postgresql gives the server-database suites a throwaway cluster (pg_virtualenv);
# python3-prometheus-client reads the metrics page in the headless server's suite.
scripts/deps.sh sqlite3 chromium postgresql python3-prometheus-client
# Repeated builds on a machine that kept its compiler cache take minutes, not tens.
if command -v ccache >/dev/null; then
  extra+=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  # What ccache needs to cache builds with precompiled headers (cmake/PrecompiledHeaders.cmake).
  export CCACHE_SLOPPINESS=pch_defines,time_macros,include_file_mtime,include_file_ctime
fi
cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "${extra[@]}" >/dev/null
cmake --build "$build_dir" -j2 "${targets[@]}"
cd "$build_dir"
if [ -n "$labels" ]; then
  QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j2 -L "$labels"
else
  QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j2
fi
