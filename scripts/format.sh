#!/usr/bin/env bash
# Formats the C++ sources with clang-format; --check only reports what differs.
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(git ls-files -- '*.cpp' '*.h')
if ((${#files[@]} == 0)); then exit 0; fi
if [ "${1:-}" = "--check" ]; then
  clang-format --dry-run --Werror "${files[@]}"
else
  clang-format -i "${files[@]}"
fi
