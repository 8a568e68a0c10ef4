#!/usr/bin/env bash
# Installs the Debian 12 packages that building and testing KVB needs (and
# lsp-plugins-vst, the peer the README's kvb bench command compares with).
# Skips apt-get entirely when everything is already there.
set -euo pipefail

packages=(
  cmake g++ make pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  libsndfile1-dev libmpfr-dev
  libx11-dev libcairo2-dev fontconfig fonts-liberation zlib1g-dev
  lv2-dev lilv-utils
  dpf-source
  libplplot-dev plplot-driver-cairo
  xvfb xdotool x11-utils imagemagick
  valgrind
  clang libclang-rt-14-dev llvm libpixman-1-dev
  g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 libz-mingw-w64-dev
  wine64 wine fonts-wine libxrender1 libxi6 libxcursor1 libxrandr2 libxfixes3 libxinerama1
  libxcomposite1 python3
  ardour qtractor jackd2
  lsp-plugins-vst
)
packages+=("$@")  # extra packages a script names, e.g. scripts/check-math.sh --cross

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing: ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
