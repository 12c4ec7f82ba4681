#!/usr/bin/env bash
# Runs every fuzz target for as long as asked: tools/fuzz.sh [seconds per target] [target...]
# Findings (crash-*, leak-*, timeout-*) land in build/fuzz/findings/<target>/.
set -euo pipefail
cd "$(dirname "$0")/.."
secs=${1:-60}
shift || true
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for f in tests/fuzz/fuzz_*.cpp; do targets+=("$(basename "${f%.cpp}")"); done
fi
for t in "${targets[@]}"; do
  c=${t#fuzz_}
  mkdir -p "build/fuzz/work/$c" "build/fuzz/findings/$c"
  echo "== $t for ${secs}s =="
  "build/fuzz/tests/fuzz/$t" -max_total_time="$secs" -max_len=65536 -timeout=10 -rss_limit_mb=2048 \
    -artifact_prefix="build/fuzz/findings/$c/" -print_final_stats=1 \
    "build/fuzz/work/$c" "tests/fuzz/corpus/$c" 2>&1 | grep -E '^(stat::number_of_executed_units|stat::peak_rss_mb|==|SUMMARY|#[0-9]+ +DONE)' || true
done
