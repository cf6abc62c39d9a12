#!/usr/bin/env bash
# Sets up what is missing, builds a Release server and runs it on a demo folder: the
# desktop program when a display is available, the headless server otherwise.
# The first run prepares demo/: port 5000, a user DEMO with the password DEMO, the
# activity log file on, and the sample database published.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh sqlite3
cmake -S . -B build-release -DCMAKE_BUILD_TYPE=Release -DCORVANE_BUILD_TESTS=OFF >/dev/null
cmake --build build-release -j2 --target corvane-server corvane-client
server=build-release/src/app/corvane-server

demo="$PWD/demo"
if [ ! -f "$demo/network.dat" ]; then
  mkdir -p "$demo"
  printf '5000\r\n' >"$demo/network.dat"
  # Run at startup, minimized, refresh 5 s, keep log file, encryption on; then
  # multiple connections allowed, no inactivity limit.
  printf '0,0,5,1,1\r\n1,0\r\n' >"$demo/general.dat"
  rm -f "$demo/sample.db"
  sqlite3 "$demo/sample.db" <data/sample.sql >/dev/null
  printf '"sample.db","%s"\r\n' "$demo/sample.db" >"$demo/database.dat"
  "$server" --dir "$demo" --add-user DEMO DEMO >"$demo/DEMO.key"
fi

echo "Demo server on port 5000: user DEMO, password DEMO, private key $(cat "$demo/DEMO.key")"
echo "Connect with: build-release/src/app/corvane-client --port 5000 --user DEMO" \
  "--password DEMO --key $(cat "$demo/DEMO.key") ThankYou"
# The desktop program where there is a display, the headless server otherwise.
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  exec "$server" --dir "$demo"
fi
exec "$server" --headless --dir "$demo"
