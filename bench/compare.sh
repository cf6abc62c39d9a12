#!/usr/bin/env bash
# Measures the server side by side with Redis and with the sqlite3 shell, on loopback only:
# the server (and Redis, and the shell) pinned to one CPU, every load generator to another.
#
#   bench/compare.sh [BUILD_DIR]        (default build/; configured and built when needed)
#
# Last, bench/compare_desktop.sh runs the desktop program with its window shown beside the
# headless server, and bench/compare_postgres.sh the same table from PostgreSQL beside SQLite.
#
# With BEFORE_SERVER set to another build's corvane-server (an earlier commit, say), "Next"
# at 50 clients also runs on that server and on this one in turn, three rounds each, and the
# summary compares their server CPU per request, measured in the same minutes. METRICS_AB=1
# does the same with this server's health and metrics pages off and on (on METRICS_PORT,
# scraped every second); METRICS_AB=only runs nothing else.
#
# Environment: RUN_SECONDS (measured seconds per run, default 3), CLIENTS (default
# 1,10,50,99), REPEATS (requests per large-table figure, default 5), SERVER_CPU (0),
# CLIENT_CPU (1), CORVANE_PORT (15731), REDIS_PORT (16379), METRICS_PORT (15732).
# Prints every run and a summary table; the summary is also written to
# BUILD_DIR/bench-results.md. Each run is bounded; everything started here is stopped here.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build}
run_seconds=${RUN_SECONDS:-3}
clients=${CLIENTS:-1,10,50,99}
repeats=${REPEATS:-5}
server_cpu=${SERVER_CPU:-0}
client_cpu=${CLIENT_CPU:-1}
port=${CORVANE_PORT:-15731}
redis_port=${REDIS_PORT:-16379}
metrics_port=${METRICS_PORT:-15732}
host=127.0.0.1
small_rows=100000
big_rows=1000000

scripts/deps.sh redis-server redis-tools sqlite3 curl
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" -j2 --target corvane-server corvane-bench >/dev/null
server_exe="$PWD/$build/src/app/corvane-server"
bench_exe="$PWD/$build/bench/load/corvane-bench"
results="$PWD/$build/bench-results.md"

work=$(mktemp -d /tmp/corvane-compare.XXXXXX)
server_pid=""
redis_pid=""
scraper=""  # the loop asking for the metrics page while a run measures

stop_server() {
  if [ -n "$server_pid" ]; then
    kill -TERM "$server_pid" 2>/dev/null || true
    wait "$server_pid" 2>/dev/null || true
    server_pid=""
  fi
}
stop_redis() {
  if [ -n "$redis_pid" ]; then
    kill -TERM "$redis_pid" 2>/dev/null || true
    wait "$redis_pid" 2>/dev/null || true
    redis_pid=""
  fi
}
cleanup() {
  if [ -n "$scraper" ]; then kill "$scraper" 2>/dev/null || true; fi
  stop_server
  stop_redis
  rm -rf "$work"
}
trap cleanup EXIT

. bench/ports.sh
for p in "$port" "$redis_port" "$metrics_port"; do
  if port_in_use "$p"; then
    echo "port $p is in use; set CORVANE_PORT / REDIS_PORT" >&2
    exit 1
  fi
done

# Two databases: 0 = small (100,000 records), 1 = big (1,000,000). Names are a permutation
# of the ids, so sorting by name really reorders.
make_table() {
  sqlite3 "$work/$1.db" <<SQL
CREATE TABLE $1 (id INTEGER PRIMARY KEY, name VARCHAR(40), amount DOUBLE, born DATETIME);
WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < $2)
INSERT INTO $1 SELECT i, printf('N%07d', (i * 7919) % 1000003), i * 0.25,
  datetime('2020-01-01', '+' || (i % 3000) || ' days') FROM n;
SQL
}
echo "Preparing tables of $small_rows and $big_rows records in $work"
make_table small "$small_rows"
make_table big "$big_rows"
# The saved query the heavy clients of the mixed run open: a scan of the large table.
sqlite3 "$work/big.db" "CREATE VIEW big_selection AS SELECT * FROM big WHERE name LIKE '%77%';"

server_dir="$work/server"
mkdir -p "$server_dir"
printf '%s\r\n' "$port" >"$server_dir/network.dat"
printf '"small.db","%s"\r\n"big.db","%s"\r\n' "$work/small.db" "$work/big.db" \
  >"$server_dir/database.dat"
