#!/usr/bin/env bash
# Builds the fuzz target with clang (libFuzzer + AddressSanitizer +
# UndefinedBehaviorSanitizer) in build-fuzz/ and runs it for a bounded time
# (default 60 s) from the seed corpus in fuzz/corpus/. New inputs it finds go
# to build-fuzz/corpus/, a crashing input to build-fuzz/artifacts/. A crash,
# a sanitizer report, a leak or a time-out fails the run.
# Usage: scripts/fuzz.sh [seconds]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
DIR=${FUZZ_BUILD_DIR:-build-fuzz}
JOBS=${JOBS:-2}

cmake --preset fuzz -B "$DIR" ${KVB_WERROR:+-DKVB_WERROR=$KVB_WERROR} >/dev/null
# The build runs the skin generator, instrumented too; its leaks are not
# what this run is about.
ASAN_OPTIONS=detect_leaks=0 cmake --build "$DIR" -j"$JOBS" --target kvb_fuzz

mkdir -p "$DIR/corpus" "$DIR/artifacts"
log=$DIR/fuzz.log
echo "== fuzzing for $seconds s (log: $log)"
set +e
UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 ASAN_OPTIONS=detect_leaks=1:quarantine_size_mb=64 \
  "$DIR/kvb_fuzz" -max_total_time="$seconds" -timeout=30 -rss_limit_mb=2048 -max_len=4096 \
  -print_final_stats=1 -artifact_prefix="$DIR/artifacts/" "$DIR/corpus" fuzz/corpus >"$log" 2>&1
status=$?
set -e

# The last status line carries coverage and speed; the final stats the totals.
last=$(grep -E '^#[0-9]+' "$log" | tail -n 1 || true)
execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
echo "fuzz: ${execs:-?} executions in $seconds s; last status: ${last:-none}"
if [ "$status" -ne 0 ]; then
  tail -n 60 "$log"
  echo "fuzz: FAILED (exit $status); inputs in $DIR/artifacts/" >&2
  exit "$status"
fi
echo "fuzz: no crash, no sanitizer report"
