#!/usr/bin/env bash
# From a fresh Debian 12 machine to a built plug-in, then the main job:
# what the plug-in offers (kvb info) and the demo rendered through it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh
BUILD_DIR=${BUILD_DIR:-build}
"$BUILD_DIR"/kvb info
"$BUILD_DIR"/kvb demo kvb-demo.wav
