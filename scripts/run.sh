#!/usr/bin/env bash
# Builds qelvar.exe and runs it under Wine: on the user's X display when there is one, else on a
# virtual display. The tool's setting files live in its working folder, build/run.
# Where the machine runs no 32-bit code, the 64-bit build of the same sources runs instead.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${VT_BUILD:-$here/build}
source "$here/scripts/arch.sh"
"$here/scripts/setup.sh" "$build"
cmake -S "$here" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$here/cmake/$VT_TOOLCHAIN" >/dev/null
cmake --build "$build" -j "$(nproc)" --target qelvar
export WINEPREFIX=$build/wineprefix
source "$here/scripts/xvfb-env.sh"
mkdir -p "$build/run"
cd "$build/run"
set +e
"$VT_WINE" "$build/qelvar.exe" "$@"
status=$?
echo "qelvar.exe exited with $status"
exit $status
