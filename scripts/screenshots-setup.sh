#!/usr/bin/env bash
# Pictures of the setup dialog (each tab, with a published database and two users), of
# the user editor showing a validation message, of the About window and of the database
# check's window, drawn offscreen.
#   scripts/screenshots-setup.sh OUTDIR
set -euo pipefail
if [ $# -ne 1 ]; then
  echo "usage: $0 OUTDIR" >&2
  exit 2
fi
out="$(mkdir -p "$1" && cd "$1" && pwd)"
cd "$(dirname "$0")/.."

scripts/deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j2 --target corvane-setup-pictures
QT_QPA_PLATFORM=offscreen build/scripts/screenshots/corvane-setup-pictures "$out"
ls "$out"/setup-*.png "$out"/user-editor-message.png "$out"/about-window.png \
  "$out"/checking-window.png
