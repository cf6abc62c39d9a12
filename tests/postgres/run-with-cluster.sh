#!/usr/bin/env bash
# Runs a test program against a throwaway PostgreSQL cluster (pg_virtualenv, from Debian's
# postgresql-common): it sets PGHOST, PGPORT, PGUSER, PGPASSWORD and PGDATABASE for the
# program and removes the cluster afterwards. Exit 77 (skipped) where PostgreSQL is missing.
set -uo pipefail
if ! command -v pg_virtualenv >/dev/null || ! ls /usr/lib/postgresql/*/bin/initdb >/dev/null 2>&1; then
  echo "skipped: PostgreSQL is not installed (apt-get install postgresql; scripts/test.sh does)"
  exit 77
fi
exec pg_virtualenv "$@"
