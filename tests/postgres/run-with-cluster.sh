#!/usr/bin/env bash
# Runs a test program against a throwaway PostgreSQL cluster (pg_virtualenv, from Debian's
# postgresql-common): it sets PGHOST, PGPORT, PGUSER, PGPASSWORD and PGDATABASE for the
# program (PGUSER a role of least privilege, PGSUPERUSER the cluster's superuser) and
# removes the cluster afterwards. Exit 77 (skipped) where PostgreSQL is missing.
set -uo pipefail
if [ -n "${CORVANE_CLUSTER_READY:-}" ]; then
  # Inside the cluster: the program reaches it as a role of least privilege that owns the
  # database, as a published database should be reached (the server refuses a superuser).
  # The cluster's superuser stays at hand, as PGSUPERUSER, for what only it may do.
  unset CORVANE_CLUSTER_READY
  psql -qX -v ON_ERROR_STOP=1 -v password="$PGPASSWORD" -v db="$PGDATABASE" >/dev/null <<'SQL' || exit 1
CREATE ROLE corvane_served LOGIN CREATEDB CREATEROLE PASSWORD :'password';
ALTER DATABASE :"db" OWNER TO corvane_served;
SQL
  export PGSUPERUSER="$PGUSER" PGUSER=corvane_served
  exec "$@"
fi
if ! command -v pg_virtualenv >/dev/null || ! ls /usr/lib/postgresql/*/bin/initdb >/dev/null 2>&1; then
  echo "skipped: PostgreSQL is not installed (apt-get install postgresql; scripts/test.sh does)"
  exit 77
fi
# A cluster of its own in a temporary folder (-t) on a port nothing listens on, so that runs
# side by side do not meet. The port lies in 10000-19999: the other tests take theirs from
# 20000-32000, and the kernel's ephemeral ports (normally from 32768) are avoided, since a
# connection of a test running beside this one could hold such a port without listening on
# it, and the cluster would fail to start.
for attempt in $(seq 50); do
  PGPORT=$((10000 + $(od -An -N2 -tu2 /dev/urandom) % 10000))
  (exec 3<>"/dev/tcp/127.0.0.1/$PGPORT") 2>/dev/null || break
done
export PGPORT
exec pg_virtualenv -t env CORVANE_CLUSTER_READY=1 "$0" "$@"
