#!/usr/bin/env bash
# The desktop program with its main window and lists shown on a virtual display, beside the
# headless server: "Next" at 10 and at 50 clients, encryption on, alternately, several
# rounds. Every run starts on a fresh program folder: a folder another server ran in may
# hold a window placement. Before a desktop run is measured, its window is found on the
# display and its picture checked for the two lists; a window without them (collapsed to
# its menu and status bars, say) stops the script.
#
#   bench/compare_desktop.sh [BUILD_DIR]     (default build/; bench/compare.sh runs it too)
#
# Environment: RUN_SECONDS (measured seconds per run, default 3), ROUNDS (3), SERVER_CPU
# (0), CLIENT_CPU (1), CORVANE_PORT (15731).
# Prints every run and a summary, also written to BUILD_DIR/bench-desktop.md; the picture of
# the last desktop window measured is kept as BUILD_DIR/bench-desktop-window.png, as it was
# before its run, and as BUILD_DIR/bench-desktop-under-load.png, during a short unmeasured
# run after it (its lists should show the clients and their activity).
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build}
run_seconds=${RUN_SECONDS:-3}
rounds=${ROUNDS:-3}
server_cpu=${SERVER_CPU:-0}
client_cpu=${CLIENT_CPU:-1}
port=${CORVANE_PORT:-15731}
host=127.0.0.1
rows=100000
# The share of the window's picture that the two lists' white background must cover: about
# half of a window at its default size is list.
least_list_share=0.25

scripts/deps.sh sqlite3 xvfb imagemagick x11-utils
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" -j2 --target corvane-server corvane-bench >/dev/null
server_exe="$PWD/$build/src/app/corvane-server"
bench_exe="$PWD/$build/bench/load/corvane-bench"
results="$PWD/$build/bench-desktop.md"
picture="$PWD/$build/bench-desktop-window.png"
loaded_picture="$PWD/$build/bench-desktop-under-load.png"

work=$(mktemp -d /tmp/corvane-compare-desktop.XXXXXX)
server_pid=""
xvfb_pid=""
stop_server() {
  if [ -n "$server_pid" ]; then
    kill -TERM "$server_pid" 2>/dev/null || true
    wait "$server_pid" 2>/dev/null || true
    server_pid=""
  fi
}
cleanup() {
  stop_server
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

. bench/ports.sh
if port_in_use "$port"; then
  echo "port $port is in use; set CORVANE_PORT" >&2
  exit 1
fi

# The table of bench/compare.sh.
echo "Preparing a table of $rows records in $work"
sqlite3 "$work/small.db" <<SQL
CREATE TABLE small (id INTEGER PRIMARY KEY, name VARCHAR(40), amount DOUBLE, born DATETIME);
WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < $rows)
INSERT INTO small SELECT i, printf('N%07d', (i * 7919) % 1000003), i * 0.25,
  datetime('2020-01-01', '+' || (i % 3000) || ' days') FROM n;
SQL

# The folder every run starts from a copy of: encryption on, log file off, several logons
# per user, no idle limit; one user.
template="$work/template"
mkdir -p "$template"
printf '%s\r\n' "$port" >"$template/network.dat"
printf '"small.db","%s"\r\n' "$work/small.db" >"$template/database.dat"
printf '0,0,5,0,1\r\n1,0\r\n' >"$template/general.dat"
key=$("$server_exe" --dir "$template" --add-user BENCH BENCH)

display=":$((70 + RANDOM % 20))"
Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
export DISPLAY="$display"
sleep 1

# $1: "desktop" for the desktop program, "headless" for the headless server; each on a new
# copy of the template folder.
start_server() {
  local folder mode=--headless
  folder=$(mktemp -d "$work/folder.XXXXXX")
  cp -a "$template/." "$folder/"
  if [ "$1" = desktop ]; then mode=""; fi
  taskset -c "$server_cpu" "$server_exe" $mode --dir "$folder" >/dev/null 2>"$work/server.err" &
  server_pid=$!
  wait_for_port "$port"
}

# Finds the main window on the display and checks that its picture shows the lists; fails
# loudly when it does not within ten seconds.
check_lists_shown() {
  local line size place share=0
  for _ in $(seq 50); do
    line=$(xwininfo -root -tree | grep '"Corvane Database Server": ("corvane-server"' | head -1 || true)
    if [ -n "$line" ]; then
      size=$(awk '{ print $(NF-1) }' <<<"$line" | sed 's/+.*//')
      place=$(awk '{ print $NF }' <<<"$line")
      import -window root -crop "$size$place" +repage "$picture"
      share=$(convert "$picture" -fill black +opaque white -format '%[fx:mean]' info:)
      if awk -v s="$share" -v l="$least_list_share" 'BEGIN { exit !(s >= l) }'; then
        echo "desktop window $size$place, lists cover $share of it"
        window="$size$place"
        return 0
      fi
    fi
    sleep 0.2
  done
  echo "the desktop program's window does not show its lists (window: ${size:-none}," \
    "white share $share); see $picture" >&2
  exit 1
}

bench() {
  taskset -c "$client_cpu" "$bench_exe" --host "$host" --port "$port" --user BENCH \
    --password BENCH --key "$key" --server-pid "$server_pid" "$@"
}

runs="$work/desktop.txt"
: >"$runs"
for round in $(seq "$rounds"); do
  for mode in headless desktop; do
    for clients in 10 50; do
      start_server "$mode"
      if [ "$mode" = desktop ]; then check_lists_shown; fi
      bench --workload next --database 0 --clients "$clients" --seconds "$run_seconds" |
        sed "s/^/mode=$mode round=$round /" | tee -a "$runs"
      if [ "$mode" = desktop ]; then
        bench --workload next --database 0 --clients "$clients" --seconds 3 >/dev/null &
        sleep 2
        import -window root -crop "$window" +repage "$loaded_picture"
        wait $!
      fi
      stop_server
    done
  done
done

value_all() { sed -n "s/.* $1=\([^ ]*\).*/\1/p"; }
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "-" }'; }
{
  echo "## The desktop program beside the headless server ($(date -u +%Y-%m-%d), ${run_seconds} s per run)"
  echo
  echo "\"Next\", encryption on, median of $rounds runs each, alternating, fresh program folders;" \
    "the desktop program's window shown with its lists on a virtual display."
  echo
  echo "| Clients | Headless \"Next\"/s | Desktop \"Next\"/s | Ratio (goal ≥ 0.9) | Headless CPU µs/request | Desktop CPU µs/request |"
  echo "|---|---|---|---|---|---|"
  for clients in 10 50; do
    headless=$(grep "^mode=headless .* clients=$clients " "$runs" | value_all rps | median)
    desktop=$(grep "^mode=desktop .* clients=$clients " "$runs" | value_all rps | median)
    headless_cpu=$(grep "^mode=headless .* clients=$clients " "$runs" | value_all server_cpu_us | median)
    desktop_cpu=$(grep "^mode=desktop .* clients=$clients " "$runs" | value_all server_cpu_us | median)
    echo "| $clients | $headless | $desktop | $(ratio "$desktop" "$headless") | $headless_cpu | $desktop_cpu |"
  done
} | tee "$results"
