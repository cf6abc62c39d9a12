#!/usr/bin/env bash
# Saves screenshots of the desktop program into OUTDIR: the main window with activity rows
# and a logged-on user, shot from outside on a virtual display (Xvfb) with the program on
# a demo folder of its own; the About window and the database check's progress window are
# drawn offscreen with the setup's pictures (scripts/screenshots-setup.sh).
#   scripts/screenshots.sh OUTDIR        (BUILD_DIR=... to use another build tree)
set -euo pipefail
cd "$(dirname "$0")/.."
out="${1:?usage: scripts/screenshots.sh OUTDIR}"
mkdir -p "$out"
out="$(cd "$out" && pwd)"

scripts/deps.sh sqlite3 xvfb x11-apps x11-utils netpbm
build="${BUILD_DIR:-build-release}"
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DCORVANE_BUILD_TESTS=OFF >/dev/null
fi
cmake --build "$build" -j2 --target corvane-server corvane-client >/dev/null
server="$PWD/$build/src/app/corvane-server"
client="$PWD/$build/src/app/corvane-client"

work="$(mktemp -d)"
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

# Demo folder: a free port, multiple logons allowed, the sample database, user DEMO.
port=$((20000 + RANDOM % 10000))
demo="$work/demo"
mkdir -p "$demo"
printf '%s\r\n' "$port" >"$demo/network.dat"
printf '0,0,5,0,0\r\n1,0\r\n' >"$demo/general.dat"
sqlite3 "$demo/sample.db" <data/sample.sql >/dev/null
printf '"sample.db","%s"\r\n' "$demo/sample.db" >"$demo/database.dat"
key="$("$server" --dir "$demo" --add-user DEMO DEMO)"
# The window's place and size, in twips.
printf '600,600\r\n13500,8400\r\n' >"$demo/User.dat"

display=":$((90 + RANDOM % 9))"
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
export DISPLAY="$display"
sleep 1

# Captures the program's window of that title, the widest one or the narrowest one (the
# progress window shares the main window's title), as OUTDIR/NAME.png.
shoot() {
  local name="$1" title="$2" pick="$3" id
  id="$(xwininfo -root -tree | grep -F "\"$title\": (\"corvane-server\"" |
    awk '{ split($0, parts, "\\) +"); split(parts[2], size, "x"); print size[1] + 0, $1 }' |
    sort -n | if [ "$pick" = narrowest ]; then head -1; else tail -1; fi | cut -d' ' -f2)"
  if [ -z "$id" ]; then
    echo "no window \"$title\" on the display" >&2
    return 1
  fi
  xwd -silent -id "$id" | xwdtopnm 2>/dev/null | pnmtopng >"$out/$name.png"
  echo "$out/$name.png"
}

# Runs the desktop program until shot.
start_server() {
  "$server" --dir "$demo" >/dev/null 2>&1 &
  server_pid=$!
  pids+=("$server_pid")
  sleep 2
}
stop_server() {
  kill "$server_pid" 2>/dev/null || true
  wait "$server_pid" 2>/dev/null || true
}

start_server
# One visit that ends (its logoff shows at the next refresh), one client that stays: its
# last request is one the server does not answer, so it waits connected.
"$client" --port "$port" --user DEMO --password DEMO --key "$key" ThankYou , RequestTables 0 \
  >/dev/null 2>&1 || true
"$client" --port "$port" --user DEMO --password DEMO --key "$key" --timeout 15000 \
  ThankYou , RequestTables 0 , RequestQuery 0 , Wait >/dev/null 2>&1 &
pids+=($!)
sleep 7
shoot main-window "Corvane Database Server" widest
stop_server

scripts/screenshots-setup.sh "$out" >/dev/null
ls "$out/about-window.png" "$out/checking-window.png"
