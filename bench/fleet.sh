#!/usr/bin/env bash
# A fleet on one PostgreSQL database: SERVERS Corvane servers, each with HANDHELDS handhelds
# working at human pace (corvane-bench --workload handheld --think-ms), all at the same time.
# A throwaway cluster is made and removed here.
#
#   bench/fleet.sh [BUILD_DIR]     (default build/)
#
# Each handheld logs on from its own loopback address (server s: 127.0.s+1.1, .2, ...; every
# 127.0.0.0/8 address reaches the loopback on Linux), the handhelds of a server switched on
# one after the other over START_SPREAD seconds. It sends one request at a time, each a think
# time after the last reply, drawn uniform between THINK_MS/2 and 3*THINK_MS/2. Per 100
# requests drawn: 5 edits of its own record ("FindFirst" of it, then "Update" of the found
# values, two requests), 2 "FindFirst" of a record drawn from the whole table, the rest
# browsing, three "Next" to one "Prev". As every handheld edits a record of its own, an
# update conflict (3197) would be a fault: conflicts are reported apart from other errors.
#
# One corvane-bench per server, nothing pinned: servers, generators and PostgreSQL share the
# machine's cores. Reported per server and in all: requests, p50/p99/max round trip, errors,
# conflicts, the latest logon counted from the start (and, in the run lines, the longest one
# counted from its handheld's own start), the port "0" answers retried, each
# server's CPU; PostgreSQL's connections (sampled) and CPU (its processes together).
#
# Environment: SERVERS (10), HANDHELDS (100, at most 100: a server's slots), THINK_MS (1000),
# RUN_SECONDS (300, measured), WARMUP (2), START_SPREAD (1), ROWS (10000), PACES (think
# times of further shorter runs raising the pace, e.g. 500,250,125; none by default),
# PACE_SECONDS (60, each of those), PG_FRESH_MS (postgres.dat: how long records read ahead
# stay fresh; unset: the server's default), CORVANE_PORT (15771; server s takes the port s after it),
# PG_PORT (15761). Prints every run and a table, also written to BUILD_DIR/bench-fleet.md.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build}
servers=${SERVERS:-10}
handhelds=${HANDHELDS:-100}
think_ms=${THINK_MS:-1000}
run_seconds=${RUN_SECONDS:-300}
warmup=${WARMUP:-2}
spread=${START_SPREAD:-1}
rows=${ROWS:-10000}
paces=${PACES:-}
pace_seconds=${PACE_SECONDS:-60}
port=${CORVANE_PORT:-15771}
pg_port=${PG_PORT:-15761}
host=127.0.0.1

# Each handheld holds a socket in its generator and one in its server (two while it logs on),
# beside the servers' listeners and PostgreSQL connections: all in one session's limit.
fds=$((servers * handhelds * 4 + 1024))
if [ "$(ulimit -n)" -lt "$fds" ] && ! ulimit -n "$fds" 2>/dev/null; then
  echo "open files are limited to $(ulimit -n); $fds are needed (ulimit -n)" >&2
  exit 1
fi

scripts/deps.sh postgresql
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" -j2 --target corvane-server corvane-bench >/dev/null
server_exe="$PWD/$build/src/app/corvane-server"
bench_exe="$PWD/$build/bench/load/corvane-bench"
results="$PWD/$build/bench-fleet.md"
. bench/pg_cluster.sh

work=$(mktemp -d /tmp/corvane-fleet.XXXXXX)
pg_cluster_make corvane-fleet-cluster
server_pids=()
sampler=""

stop_servers() {
  for pid in "${server_pids[@]}"; do kill -TERM "$pid" 2>/dev/null || true; done
  for pid in "${server_pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  server_pids=()
}
cleanup() {
  if [ -n "$sampler" ]; then kill "$sampler" 2>/dev/null || true; fi
  stop_servers
  pg_cluster_stop
  rm -rf "$work"
}
trap cleanup EXIT

. bench/ports.sh
for p in $(seq "$port" $((port + servers - 1))) "$pg_port"; do
  if port_in_use "$p"; then
    echo "port $p is in use; set CORVANE_PORT / PG_PORT" >&2
    exit 1
  fi
done

echo "Preparing a table of $rows records in PostgreSQL"
pg_cluster_start "$pg_port" "$host"
psql_cluster -d bench -c "CREATE TABLE small (id integer PRIMARY KEY, name varchar(40),
  amount double precision, born timestamp)" -c "INSERT INTO small SELECT i,
  'N' || lpad(((i * 7919) % 1000003)::text, 7, '0'), i * 0.25,
  timestamp '2020-01-01' + (i % 3000) * interval '1 day' FROM generate_series(1, $rows) i" \
  -c "ALTER TABLE small OWNER TO bench_served" -c "VACUUM ANALYZE small"
