#!/usr/bin/env bash
# The same 100,000-record table served from a SQLite file and from PostgreSQL, side by side:
# "Next", "Update", "FindFirst" and "Sort" at each client count on both (one run after the
# other, so that both see the same machine), then two servers with 99 clients each on the one
# PostgreSQL database, counting errors. Beside each "Next" run, `pgbench` reads one record by
# key per transaction on the same table, pinned like the server: the floor of a design that
# makes one round trip per move. A throwaway cluster is made and removed here.
#
#   bench/compare_postgres.sh [BUILD_DIR]     (default build/; bench/compare.sh runs it too)
#
# Environment: RUN_SECONDS (measured seconds per run, default 3), CLIENTS (default
# 1,10,50,99), WORKLOADS (default next,update,findfirst,sort), SERVER_CPU (0: the server and
# PostgreSQL), CLIENT_CPU (1), CORVANE_PORT
# (15731; the second server takes the next port), PG_PORT (15741), PG_FRESH_MS (postgres.dat).
# Prints every run and a summary table, also written to BUILD_DIR/bench-postgres.md.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build}
run_seconds=${RUN_SECONDS:-3}
clients=${CLIENTS:-1,10,50,99}
workloads=${WORKLOADS:-next,update,findfirst,sort}
server_cpu=${SERVER_CPU:-0}
client_cpu=${CLIENT_CPU:-1}
port=${CORVANE_PORT:-15731}
second_port=$((port + 1))
pg_port=${PG_PORT:-15741}
host=127.0.0.1
rows=100000

scripts/deps.sh sqlite3 postgresql
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" -j2 --target corvane-server corvane-bench >/dev/null
server_exe="$PWD/$build/src/app/corvane-server"
bench_exe="$PWD/$build/bench/load/corvane-bench"
results="$PWD/$build/bench-postgres.md"
. bench/pg_cluster.sh

work=$(mktemp -d /tmp/corvane-compare-pg.XXXXXX)
pg_cluster_make corvane-cluster
server_pids=()

stop_servers() {
  for pid in "${server_pids[@]}"; do
    kill -TERM "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  server_pids=()
}
cleanup() {
  stop_servers
  pg_cluster_stop
  rm -rf "$work"
}
trap cleanup EXIT

. bench/ports.sh
for p in "$port" "$second_port" "$pg_port"; do
  if port_in_use "$p"; then
    echo "port $p is in use; set CORVANE_PORT / PG_PORT" >&2
    exit 1
  fi
done

# The table of bench/compare.sh: names a permutation of the ids, so sorting really reorders.
echo "Preparing a table of $rows records in SQLite and in PostgreSQL"
sqlite3 "$work/small.db" <<SQL
CREATE TABLE small (id INTEGER PRIMARY KEY, name VARCHAR(40), amount DOUBLE, born DATETIME);
WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < $rows)
INSERT INTO small SELECT i, printf('N%07d', (i * 7919) % 1000003), i * 0.25,
  datetime('2020-01-01', '+' || (i % 3000) || ' days') FROM n;
SQL

# PostgreSQL on the server's CPU; room for 99 pgbench clients beside the servers.
pg_launch=(taskset -c "$server_cpu")
pg_cluster_start "$pg_port" "$host" -c max_connections=300
psql_cluster -d bench -c "CREATE TABLE small (id integer PRIMARY KEY, name varchar(40),
  amount double precision, born timestamp)"
sqlite3 -csv "$work/small.db" "SELECT id, name, amount, born FROM small ORDER BY id" |
  psql_cluster -d bench -c "\\copy small FROM STDIN WITH (FORMAT csv)"
psql_cluster -d bench -c "ALTER TABLE small OWNER TO bench_served" -c "VACUUM ANALYZE small"

# Database 0: the file; database 1: the same table in PostgreSQL.
server_dir="$work/server"
mkdir -p "$server_dir"
printf '%s\r\n' "$port" >"$server_dir/network.dat"
printf '"small.db","%s"\r\n"small_pg","postgresql://bench_served@%s:%s/bench"\r\n' \
  "$work/small.db" "$host" "$pg_port" >"$server_dir/database.dat"
# Encryption off, log file off, several logons per user, no idle limit.
printf '0,0,5,0,0\r\n1,0\r\n' >"$server_dir/general.dat"
# PG_FRESH_MS: the freshness limit of records read ahead (postgres.dat; 0 reads every move).
if [ -n "${PG_FRESH_MS:-}" ]; then printf '%s\r\n' "$PG_FRESH_MS" >"$server_dir/postgres.dat"; fi
key=$("$server_exe" --dir "$server_dir" --add-user BENCH BENCH)
# The second server: its own directory, the same users and databases, the next port.
second_dir="$work/second"
cp -r "$server_dir" "$second_dir"
printf '%s\r\n' "$second_port" >"$second_dir/network.dat"

# $1: the server's directory, $2: its port.
start_server() {
  taskset -c "$server_cpu" "$server_exe" --headless --dir "$1" >/dev/null \
    2>>"$work/server.err" &
  server_pids+=($!)
  wait_for_port "$2"
}
# $1: port, $2: the server's process, then corvane-bench's options.
bench() {
  local on_port=$1 pid=$2
  shift 2
  taskset -c "$client_cpu" "$bench_exe" --host "$host" --port "$on_port" --user BENCH \
    --password BENCH --key "$key" --server-pid "$pid" "$@"
}

