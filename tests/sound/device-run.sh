#!/usr/bin/env bash
# Runs the sound test program's device cases with a sound device: a Wine prefix of their own whose
# HOME holds an .asoundrc making ALSA's default device a plug (to S32_LE) in front of a file plugin
# writing WAVE over null. Wine reads HOME when its services start, so the prefix's wineserver is
# started here with that HOME and stopped at the end.
# Usage: device-run.sh BUILD_FOLDER PROGRAM [arguments...]
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
build=$1
shift
source "$here/scripts/arch.sh"
home=$build/sound-device-home
export HOME=$home WINEPREFIX=$build/wineprefix-sound WINEARCH=$VT_WINEARCH WINEDEBUG=${WINEDEBUG:--all}
export VT_SOUND_CAPTURE=$home/capture.wav
mkdir -p "$home"
cat > "$home/.asoundrc" <<ASOUNDRC
pcm.!default {
    type plug
    slave { pcm "vtcapture"; format S32_LE }
}
pcm.vtcapture {
    type file
    slave.pcm "null"
    file "$VT_SOUND_CAPTURE"
    format "wav"
}
ASOUNDRC
stop() { wineserver -k >/dev/null 2>&1 || true; }
trap stop EXIT
if [ ! -f "$WINEPREFIX/.qelvar-ready" ]; then
  rm -rf "$WINEPREFIX"
  "$VT_WINE" wineboot -i >/dev/null 2>&1 </dev/null || true
  "$VT_WINE" reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /d false /f >/dev/null 2>&1 </dev/null
  wineserver -w
  touch "$WINEPREFIX/.qelvar-ready"
fi
wineserver -p >/dev/null 2>&1 </dev/null
"$VT_WINE" wineboot -i >/dev/null 2>&1 </dev/null
"$VT_WINE" "$@"
