#!/usr/bin/env bash
# From a fresh Debian 12 machine to a built plug-in, then the main job: the
# built-in demo rendered through it to kvb-demo.wav, and a short summary of
# what was built, where, what the plug-in reports and the demo's levels.
# (build/kvb info lists every parameter and program.)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh
BUILD_DIR=${BUILD_DIR:-build}
KVB=$BUILD_DIR/kvb
info=$("$KVB" info)
demo=$("$KVB" demo kvb-demo.wav)
field() { sed -n "s/^$1: *//p" <<<"$info" | head -n 1; }

echo
echo "== KVB is built in $BUILD_DIR/"
echo "   VST 2.4 plug-in  $BUILD_DIR/KVB_64.so"
if [ -d "$BUILD_DIR/KVB.lv2" ]; then echo "   LV2 bundle       $BUILD_DIR/KVB.lv2/"; fi
echo "   command line     $KVB (kvb --help; kvb info lists every parameter and program)"
echo "   the plug-in      $(field 'Effect name') from $(field Vendor), ID $(field 'Unique ID'),"
echo "                    $(field Inputs) in, $(field Outputs) out, delay $(field 'Initial delay'),"\
     "$(field Parameters | cut -d' ' -f1) parameters, $(field Programs) programs"
echo "   the demo         $demo"