key=$("$server_exe" --dir "$server_dir" --add-user BENCH BENCH)

# $1: 1 = encryption on, 0 = off; $2: the server program (this build's by default); $3: the
# CPUs it may use (SERVER_CPU by default); further arguments go to the server. The headless
# server; log file off, several logons per user, no idle limit.
start_server() {
  printf '0,0,5,0,%s\r\n1,0\r\n' "$1" >"$server_dir/general.dat"
  taskset -c "${3:-$server_cpu}" "${2:-$server_exe}" --headless --dir "$server_dir" "${@:4}" \
    >/dev/null 2>"$work/server.err" &
  server_pid=$!
  wait_for_port "$port"
}

bench() {
  taskset -c "$client_cpu" "$bench_exe" --host "$host" --port "$port" --user BENCH \
    --password BENCH --key "$key" --server-pid "$server_pid" "$@"
}

value() { sed -n "s/.* $1=\([^ ]*\).*/\1/p" | head -1; }
value_all() { sed -n "s/.* $1=\([^ ]*\).*/\1/p"; }
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "-" }'; }

# Two ways of running the server, "Next" at 50 clients with encryption on on each in turn,
# three rounds, measured in the same minutes: before and after (BEFORE_SERVER), the
# health and metrics pages off and on (METRICS_AB).
alternating="$work/alternating.txt"
: >"$alternating"
# $1: the tag, "server=before" say; starts, measures and stops the server.
next_run() {
  case "$1" in
    server=before) start_server 1 "$BEFORE_SERVER" ;;
    metrics=on)
      start_server 1 "" "" --metrics "$metrics_port"
      # As a monitor would, a little more often.
      (while sleep 1; do
        taskset -c "$client_cpu" curl -s "http://$host:$metrics_port/metrics" >/dev/null || true
      done) &
      scraper=$!
      ;;
    *) start_server 1 ;;
  esac
  bench --workload next --database 0 --clients 50 --seconds "$run_seconds" |
    sed "s/^/$1 round=$2 /" | tee -a "$alternating"
  if [ -n "$scraper" ]; then
    kill "$scraper"
    wait "$scraper" 2>/dev/null || true
    scraper=""
  fi
  stop_server
}
# $1, $2: the tags; the second round runs them the other way round, so that neither always
# comes first.
next_pair() {
  if [ "$3" = 2 ]; then set -- "$2" "$1" "$3"; fi
  next_run "$1" "$3"
  next_run "$2" "$3"
}
for round in 1 2 3; do
  if [ -n "${BEFORE_SERVER:-}" ]; then next_pair server=before server=after "$round"; fi
  if [ -n "${METRICS_AB:-}" ]; then next_pair metrics=off metrics=on "$round"; fi
done
# $1, $2: the tags compared.
alternating_summary() {
  local a b
  a=$(grep "^$1 " "$alternating" | value_all server_cpu_us | median)
  b=$(grep "^$2 " "$alternating" | value_all server_cpu_us | median)
  echo "\"Next\" at 50 clients, encryption on, server CPU per request (median of 3 runs each," \
    "alternating): $1 $a µs, $2 $b µs, ratio $(ratio "$b" "$a")"
  echo
}
alternating_summaries() {
  if grep -q "^server=" "$alternating"; then alternating_summary server=before server=after; fi
  if grep -q "^metrics=" "$alternating"; then alternating_summary metrics=off metrics=on; fi
}
if [ "${METRICS_AB:-}" = only ]; then
  alternating_summaries | tee "$results"
  exit 0
fi

# Redis: GET of a 100-byte value, one request in flight per client, run right after the
# "Next" run of the same client count so that both see the same machine. The SET pass stores
# the value and gauges the rate, so that each GET run lasts about RUN_SECONDS.
taskset -c "$server_cpu" redis-server --port "$redis_port" --bind 127.0.0.1 --save '' \
  --appendonly no --daemonize no >/dev/null &
