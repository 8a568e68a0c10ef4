#!/usr/bin/env bash
# Times KVB against the Debian peer limiter at 4x, one kvb bench run per row,
# on the demo's programme material (loud), the same 70 dB down (quiet) and
# digital silence, at blocks of 512 and 64, with both stages compressing (the
# settings of the README's speed section), and prints the rows for
# bench/results.md: date, commit, processor, block, input, KVB's and the
# peer's median ns per stereo frame, their ratio (median of the runs side by
# side) and NOTE.
#
#   scripts/bench-record.sh [NOTE]   (BUILD_DIR=build, PLUGIN=$BUILD_DIR/KVB_64.so, COMMIT)
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${BUILD_DIR:-build}
PLUGIN=${PLUGIN:-$BUILD_DIR/KVB_64.so}
PEER=/usr/lib/vst/lsp-plugins/limiter-stereo.so
note=${1:-}
date=$(date +%Y-%m-%d)
# The commit built, + when the tree differs from it; COMMIT names another build's.
commit=${COMMIT:-$(git rev-parse --short HEAD)$(git diff --quiet HEAD -- . ':!bench/results.md' || echo "+")}
cpu="$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -1), $(nproc) cores$(grep -q avx512f /proc/cpuinfo && echo ", AVX-512")"
for block in 512 64; do
  for input in loud quiet silent; do
    [ "$block" = 64 ] && [ "$input" = silent ] && continue
    case $input in loud) gain=0 ;; quiet) gain=-70 ;; silent) gain=-inf ;; esac
    out=$("$BUILD_DIR/kvb" bench --plugin "$PLUGIN" --block "$block" --gain-db "$gain" \
      --set OptByp1=0 --set OptThr1=0.3 --set DisByp1=0 --set DisThr1=0.3 \
      --compare "$PEER" --compare-set 14=0.8 --compare-set 8=0.75)
    kvb=$(echo "$out" | sed -n 's/^  median: \([0-9.]*\) ns.*/\1/p' | sed -n 1p)
    peer=$(echo "$out" | sed -n 's/^  median: \([0-9.]*\) ns.*/\1/p' | sed -n 2p)
    ratio=$(echo "$out" | sed -n 's/.*side by side \([0-9.]*\),.*/\1/p')
    echo "| $date | $commit | $cpu | $block | $input | $kvb | $peer | $ratio | $note |"
  done
done
