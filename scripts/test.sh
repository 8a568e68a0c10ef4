#!/usr/bin/env bash
# Builds KVB and runs the whole test suite. The editor tests start their own
# Xvfb; nothing else needs to be running. Every build here treats warnings as
# errors and leaves no test out for want of a package.
set -euo pipefail
cd "$(dirname "$0")/.."
export KVB_WERROR=${KVB_WERROR:-ON}
export KVB_REQUIRE_ALL=${KVB_REQUIRE_ALL:-ON}
scripts/install-deps.sh
scripts/build.sh
BUILD_DIR=${BUILD_DIR:-build}
cd "$BUILD_DIR"
ctest --output-on-failure -j2 --timeout 900
cd - >/dev/null
# The Windows build: KVB_64.dll and kvb.exe cross-built in build-win/, their
# checks run under Wine against this build. KVB_TEST_WINDOWS=0 skips them.
if [ "${KVB_TEST_WINDOWS:-1}" != 0 ]; then
  BUILD_DIR="$BUILD_DIR" scripts/test-windows.sh
fi
# The processing cross-built for 64-bit ARM Linux (build-aarch64/), run under
# qemu-user: its renders must be the x86-64 build's bit for bit.
# KVB_TEST_AARCH64=0 skips it.
if [ "${KVB_TEST_AARCH64:-1}" != 0 ]; then
  BUILD_DIR="$BUILD_DIR" scripts/test-aarch64.sh
fi
# Then the robustness runs, each in a build folder of its own: the whole suite
# under AddressSanitizer + UndefinedBehaviorSanitizer, the concurrency test
# under ThreadSanitizer, and a minute of fuzzing. KVB_TEST_QUICK=1 skips them.
if [ "${KVB_TEST_QUICK:-0}" != 1 ]; then
  scripts/test-sanitizers.sh
  scripts/fuzz.sh "${KVB_FUZZ_SECONDS:-60}"
fi
