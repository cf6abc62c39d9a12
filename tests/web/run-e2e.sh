#!/usr/bin/env bash
# End-to-end test of the web client: a headless server on a demo folder with the sample
# database and web access on, driven in headless Chromium through playwright-core.
#   tests/web/run-e2e.sh SERVER CLIENT [SHOTS_DIR]
# Every screen it visits is checked with axe-core for WCAG 2.1 A and AA violations.
# Exits 77 (skipped) when node, npm, Chromium or sqlite3 is missing, or playwright-core or
# axe-core cannot be installed: the rest of the tests do not need a browser.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
server="${1:?usage: run-e2e.sh SERVER CLIENT [SHOTS_DIR]}"
client="${2:?usage: run-e2e.sh SERVER CLIENT [SHOTS_DIR]}"
shots="${3:-}"

skip() { echo "SKIPPED: $*"; exit 77; }
for tool in node npm sqlite3; do
  command -v "$tool" >/dev/null || skip "$tool is not installed"
done
browser="${CHROMIUM:-$(command -v chromium || command -v chromium-browser || true)}"
[ -n "$browser" ] || skip "Chromium is not installed (Debian package chromium)"

# playwright-core and axe-core live outside the source tree, installed once per machine
# and again when package.json pins other versions.
modules="${CORVANE_E2E_MODULES:-${XDG_CACHE_HOME:-$HOME/.cache}/corvane-web-e2e}"
if ! cmp -s "$here/package.json" "$modules/package.json" ||
   [ ! -f "$modules/node_modules/playwright-core/package.json" ] ||
   [ ! -f "$modules/node_modules/axe-core/axe.min.js" ]; then
  mkdir -p "$modules"
  cp "$here/package.json" "$modules/"
  (cd "$modules" && npm install --no-audit --no-fund --silent >/dev/null 2>&1) ||
    skip "playwright-core or axe-core could not be installed from the npm registry"
fi

work="$(mktemp -d)"
pid=""
cleanup() {
  if [ -n "$pid" ]; then kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

demo="$work/demo"
mkdir -p "$demo"
port=$((20000 + RANDOM % 5000))
web=$((25000 + RANDOM % 5000))
printf '%s\r\n' "$port" >"$demo/network.dat"
printf '%s\r\n' "$web" >"$demo/web.dat"
printf '0,0,5,0,0\r\n1,0\r\n' >"$demo/general.dat"
sqlite3 "$demo/sample.db" <"$here/../../data/sample.sql" >/dev/null
printf '"sample.db","%s"\r\n' "$demo/sample.db" >"$demo/database.dat"
key="$("$server" --dir "$demo" --add-user DEMO DEMO)"

"$server" --headless --dir "$demo" >"$work/server.out" 2>&1 &
pid=$!
for _ in $(seq 1 100); do
  grep -q "Web Access on port" "$work/server.out" 2>/dev/null && break
  sleep 0.1
done
grep -q "Web Access on port $web" "$work/server.out" || {
  cat "$work/server.out"
  echo "the server did not start its web access"
  exit 1
}

NODE_PATH="$modules/node_modules" BASE_URL="http://127.0.0.1:$web/" CHROMIUM="$browser" \
  DB="$demo/sample.db" CLIENT="$client" TCP_PORT="$port" KEY="$key" SHOTS="$shots" \
  SERVER_OUT="$work/server.out" PROFILE="$work/profile" node "$here/e2e.cjs"
