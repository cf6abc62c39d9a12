# A throwaway PostgreSQL cluster for a benchmark script, which sources this file after setting
# `set -euo pipefail`. It sets pg_bin, pg_dir and as_pg, and offers:
#   pg_cluster_make NAME         makes the cluster's folder, /tmp/NAME.XXXXXX
#   pg_cluster_start PORT HOST [SERVER OPTIONS]
#                                initdb and start, trust on HOST only; then the role
#                                bench_served and its database bench. Set pg_launch (a
#                                command prefix, e.g. taskset -c 0) before to pin the server.
#   psql_cluster ARGS...         psql as the cluster's superuser
#   pg_cluster_stop              stops the server and removes the folder (for a cleanup trap)
pg_bin=$(ls -d /usr/lib/postgresql/*/bin | sort -V | tail -1)
pg_dir=""
as_pg=()
pg_launch=()
pg_started=""
pg_cluster_port=""
pg_cluster_host=""

pg_cluster_make() {
  pg_dir=$(mktemp -d "/tmp/$1.XXXXXX")
  # PostgreSQL refuses to run as root: there it runs as the postgres account, which must be
  # able to enter its folder.
  if [ "$(id -u)" -eq 0 ]; then
    chown postgres: "$pg_dir"
    as_pg=(runuser -u postgres --)
  fi
}

pg_cluster_start() {
  pg_cluster_port=$1
  pg_cluster_host=$2
  shift 2
  # Trust on loopback only: the cluster lives as long as the script and listens nowhere else.
  "${as_pg[@]}" "$pg_bin/initdb" -D "$pg_dir/data" -U corvane -A trust -E UTF8 \
    --locale=C.UTF-8 >/dev/null
  "${pg_launch[@]}" "${as_pg[@]}" "$pg_bin/pg_ctl" -D "$pg_dir/data" -w -l "$pg_dir/log" \
    -o "-p $pg_cluster_port -c listen_addresses=$pg_cluster_host \
    -c unix_socket_directories=$pg_dir $*" start >/dev/null
  pg_started=1
  # The servers refuse a superuser: they reach the tables as a role of least privilege that
  # owns the database (and so may create the views of clients' queries) and the tables.
  psql_cluster -d postgres -c "CREATE ROLE bench_served LOGIN" \
    -c "CREATE DATABASE bench OWNER bench_served"
}

psql_cluster() {
  psql -X -q -v ON_ERROR_STOP=1 -h "$pg_cluster_host" -p "$pg_cluster_port" -U corvane "$@"
}

pg_cluster_stop() {
  if [ -n "$pg_started" ]; then
    "${as_pg[@]}" "$pg_bin/pg_ctl" -D "$pg_dir/data" -m fast -w stop >/dev/null 2>&1 || true
  fi
  if [ -n "$pg_dir" ]; then rm -rf "$pg_dir"; fi
}
