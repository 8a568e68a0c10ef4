#!/usr/bin/env bash
# Configures and builds KVB (plug-in, kvb host, tests, benchmarks) in build/
# (the "release" preset). KVB_WERROR=ON makes warnings errors, as in CI;
# KVB_REQUIRE_ALL=ON fails where tests or benchmarks would be left out.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${BUILD_DIR:-build}
cmake --preset release -B "$BUILD_DIR" ${KVB_WERROR:+-DKVB_WERROR=$KVB_WERROR} \
  ${KVB_REQUIRE_ALL:+-DKVB_REQUIRE_ALL=$KVB_REQUIRE_ALL}
cmake --build "$BUILD_DIR" -j"$(nproc)"