postmaster=$(head -1 "$pg_dir/data/postmaster.pid")

# Every server: its own directory and port, the one database, encryption and the log file
# off, any number of logons per user, no idle limit.
for s in $(seq 0 $((servers - 1))); do
  dir="$work/server$s"
  mkdir -p "$dir"
  printf '%s\r\n' $((port + s)) >"$dir/network.dat"
  printf '"fleet","postgresql://bench_served@%s:%s/bench"\r\n' "$host" "$pg_port" \
    >"$dir/database.dat"
  printf '0,0,5,0,0\r\n1,0\r\n' >"$dir/general.dat"
  if [ -n "${PG_FRESH_MS:-}" ]; then printf '%s\r\n' "$PG_FRESH_MS" >"$dir/postgres.dat"; fi
  if [ "$s" = 0 ]; then
    key=$("$server_exe" --dir "$dir" --add-user BENCH BENCH)
  else
    cp "$work/server0/registry.db" "$dir/"
  fi
done

# CPU time of the cluster's processes (postmaster and its children), in clock ticks.
pg_ticks() {
  local total=0 pid
  for pid in "$postmaster" $(pgrep -P "$postmaster"); do
    if [ -r "/proc/$pid/stat" ]; then
      total=$((total + $(awk '{ print $14 + $15 }' "/proc/$pid/stat" 2>/dev/null || echo 0)))
    fi
  done
  echo "$total"
}
pg_connections() {
  psql_cluster -d postgres -At -c "SELECT count(*) FROM pg_stat_activity WHERE datname = 'bench'"
}

