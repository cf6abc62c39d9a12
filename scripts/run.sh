#!/usr/bin/env bash
# Sets up what is missing, builds a Release server and runs it.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh
cmake -S . -B build-release -DCMAKE_BUILD_TYPE=Release -DCORVANE_BUILD_TESTS=OFF >/dev/null
cmake --build build-release -j2 --target corvane-server
exec build-release/src/app/corvane-server --help
