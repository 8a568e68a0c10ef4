#!/usr/bin/env bash
# Makes the pictures that README shows, in docs/, from the built plug-in:
#   docs/screenshot.png  the editor with the demo settings, after 4 s of the
#                        demo signal (under Xvfb when there is no display)
#   docs/curve.png       kvb curve with the demo settings
#   docs/step.png        kvb step with the demo settings, the six DisAtk1 steps
#   docs/render.png      kvb demo --plot: the demo render's levels and gain
# Run it after a change that shows in them; commit what it writes.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$(pwd)
scripts/install-deps.sh
BUILD_DIR=${BUILD_DIR:-build}
case "$BUILD_DIR" in /*) ;; *) BUILD_DIR=$ROOT/$BUILD_DIR ;; esac
cmake -S . -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$BUILD_DIR" -j2 --target KVB_64 kvb
KVB=$BUILD_DIR/kvb

"$KVB" curve docs/curve.png --demo
"$KVB" step docs/step.png --demo --compare DisAtk1
# In a folder of its own, so that the picture names the file as kvb-demo.wav.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
(cd "$work" && "$KVB" demo kvb-demo.wav --plot "$ROOT/docs/render.png")
if [ -n "${DISPLAY:-}" ]; then
  "$KVB" screenshot docs/screenshot.png --demo --audio 4
else
  xvfb-run -a -s "-screen 0 1280x1024x24" "$KVB" screenshot docs/screenshot.png --demo --audio 4
fi