# $1: label, $2: think time, $3: measured seconds. Starts the servers, runs a generator for
# each at once, and appends one line per server and one for all to $work/runs.txt.
fleet_run() {
  local label=$1 think=$2 seconds=$3 s
  for s in $(seq 0 $((servers - 1))); do
    "$server_exe" --headless --dir "$work/server$s" >/dev/null 2>>"$work/server.err" &
    server_pids+=($!)
  done
  for s in $(seq 0 $((servers - 1))); do wait_for_port $((port + s)); done
  local generators=()
  for s in $(seq 0 $((servers - 1))); do
    "$bench_exe" --host "$host" --port $((port + s)) --user BENCH --password BENCH --key "$key" \
      --server-pid "${server_pids[$s]}" --workload handheld --database 0 --table 0 \
      --think-ms "$think" --start-spread "$spread" --source "127.0.$((s + 1)).1" \
      --first-record $((s * handhelds)) --clients "$handhelds" --warmup "$warmup" \
      --seconds "$seconds" --latency-file "$work/latency$s.txt" \
      >"$work/run$s.txt" 2>"$work/run$s.err" &
    generators+=($!)
  done
  # PostgreSQL's connections every 2 s, and its CPU over (about) the measured time.
  : >"$work/connections.txt"
  (while true; do pg_connections >>"$work/connections.txt" || true; sleep 2; done) &
  sampler=$!
  sleep "$(awk -v a="$spread" -v b="$warmup" 'BEGIN { print a + b + 0.5 }')"
  local ticks_from t_from ticks_to t_to
  ticks_from=$(pg_ticks)
  t_from=$(date +%s.%N)
  local failed=0
  for pid in "${generators[@]}"; do wait "$pid" || failed=1; done
  ticks_to=$(pg_ticks)
  t_to=$(date +%s.%N)
  kill "$sampler" 2>/dev/null || true
  wait "$sampler" 2>/dev/null || true
  sampler=""
  local connections_end connections_max pg_cpu
  connections_end=$(pg_connections)
  connections_max=$(sort -n "$work/connections.txt" | tail -1)
  pg_cpu=$(awk -v a="$ticks_from" -v b="$ticks_to" -v f="$t_from" -v t="$t_to" \
    -v hz="$(getconf CLK_TCK)" 'BEGIN { printf "%.1f", (b - a) / hz / (t - f) * 100 }')
  stop_servers
  for s in $(seq 0 $((servers - 1))); do
    if [ "$failed" = 1 ] || [ ! -s "$work/run$s.txt" ]; then sed 's/^/    /' "$work/run$s.err" >&2; fi
    sed "s/^/run=$label server=$((s + 1)) /" "$work/run$s.txt" | tee -a "$work/runs.txt"
  done
  # All servers together: the round trips of every generator as one.
  local all
  all=$(cat "$work"/latency*.txt | sort -n | awk '
    { v[NR] = $1 }
    function rank(f) { i = int(f * NR); if (i < f * NR) i++; if (i < 1) i = 1; return v[i] }
    END { printf "p50_us=%s p99_us=%s max_us=%s", rank(0.5), rank(0.99), v[NR] }')
  echo "run=$label server=all $all pg_connections_end=$connections_end" \
    "pg_connections_max=$connections_max pg_cpu_pct=$pg_cpu" | tee -a "$work/runs.txt"
  rm -f "$work"/latency*.txt
}

: >"$work/runs.txt"
echo "Goal run: $servers servers x $handhelds handhelds, think $think_ms ms, $run_seconds s"
fleet_run goal "$think_ms" "$run_seconds"
for pace in ${paces//,/ }; do
  echo "Faster: think $pace ms, $pace_seconds s"
  fleet_run "think$pace" "$pace" "$pace_seconds"
done

# Summary.
value() { sed -n "s/.* $1=\([^ ]*\).*/\1/p" | head -1; }
column_sum() { awk -v k="$1" '{ for (i = 1; i <= NF; i++) if (index($i, k "=") == 1) s += substr($i, length(k) + 2) } END { print s + 0 }'; }
column_max() { awk -v k="$1" '{ for (i = 1; i <= NF; i++) if (index($i, k "=") == 1) { v = substr($i, length(k) + 2) + 0; if (v > m) m = v } } END { print m + 0 }'; }
ms() { awk -v u="$1" 'BEGIN { if (u == "") print "-"; else printf "%.1f", u / 1000 }'; }
{
  echo "## A fleet on one PostgreSQL ($(date -u +%Y-%m-%d), $servers servers x $handhelds" \
    "handhelds, $(nproc) cores shared, encryption off)"
  echo
  echo "| Run | Server | Think ms | Requests | Requests/s | p50 ms | p99 ms | Max ms | Errors |" \
    "Conflicts | Logon max ms | Port \"0\" retries | Server CPU % |"
  echo "|---|---|---|---|---|---|---|---|---|---|---|---|---|"
  goal_met=1
  for label in goal $(for p in ${paces//,/ }; do echo "think$p"; done); do
    think=$([ "$label" = goal ] && echo "$think_ms" || echo "${label#think}")
    lines=$(grep "^run=$label server=[0-9]" "$work/runs.txt" || true)
    while read -r line; do
      [ -n "$line" ] || continue
      conflicts=$(value conflicts <<<"$line")
      errors=$(($(value errors <<<"$line") - conflicts))
      echo "| $label | $(value server <<<"$line") | $think | $(value requests <<<"$line") |" \
        "$(value rps <<<"$line") | $(ms "$(value p50_us <<<"$line")") |" \
        "$(ms "$(value p99_us <<<"$line")") | $(ms "$(value max_us <<<"$line")") | $errors |" \
        "$conflicts | $(value logon_max_ms <<<"$line") | $(value full_retries <<<"$line") |" \
        "$(value server_cpu_pct <<<"$line") |"
    done <<<"$lines"
    all=$(grep "^run=$label server=all" "$work/runs.txt" || true)
    requests=$(column_sum requests <<<"$lines")
    errors=$(($(column_sum errors <<<"$lines") - $(column_sum conflicts <<<"$lines")))
    logged=$(column_sum logged_on <<<"$lines")
    logon_max=$(column_max logon_max_ms <<<"$lines")
    echo "| $label | **all** | $think | $requests | $(column_sum rps <<<"$lines") |" \
      "$(ms "$(value p50_us <<<"$all")") | $(ms "$(value p99_us <<<"$all")") |" \
      "$(ms "$(value max_us <<<"$all")") | $errors | $(column_sum conflicts <<<"$lines") |" \
      "$logon_max | $(column_sum full_retries <<<"$lines") |" \
      "$(column_sum server_cpu_pct <<<"$lines") (PostgreSQL $(value pg_cpu_pct <<<"$all")," \
      "connections $(value pg_connections_max <<<"$all") at most) |"
    if [ "$label" = goal ]; then
      p99=$(value p99_us <<<"$all")
      if [ "$logged" != $((servers * handhelds)) ] || [ "$errors" != 0 ] ||
        [ "$(column_sum conflicts <<<"$lines")" != 0 ] || [ -z "$p99" ] || [ "$p99" -ge 20000 ] ||
        [ "$logon_max" -gt 2000 ]; then
        goal_met=0
      fi
      goal_line="Goal run: $logged of $((servers * handhelds)) handhelds logged on, the last"
      goal_line+=" after $logon_max ms; p99 $(ms "$p99") ms; $errors errors."
    fi
  done
  echo
  echo "$goal_line Goal (all logged on within 2 s, p99 under 20 ms, no error):" \
    "$([ "$goal_met" = 1 ] && echo met || echo missed)."
} | tee "$results"
