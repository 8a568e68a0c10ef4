#!/usr/bin/env bash
# The sanitizer suite:
#   asan  builds everything with AddressSanitizer + UndefinedBehaviorSanitizer
#         in build-asan/ and runs the whole test suite there (the editor tests
#         under their own Xvfb, the soak for a shorter stretch);
#   tsan  builds the concurrency test with ThreadSanitizer in build-tsan/ and
#         runs it.
# Any sanitizer report fails the run. Usage: scripts/test-sanitizers.sh [asan|tsan|all]
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
what=${1:-all}
JOBS=${JOBS:-2}
ASAN_DIR=${ASAN_BUILD_DIR:-build-asan}
TSAN_DIR=${TSAN_BUILD_DIR:-build-tsan}

# Stop at the first finding, with a stack for undefined behaviour too.
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
asan_options=detect_leaks=1:halt_on_error=1:strict_string_checks=1:check_initialization_order=1
lsan_options=suppressions=$ROOT/tests/robustness/lsan.supp:print_suppressions=0

run_asan() {
  echo "== AddressSanitizer + UndefinedBehaviorSanitizer: build ($ASAN_DIR)"
  cmake --preset asan -B "$ASAN_DIR" ${KVB_WERROR:+-DKVB_WERROR=$KVB_WERROR} >/dev/null
  # Leak checking is off while building: the build runs tools of its own (the
  # skin generator), and the suite below runs that generator again with
  # leak checking on.
  ASAN_OPTIONS=detect_leaks=0 cmake --build "$ASAN_DIR" -j"$JOBS"
  echo "== AddressSanitizer + UndefinedBehaviorSanitizer: the whole suite"
  (cd "$ASAN_DIR" &&
    ASAN_OPTIONS=$asan_options LSAN_OPTIONS=$lsan_options KVB_SOAK_SECONDS=${KVB_ASAN_SOAK_SECONDS:-120} \
      ctest --output-on-failure -j"$JOBS" --timeout 1800)
}

run_tsan() {
  echo "== ThreadSanitizer: build of the concurrency test ($TSAN_DIR)"
  cmake --preset tsan -B "$TSAN_DIR" ${KVB_WERROR:+-DKVB_WERROR=$KVB_WERROR} >/dev/null
  cmake --build "$TSAN_DIR" -j"$JOBS" --target kvb_concurrency_tests
  echo "== ThreadSanitizer: concurrency test"
  # ThreadSanitizer's shadow memory needs the fixed address layout that
  # kernels with wide address randomisation no longer give; setarch -R turns
  # randomisation off for this one process.
  local runner=()
  if setarch "$(uname -m)" -R true 2>/dev/null; then runner=(setarch "$(uname -m)" -R); fi
  TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 history_size=4" \
    "${runner[@]}" "$TSAN_DIR"/kvb_concurrency_tests --gtest_repeat=${KVB_TSAN_REPEAT:-3}
}

case "$what" in
  asan) run_asan ;;
  tsan) run_tsan ;;
  all) run_asan; run_tsan ;;
  *) echo "usage: $0 [asan|tsan|all]" >&2; exit 2 ;;
esac
