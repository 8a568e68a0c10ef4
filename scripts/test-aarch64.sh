#!/usr/bin/env bash
# The processing on a second architecture: cross-builds the chain and its
# render tool (kvb_render_core) for 64-bit ARM Linux into build-aarch64/, runs
# it under qemu-user, and compares its renders with the x86-64 build's:
#   - on x86-64, kvb_render_core renders what the plug-in renders through
#     kvb (initial delay kept), bit for bit;
#   - on aarch64 (plain lanes, no SSE2 or AVX2), the same input and settings
#     give the same bits as on x86-64.
# Prints one line per check and closes with "aarch64: N passed, M failed".
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$(pwd)
ARM_BUILD=${ARM_BUILD_DIR:-build-aarch64}
X86_BUILD=${BUILD_DIR:-build}
case "$ARM_BUILD" in /*) ;; *) ARM_BUILD=$ROOT/$ARM_BUILD ;; esac
case "$X86_BUILD" in /*) ;; *) X86_BUILD=$ROOT/$X86_BUILD ;; esac

scripts/install-deps.sh g++-aarch64-linux-gnu qemu-user

echo "== building the processing for aarch64 in $ARM_BUILD"
cmake --preset aarch64 -B "$ARM_BUILD" ${KVB_WERROR:+-DKVB_WERROR=$KVB_WERROR} >/dev/null
cmake --build "$ARM_BUILD" -j2
echo "== the x86-64 build to compare with, in $X86_BUILD"
if [ ! -f "$X86_BUILD/CMakeCache.txt" ]; then
  cmake --preset release -B "$X86_BUILD" >/dev/null
fi
cmake --build "$X86_BUILD" -j2 --target KVB_64 kvb kvb_render_core

QEMU=(qemu-aarch64 -L /usr/aarch64-linux-gnu)
WORK=$ARM_BUILD/renders
rm -rf "$WORK"
mkdir -p "$WORK"
passed=0
failed=0
ok() { passed=$((passed + 1)); echo "ok   $*"; }
fail() { failed=$((failed + 1)); echo "FAIL $*"; }

# maxdiff A B: the largest sample difference, "none" when they cannot be read.
maxdiff() { python3 tests/win/wavtool.py maxdiff "$1" "$2" 2>&1 || true; }
same() {  # same WHAT A B: zero difference and a signal that is not silence
  local result
  result=$(maxdiff "$2" "$3")
  if awk -v d="${result%% *}" -v p="${result##*peak=}" 'BEGIN {exit !(d == "0.000e+00" && p + 0 > 0.05)}'; then
    ok "$1: $result"
  else
    fail "$1: $result"
  fi
}

arch=$(file -b "$ARM_BUILD/kvb_render_core" | cut -d, -f2 | sed 's/^ *//')
if [[ $arch == *aarch64* ]]; then ok "kvb_render_core built for $arch"; else fail "kvb_render_core is for $arch"; fi

python3 tests/win/wavtool.py make "$WORK/in44.wav" 44100 6 >/dev/null
python3 tests/win/wavtool.py make "$WORK/in96.wav" 96000 3 >/dev/null
. scripts/render-settings.sh
cases=(
  "default|in44|"
  "both-stages-linked-trafo0|in44|$SETTINGS_BOTH_STAGES"
  "mid-side-trafo1-and-0|in44|$SETTINGS_MID_SIDE"
  "unlinked-fast-trafo2|in44|$SETTINGS_UNLINKED"
  "hard-both-stages-96k|in96|OptByp1=0 OptThr1=0 OptGain1=1 DisByp1=0 DisThr1=0 DisRat1=1 DisGain1=1 OptMode=1"
)
for c in "${cases[@]}"; do
  IFS='|' read -r name input settings <<<"$c"
  sets=()
  for s in $settings; do sets+=(--set "$s"); done
  # shellcheck disable=SC2086
  "$X86_BUILD/kvb" render "$WORK/$input.wav" "$WORK/plugin-$name.wav" --float --keep-latency \
    "${sets[@]}" >/dev/null
  # shellcheck disable=SC2086
  "$X86_BUILD/kvb_render_core" "$WORK/$input.wav" "$WORK/x86-$name.wav" $settings
  # shellcheck disable=SC2086
  if "${QEMU[@]}" "$ARM_BUILD/kvb_render_core" "$WORK/$input.wav" "$WORK/arm-$name.wav" $settings; then
    same "render $name: x86-64 kvb_render_core against the plug-in" "$WORK/plugin-$name.wav" "$WORK/x86-$name.wav"
    same "render $name: aarch64 against x86-64" "$WORK/x86-$name.wav" "$WORK/arm-$name.wav"
  else
    fail "render $name: kvb_render_core failed under qemu"
  fi
done

echo "aarch64: $passed passed, $failed failed"
[ "$failed" = 0 ]
