#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (AddressSanitizer and UBSan on) in build-fuzz/
# and runs each for a while, growing its corpus in tests/fuzz/corpus/<name>/.
#   scripts/fuzz.sh [seconds per target] [target ...]     default: 600 s, every target
#   scripts/fuzz.sh --minimise [target ...]               shrink the corpora, every target
# A crash, hang or leak stops that target and leaves its input as crash-*/timeout-*/leak-*
# in build-fuzz/findings/<name>/; fix the fault and add the input to the corpus.
#
# --minimise rebuilds each corpus with libFuzzer's merge, so that it holds only inputs that
# add coverage. Hand-named seeds (any file not named by the 40-digit SHA-1 libFuzzer gives)
# document a case and are always kept; every other input stays only if it reaches code the
# seeds and the smaller inputs do not. An input that crashes the merge stops it and leaves the
# corpus as it was. Afterwards: `git add -A tests/fuzz/corpus` and commit.
set -euo pipefail
cd "$(dirname "$0")/.."

minimise=false
if [[ ${1:-} == --minimise ]]; then
  minimise=true
  shift
else
  seconds=${1:-600}
  shift || true
fi
targets=("$@")
if ((${#targets[@]} == 0)); then
  targets=($(ls tests/fuzz/fuzz_*.cpp | sed 's|.*/fuzz_||; s|\.cpp$||'))
fi
# The same limits for runs and merges, so that a merge keeps what a run would. The targets
# that take a client's SQL texts get inputs a little longer than the longest text a client
# may have run (8 KiB), so that they reach that limit and the cost of texts near it.
limits_for() {
  local max_len=4096
  case $1 in jet_sql | dispatcher) max_len=9216 ;; esac
  limits=(-timeout=10 -rss_limit_mb=2048 -max_len=$max_len)
}

scripts/deps.sh clang libclang-rt-14-dev
cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
  -DCORVANE_FUZZ=ON >/dev/null
cmake --build build-fuzz -j2 --target $(printf 'corvane_fuzz_%s ' "${targets[@]}")

# Replaces tests/fuzz/corpus/$1 by its seeds plus the inputs that add coverage to them.
minimise_corpus() {
  local name=$1
  local corpus=tests/fuzz/corpus/$name
  local kept log
  limits_for "$name"
  kept=$(mktemp -d)
  log=build-fuzz/findings/$name/merge.log
  mkdir -p "$(dirname "$log")"
  # The first folder of a merge is kept whole and counted first.
  find "$corpus" -maxdepth 1 -type f -regextype posix-extended ! -regex '.*/[0-9a-f]{40}' \
    -exec cp {} "$kept/" \;
  if ! build-fuzz/tests/fuzz/corvane_fuzz_$name -merge=1 "${limits[@]}" "$kept" "$corpus" \
    >"$log" 2>&1 || grep -q 'MERGE-OUTER: attempt 2' "$log"; then
    # A second attempt means an input ended the merge process; it would be dropped silently.
    echo "== $name: the merge failed or met a crashing input; corpus left as it was, see $log"
    rm -rf "$kept"
    return 1
  fi
  local before after
  before=$(find "$corpus" -maxdepth 1 -type f | wc -l)
  find "$corpus" -maxdepth 1 -type f -delete
  cp -r "$kept"/. "$corpus"/
  after=$(find "$corpus" -maxdepth 1 -type f | wc -l)
  rm -rf "$kept"
  echo "== $name: $before files before, $after after"
}

if $minimise; then
  status=0
  for name in "${targets[@]}"; do minimise_corpus "$name" || status=1; done
  exit $status
fi

for name in "${targets[@]}"; do
  corpus=tests/fuzz/corpus/$name
  findings=build-fuzz/findings/$name
  limits_for "$name"
  mkdir -p "$corpus" "$findings"
  echo "== $name: ${seconds}s"
  # New inputs go to a scratch folder; only those that add coverage are merged back.
  scratch=$(mktemp -d)
  build-fuzz/tests/fuzz/corvane_fuzz_$name "$scratch" "$corpus" -max_total_time="$seconds" \
    "${limits[@]}" -artifact_prefix="$findings/" \
    -print_final_stats=1 2>&1 |
    grep -E '^(#[0-9]+[[:space:]]+DONE|stat::|==[0-9]+==ERROR|SUMMARY|INFO: Seed|Test unit written)' || true
  build-fuzz/tests/fuzz/corvane_fuzz_$name -merge=1 "${limits[@]}" "$corpus" "$scratch" 2>&1 |
    grep -E '^MERGE-OUTER: [0-9]+ new files' || true
  rm -rf "$scratch"
done
