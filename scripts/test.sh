#!/usr/bin/env bash
# Builds everything and runs every test under Wine on a virtual display.
# Usage: scripts/test.sh [ctest arguments...]   (build folder: $VT_BUILD or ./build)
# Where the machine runs no 32-bit code, the tests run a 64-bit build and the 32-bit product
# (build-i686/qelvar.exe, with its tests and benchmarks) is built beside it, so that both stay
# compiling (VT_SKIP_PRODUCT=1 skips it while working on one subsystem).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${VT_BUILD:-$here/build}
source "$here/scripts/arch.sh"
if [ "$VT_ARCH" = i686 ]; then
  echo "tests run as the 32-bit build"
elif /lib/ld-linux.so.2 --version >/dev/null 2>&1; then
  echo "tests run as the 64-bit build (VT_ARCH=x86_64 chose it; this machine runs 32-bit code)"
else
  echo "tests run as the 64-bit build: this machine runs no 32-bit code"
fi
"$here/scripts/setup.sh" "$build"
cmake -S "$here" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$here/cmake/$VT_TOOLCHAIN" >/dev/null
cmake --build "$build" -j "$(nproc)"
if [ "$VT_ARCH" != i686 ] && [ "${VT_SKIP_PRODUCT:-0}" != 1 ]; then
  product=${build}-i686
  cmake -S "$here" -B "$product" -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw32-toolchain.cmake" >/dev/null
  cmake --build "$product" -j "$(nproc)"
fi
export WINEPREFIX=$build/wineprefix VT_FORCE_XVFB=1
source "$here/scripts/xvfb-env.sh"
cd "$build"
ctest --output-on-failure "$@"
