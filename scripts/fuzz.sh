#!/usr/bin/env bash
# Builds the fuzz targets with clang (libFuzzer + AddressSanitizer +
# UndefinedBehaviorSanitizer) in build-fuzz/ and runs both side by side for a
# bounded time (default 60 s each, at the same time):
#   kvb_fuzz      the plug-in driven by a host's operations, from fuzz/corpus/
#   kvb_wav_fuzz  kvb's WAV reader and writer on any bytes, from fuzz/wav-corpus/
# New inputs each finds go to build-fuzz/corpus/ and build-fuzz/wav-corpus/, a
# crashing input to build-fuzz/artifacts/. A crash, a sanitizer report, a leak
# or a time-out in either fails the run.
# Usage: scripts/fuzz.sh [seconds]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
DIR=${FUZZ_BUILD_DIR:-build-fuzz}
JOBS=${JOBS:-2}

cmake --preset fuzz -B "$DIR" ${KVB_WERROR:+-DKVB_WERROR=$KVB_WERROR} >/dev/null
# The build runs the skin generator, instrumented too; its leaks are not
# what this run is about.
ASAN_OPTIONS=detect_leaks=0 cmake --build "$DIR" -j"$JOBS" --target kvb_fuzz kvb_wav_fuzz

mkdir -p "$DIR/corpus" "$DIR/wav-corpus" "$DIR/artifacts"
run() {  # run TARGET CORPUS SEEDS MAX_LEN
  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 ASAN_OPTIONS=detect_leaks=1:quarantine_size_mb=64 \
    "$DIR/$1" -max_total_time="$seconds" -timeout=30 -rss_limit_mb=2048 -max_len="$4" \
    -print_final_stats=1 -artifact_prefix="$DIR/artifacts/$1-" "$DIR/$2" "$3" >"$DIR/$1.log" 2>&1
}
echo "== fuzzing for $seconds s (logs: $DIR/kvb_fuzz.log, $DIR/kvb_wav_fuzz.log)"
set +e
run kvb_fuzz corpus fuzz/corpus 4096 &
plugin_pid=$!
run kvb_wav_fuzz wav-corpus fuzz/wav-corpus 4096 &
wav_pid=$!
wait "$plugin_pid"
plugin_status=$?
wait "$wav_pid"
wav_status=$?
set -e

failed=0
report() {  # report TARGET STATUS
  local log=$DIR/$1.log last execs
  # The last status line carries coverage and speed; the final stats the totals.
  last=$(grep -E '^#[0-9]+' "$log" | tail -n 1 || true)
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  echo "$1: ${execs:-?} executions in $seconds s; last status: ${last:-none}"
  if [ "$2" -ne 0 ]; then
    tail -n 60 "$log"
    echo "$1: FAILED (exit $2); inputs in $DIR/artifacts/" >&2
    failed=1
  fi
}
report kvb_fuzz "$plugin_status"
report kvb_wav_fuzz "$wav_status"
[ "$failed" -eq 0 ] || exit 1
echo "fuzz: no crash, no sanitizer report"