# What the server does for a "Next", done by PostgreSQL's own client: one prepared read by key
# per transaction, as many connections as clients, on the server's CPU.
echo '\set id random(1, '"$rows"')
SELECT id, name, amount, born FROM small WHERE id = :id;' >"$work/by_key.sql"
# $1: clients. Prints a line as corvane-bench does.
pgbench_by_key() {
  local tps
  tps=$(taskset -c "$server_cpu" "$pg_bin/pgbench" -n -M prepared -f "$work/by_key.sql" \
    -c "$1" -j 1 -T "$run_seconds" -h "$host" -p "$pg_port" -U bench_served bench 2>&1 |
    sed -n 's/^tps = \([0-9.]*\).*/\1/p' | head -1)
  echo "engine=pgbench workload=next clients=$1${tps:+ rps=$(printf "%.0f" "$tps")}"
}

runs="$work/runs.txt"
: >"$runs"
start_server "$server_dir" "$port"
for c in ${clients//,/ }; do
  for workload in ${workloads//,/ }; do
    for database in 0 1; do
      engine=$([ "$database" = 0 ] && echo sqlite || echo postgresql)
      bench "$port" "${server_pids[0]}" --workload "$workload" --database "$database" \
        --find-text 99999 --sort name --clients "$c" --seconds "$run_seconds" |
        sed "s/^/engine=$engine /" | tee -a "$runs" || true
    done
    if [ "$workload" = next ]; then pgbench_by_key "$c" | tee -a "$runs"; fi
  done
done
stop_servers

# Two servers, 99 clients each, on the one PostgreSQL database at the same time. The second
# server's clients update records of their own (100 to 198): two clients saving the same
# record at once would rightly get "ErrorUpdate", which is not what is measured here.
both="$work/both.txt"
: >"$both"
start_server "$server_dir" "$port"
start_server "$second_dir" "$second_port"
for workload in ${workloads//,/ }; do
  bench "$port" "${server_pids[0]}" --workload "$workload" --database 1 --find-text 99999 \
    --sort name --clients 99 --seconds "$run_seconds" | sed "s/^/server=1 /" >"$work/one.txt" &
  first=$!
  bench "$second_port" "${server_pids[1]}" --workload "$workload" --database 1 \
    --find-text 99999 --sort name --first-record 99 --clients 99 --seconds "$run_seconds" |
    sed "s/^/server=2 /" >"$work/two.txt" || true
  wait "$first" || true
  cat "$work/one.txt" "$work/two.txt" | tee -a "$both"
done
stop_servers

# Summary.
value() { sed -n "s/.* $1=\([^ ]*\).*/\1/p" | head -1; }
sum() { awk -v a="${1:-}" -v b="${2:-}" 'BEGIN { if (a == "" || b == "") print "-"; else print a + b }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "-" }'; }
goal() {  # $1 workload, $2 clients, $3 ratio
  case "$1:$2" in
    next:50) awk -v r="$3" 'BEGIN { print (r >= 1.0 ? "≥ 1.0: met" : "≥ 1.0: missed") }' ;;
    update:1) echo "-" ;;
    update:*) awk -v r="$3" 'BEGIN { print (r >= 1 ? "≥ 1: met" : "≥ 1: missed") }' ;;
    findfirst:* | sort:*) awk -v r="$3" 'BEGIN { print (r >= 0.5 ? "≥ 0.5: met" : "≥ 0.5: missed") }' ;;
    *) echo "-" ;;
  esac
}
{
  echo "## A table of $rows records from PostgreSQL beside SQLite ($(date -u +%Y-%m-%d)," \
    "${run_seconds} s per run, encryption off)"
  echo
  echo "| Workload | Clients | SQLite/s | PostgreSQL/s | Ratio | pgbench by key/s |" \
    "SQLite p50 µs | PostgreSQL p50 µs | SQLite server CPU µs | PostgreSQL server CPU µs |" \
    "Errors | Goal |"
  echo "|---|---|---|---|---|---|---|---|---|---|---|---|"
  for workload in ${workloads//,/ }; do
    for c in ${clients//,/ }; do
      s=$(grep "^engine=sqlite workload=$workload clients=$c " "$runs" || true)
      p=$(grep "^engine=postgresql workload=$workload clients=$c " "$runs" || true)
      g=$(grep "^engine=pgbench workload=$workload clients=$c " "$runs" || true)
      r=$(ratio "$(value rps <<<"$p")" "$(value rps <<<"$s")")
      echo "| $workload | $c | $(value rps <<<"$s") | $(value rps <<<"$p") | $r |" \
        "$(value rps <<<"$g" | grep . || echo -) |" \
        "$(value p50_us <<<"$s") | $(value p50_us <<<"$p") | $(value server_cpu_us <<<"$s") |" \
        "$(value server_cpu_us <<<"$p") | $(sum "$(value errors <<<"$s")" "$(value errors <<<"$p")") |" \
        "$(goal "$workload" "$c" "$r") |"
    done
  done
  echo
  echo "| Two servers, 99 clients each | Server 1/s | Server 2/s | p99 µs (1, 2) | Errors |"
  echo "|---|---|---|---|---|"
  errors_total=0
  for workload in ${workloads//,/ }; do
    one=$(grep "^server=1 workload=$workload " "$both" || true)
    two=$(grep "^server=2 workload=$workload " "$both" || true)
    e=$(sum "$(value errors <<<"$one")" "$(value errors <<<"$two")")
    if [ "$e" = - ]; then e="run failed"; fi
    if [ "$e" != 0 ]; then errors_total=1; fi
    echo "| $workload | $(value rps <<<"$one") | $(value rps <<<"$two") |" \
      "$(value p99_us <<<"$one"), $(value p99_us <<<"$two") | $e |"
  done
  echo
  if [ "$errors_total" = 0 ]; then
    echo "Two servers: no error (goal met)."
  else
    echo "Two servers: errors (goal missed); the servers' messages:"
    tail -n 20 "$work/server.err" | sed 's/^/    /'

  fi
} | tee "$results"
