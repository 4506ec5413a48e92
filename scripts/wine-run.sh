#!/usr/bin/env bash
# Runs a Windows program under Wine in the build's private prefix (CMake's emulator).
# WINEPREFIX may be given; otherwise the prefix inside the build folder is used.
here=$(cd "$(dirname "$0")/.." && pwd)
source "$here/scripts/arch.sh"
export WINEPREFIX=${WINEPREFIX:-$here/build/wineprefix}
export WINEARCH=$VT_WINEARCH
export WINEDEBUG=${WINEDEBUG:--all}
exec "$VT_WINE" "$@"
