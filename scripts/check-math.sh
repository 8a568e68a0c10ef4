#!/usr/bin/env bash
# The exhaustive check of our float functions (dsp/math): each of log, log10,
# exp, exp10, cos and tan on all 2^32 inputs against MPFR, on all cores, and
# the batch forms on every instruction set against the scalar functions.
# Prints per function the mismatches (must be 0), how many inputs take the
# exact path, how many the C runtime's own float function gets wrong, and the
# minutes taken; exits non-zero on any mismatch. Builds in build-math/
# (Release). About 10 to 20 minutes on two cores.
#
#   scripts/check-math.sh [--only log,exp,...]   the exhaustive check
#   scripts/check-math.sh --cross                the same bits from the
#       MinGW-w64 build under Wine and the aarch64 build under qemu as from
#       this one, on 2^22 inputs per function and the batch forms
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
BUILD_DIR=${MATH_BUILD_DIR:-build-math}
JOBS=${JOBS:-2}

if [ "${1:-}" = "--cross" ]; then
  scripts/install-deps.sh g++-aarch64-linux-gnu qemu-user
else
  scripts/install-deps.sh
fi
cmake -S . -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=Release >/dev/null

if [ "${1:-}" != "--cross" ]; then
  cmake --build "$BUILD_DIR" -j"$JOBS" --target kvb_math_exhaustive
  exec "$BUILD_DIR/kvb_math_exhaustive" "$@"
fi

# --cross: the module and the digest driver, built natively, with MinGW-w64
# and for aarch64, with the project's flags; the digests must agree line by
# line.
cmake --build "$BUILD_DIR" -j"$JOBS" --target kvb_math_digest
CROSS="$BUILD_DIR/cross"
mkdir -p "$CROSS"
sources=(dsp/math/ExpLog.cpp dsp/math/Trig.cpp dsp/math/Rounding.cpp dsp/math/Batch.cpp
         tests/math/math_digest.cpp)
flags=(-std=c++17 -O3 -DNDEBUG -Wall -Wextra -Wshadow -ffp-contract=off -fno-fast-math
       -fno-tree-slp-vectorize -I"$ROOT")
echo "== building with x86_64-w64-mingw32-g++-posix and aarch64-linux-gnu-g++"
x86_64-w64-mingw32-g++-posix "${flags[@]}" "${sources[@]}" -static -o "$CROSS/digest.exe"
aarch64-linux-gnu-g++ "${flags[@]}" "${sources[@]}" -static -o "$CROSS/digest-aarch64"

echo "== Linux x86-64"
"$BUILD_DIR/kvb_math_digest" >"$CROSS/linux.txt"
cat "$CROSS/linux.txt"
echo "== Windows x86-64 (MinGW-w64, under Wine)"
WINEPREFIX="$ROOT/$CROSS/wineprefix" WINEDEBUG=-all /usr/lib/wine/wine64 "$CROSS/digest.exe" \
  | tr -d '\r' >"$CROSS/windows.txt"
echo "== Linux aarch64 (under qemu)"
qemu-aarch64 -L /usr/aarch64-linux-gnu "$CROSS/digest-aarch64" >"$CROSS/aarch64.txt"
status=0
for platform in windows aarch64; do
  if diff -u "$CROSS/linux.txt" "$CROSS/$platform.txt"; then
    echo "$platform: the same bits as Linux x86-64"
  else
    echo "$platform: DIFFERENT from Linux x86-64"
    status=1
  fi
done
exit $status
