#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (AddressSanitizer and UBSan on) in build-fuzz/
# and runs each for a while, growing its corpus in tests/fuzz/corpus/<name>/.
#   scripts/fuzz.sh [seconds per target] [target ...]     default: 600 s, every target
# A crash, hang or leak stops that target and leaves its input as crash-*/timeout-*/leak-*
# in build-fuzz/findings/<name>/; fix the fault and add the input to the corpus.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-600}
shift || true
targets=("$@")
if ((${#targets[@]} == 0)); then
  targets=($(ls tests/fuzz/fuzz_*.cpp | sed 's|.*/fuzz_||; s|\.cpp$||'))
fi

scripts/deps.sh clang libclang-rt-14-dev
cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
  -DCORVANE_FUZZ=ON >/dev/null
cmake --build build-fuzz -j2 --target $(printf 'corvane_fuzz_%s ' "${targets[@]}")

for name in "${targets[@]}"; do
  corpus=tests/fuzz/corpus/$name
  findings=build-fuzz/findings/$name
  mkdir -p "$corpus" "$findings"
  echo "== $name: ${seconds}s"
  # New inputs go to a scratch folder; only those that add coverage are merged back.
  scratch=$(mktemp -d)
  build-fuzz/tests/fuzz/corvane_fuzz_$name "$scratch" "$corpus" -max_total_time="$seconds" \
    -timeout=10 -rss_limit_mb=2048 -max_len=4096 -artifact_prefix="$findings/" \
    -print_final_stats=1 2>&1 | grep -E '^(#[0-9]+ +DONE|stat::|==[0-9]+==ERROR|SUMMARY|INFO: Seed)' || true
  build-fuzz/tests/fuzz/corvane_fuzz_$name -merge=1 "$corpus" "$scratch" 2>/dev/null | tail -n1 || true
  rm -rf "$scratch"
done