redis_pid=$!
wait_for_port "$redis_port"
redis_bench() {
  taskset -c "$client_cpu" redis-benchmark -h 127.0.0.1 -p "$redis_port" -P 1 -d 100 --csv "$@"
}
# $1: client count, $2: the encryption of the "Next" run beside it.
redis_get() {
  local set_rps count line
  set_rps=$(redis_bench -c "$1" -n 20000 -t set | sed -n 's/^"SET","\([0-9.]*\)".*/\1/p')
  count=$(awk -v r="$set_rps" -v s="$run_seconds" 'BEGIN { n = int(r * s); print (n < 20000 ? 20000 : n) }')
  line=$(redis_bench -c "$1" -n "$count" -t get | grep '^"GET"')
  # "test","rps","avg_latency_ms","min_latency_ms","p50_latency_ms","p95_latency_ms","p99_latency_ms","max_latency_ms"
  echo "$line" | awk -F'"' -v c="$1" -v e="$2" '{ printf "redis beside=%s clients=%s rps=%s p50_us=%.1f p99_us=%.1f\n", e, c, $4, $10 * 1000, $14 * 1000 }' |
    tee -a "$redis"
}

runs="$work/runs.txt"
large="$work/large.txt"
memory="$work/memory.txt"
redis="$work/redis.txt"
: >"$runs"
: >"$large"
: >"$redis"
for encryption in 1 0; do
  start_server "$encryption"
  on_off=$([ "$encryption" = 1 ] && echo on || echo off)
  for c in ${clients//,/ }; do
    bench --workload next --database 0 --clients "$c" --seconds "$run_seconds" | tee -a "$runs"
    redis_get "$c" "$on_off"
  done
  for workload in senddata findfirst update; do
    bench --workload "$workload" --database 0 --find-text 99999 --clients "$clients" \
      --seconds "$run_seconds" | tee -a "$runs"
  done
  if [ "$encryption" = 0 ]; then
    # One client on the large table: each request is one open, sort or find.
    large_bench() { bench --database 1 --requests "$repeats" --seconds 0 --warmup 0 "$@"; }
    large_bench --workload open | tee -a "$large"
    large_bench --workload sort --sort name | tee -a "$large"
    large_bench --workload findfirst --find-text 999999 | tee -a "$large"
  fi
  stop_server
done

# Mixed: 49 clients browse the small table, alone and then while one client sorts, finds and
# opens a saved query and the table on the large one; the server on one core, then on both.
# And "FindFirst" with 10 clients on one core and on both.
mixed="$work/mixed.txt"
: >"$mixed"
all_cpus="$server_cpu,$client_cpu"
for cores in one both; do
  cpus=$([ "$cores" = one ] && echo "$server_cpu" || echo "$all_cpus")
  start_server 0 "" "$cpus"
  bench --workload next --database 0 --clients 49 --seconds "$run_seconds" |
    sed "s/^/cores=$cores /" | tee -a "$mixed"
  bench --workload next --database 0 --clients 49 --seconds "$run_seconds" --heavy-clients 1 \
    --heavy-database 1 --heavy-query 0 --sort name --find-text 999999 |
    sed "s/^/cores=$cores /" | tee -a "$mixed"
  bench --workload findfirst --database 0 --find-text 99999 --clients 10 \
    --seconds "$run_seconds" | sed "s/^/cores=$cores /" | tee -a "$mixed"
  stop_server
done

# Memory: a fresh server, 99 clients each holding the large table open.
start_server 0
bench --workload hold --database 1 --clients 99 --seconds 1 |
  tee "$memory"
stop_server
stop_redis

# The sqlite3 shell on the same files: median of REPEATS runs, pinned like the server.
shell_ms() {
  local times=()
  for _ in $(seq "$repeats"); do
    times+=("$(printf '.output /dev/null\n.timer on\n%s\n' "$2" |
      taskset -c "$server_cpu" sqlite3 -batch "$work/$1.db" |
      sed -n 's/^Run Time: real \([0-9.]*\).*/\1/p')")
  done
  printf '%s\n' "${times[@]}" | sort -n | awk '{ v[NR] = $1 } END { printf "%.1f", v[int((NR + 1) / 2)] * 1000 }'
}
shell_scan=$(shell_ms big "SELECT rowid FROM big;")
# The server sorts text regardless of case, as Jet does (COLLATE NOCASE on every ORDER BY
# term); the shell is asked for the same order.
shell_sort=$(shell_ms big "SELECT rowid FROM big ORDER BY name COLLATE NOCASE;")
shell_like=$(shell_ms big "SELECT rowid FROM big WHERE id LIKE '999999%';")

# Summary.
ms() { awk -v u="$1" 'BEGIN { printf "%.1f", u / 1000 }'; }
{
  echo "## corvane-bench against Redis and SQLite ($(date -u +%Y-%m-%d), ${run_seconds} s per run)"
  echo
  echo "| Workload | Encryption | Clients | Requests/s | p50 µs | p99 µs | p99.9 µs | Server CPU µs/request | Errors |"
  echo "|---|---|---|---|---|---|---|---|---|"
  while read -r line; do
    echo "| $(value workload <<<" $line") | $(value encryption <<<"$line") |" \
      "$(value clients <<<"$line") | $(value rps <<<"$line") | $(value p50_us <<<"$line") |" \
      "$(value p99_us <<<"$line") | $(value p999_us <<<"$line") |" \
      "$(value server_cpu_us <<<"$line") | $(value errors <<<"$line") |"
  done <"$runs"
  echo
  echo "| Encryption | Clients | \"Next\"/s | p50 µs | p99 µs | Redis GET/s | Redis p50 µs | Redis p99 µs | Ratio |"
  echo "|---|---|---|---|---|---|---|---|---|"
  for e in on off; do
    for c in ${clients//,/ }; do
      r=$(grep "^redis beside=$e clients=$c " "$redis")
      n=$(grep "^workload=next clients=$c heavy_clients=0 encryption=$e " "$runs")
      echo "| $e | $c | $(value rps <<<"$n") | $(value p50_us <<<"$n") | $(value p99_us <<<"$n") |" \
        "$(value rps <<<"$r" | sed 's/\..*//') | $(value p50_us <<<"$r") | $(value p99_us <<<"$r") |" \
        "$(ratio "$(value rps <<<"$n")" "$(value rps <<<"$r")") |"
    done
  done
  echo
  open_ms=$(ms "$(grep '^workload=open ' "$large" | value p50_us)")
  sort_ms=$(ms "$(grep '^workload=sort ' "$large" | value p50_us)")
  find_ms=$(ms "$(grep '^workload=findfirst ' "$large" | value p50_us)")
  echo "| $big_rows records | Server, median ms | sqlite3 shell, median ms | Ratio | Goal |"
  echo "|---|---|---|---|---|"
  echo "| \"RequestTheTable\" / SELECT rowid | $open_ms | $shell_scan | $(ratio "$open_ms" "$shell_scan") | ≤ 1.5 |"
  echo "| \"Sort\" name / ORDER BY name COLLATE NOCASE | $sort_ms | $shell_sort | $(ratio "$sort_ms" "$shell_sort") | ≤ 2 |"
  echo "| \"FindFirst\" 0 999999 / id LIKE '999999%' | $find_ms | $shell_like | $(ratio "$find_ms" "$shell_like") | ≤ 2 |"
  echo
  echo "| Server on | Browsing clients | Heavy clients | \"Next\"/s | p50 µs | p99 µs | max µs |"
  echo "|---|---|---|---|---|---|---|"
  grep "workload=next" "$mixed" | while read -r line; do
    echo "| $(value cores <<<" $line") | $(value clients <<<"$line") |" \
      "$(value heavy_clients <<<"$line") | $(value rps <<<"$line") |" \
      "$(value p50_us <<<"$line") | $(value p99_us <<<"$line") | $(value max_us <<<"$line") |"
  done
  find_one=$(grep "^cores=one workload=findfirst" "$mixed" | value rps)
  find_both=$(grep "^cores=both workload=findfirst" "$mixed" | value rps)
  echo
  echo "\"FindFirst\" with 10 clients: $find_one/s on one core, $find_both/s on both" \
    "($(ratio "$find_both" "$find_one") ×)"
  echo
  alternating_summaries
  before=$(value rss_before_kib <"$memory")
  open=$(value rss_open_kib <"$memory")
  awk -v b="$before" -v o="$open" -v n="$big_rows" 'BEGIN {
    per = (o - b) * 1024 / 99; budget = 16 * n + 65536;
    printf "Memory: resident %.0f MiB idle, %.0f MiB with 99 clients each holding the %d-record table open: ", b / 1024, o / 1024, n;
    printf "%.1f MiB per client, %.2f bytes per record (budget 16 bytes per record + 64 KiB = %.1f MiB; ratio %.2f)\n",
      per / 1048576, per / n, budget / 1048576, per / budget }'
} | tee "$results"

# The desktop program beside the headless server; the same 100,000-record table served from
# PostgreSQL beside the file, and two servers on the one PostgreSQL database.
bench/compare_desktop.sh "$build"
bench/compare_postgres.sh "$build"
{
  echo
  cat "$build/bench-desktop.md"
  echo
  cat "$build/bench-postgres.md"
} >>"$results"
