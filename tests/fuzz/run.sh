#!/usr/bin/env bash
# Runs each fuzzing harness in turn for SECONDS (default 240), niced, and prints libFuzzer's
# summary line of each run. Build first (see README.md).
set -euo pipefail
seconds="${1:-240}"
root="$(cd "$(dirname "$0")/../.." && pwd)"
build="${BUILD_FUZZ:-$root/build-fuzz}"
status=0
for h in logger_file language_file registry; do
  bin="$build/tests/fuzz/fuzz_$h"
  work="$build/corpus/$h"
  mkdir -p "$work"
  echo "== fuzz_$h for ${seconds}s"
  if ! TMPDIR="${TMPDIR:-/dev/shm}" nice -n 10 "$bin" -max_total_time="$seconds" -max_len=100000 -rss_limit_mb=2048 -print_final_stats=1 \
       -artifact_prefix="$build/fuzz_$h-" "$work" "$root/tests/fuzz/corpus/$h" >"$build/fuzz_$h.log" 2>&1; then
    echo "   finding: see $build/fuzz_$h.log"
    status=1
  fi
  grep -E "^stat::number_of_executed_units|^stat::new_units_added|^#[0-9]+.*DONE" "$build/fuzz_$h.log" || true
done
exit $status
