#!/usr/bin/env bash
# Builds KVB and runs the whole test suite. The editor tests start their own
# Xvfb; nothing else needs to be running.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh
BUILD_DIR=${BUILD_DIR:-build}
cd "$BUILD_DIR"
ctest --output-on-failure -j2 --timeout 900
