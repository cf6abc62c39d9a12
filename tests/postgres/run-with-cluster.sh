#!/usr/bin/env bash
# Runs a test program against a throwaway PostgreSQL cluster (pg_virtualenv, from Debian's
# postgresql-common): it sets PGHOST, PGPORT, PGUSER, PGPASSWORD and PGDATABASE for the
# program and removes the cluster afterwards. Exit 77 (skipped) where PostgreSQL is missing.
set -uo pipefail
if ! command -v pg_virtualenv >/dev/null || ! ls /usr/lib/postgresql/*/bin/initdb >/dev/null 2>&1; then
  echo "skipped: PostgreSQL is not installed (apt-get install postgresql; scripts/test.sh does)"
  exit 77
fi
# A cluster of its own in a temporary folder (-t) on a port nothing listens on, so that runs
# side by side do not meet. The port lies below the kernel's range of ephemeral ports: there,
# a connection of a test running beside this one could hold it without listening on it, and
# the cluster would fail to start.
ephemeral_low=$(awk '{print $1}' /proc/sys/net/ipv4/ip_local_port_range 2>/dev/null || echo 32768)
lowest=$((ephemeral_low > 13024 ? ephemeral_low - 12000 : 1024))
for attempt in $(seq 50); do
  PGPORT=$((lowest + $(od -An -N2 -tu2 /dev/urandom) % (ephemeral_low - lowest)))
  (exec 3<>"/dev/tcp/127.0.0.1/$PGPORT") 2>/dev/null || break
done
export PGPORT
exec pg_virtualenv -t "$@"
