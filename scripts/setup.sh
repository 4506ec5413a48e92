#!/usr/bin/env bash
# Installs what building and testing need and is missing; skips what is there.
# Usage: scripts/setup.sh [build folder]   (the Wine prefix goes into the build folder)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$here/build}

source "$here/scripts/arch.sh"
packages=(cmake make g++ g++-mingw-w64-i686-posix mingw-w64-i686-dev g++-mingw-w64-x86-64-posix
          mingw-w64-x86-64-dev libz-mingw-w64-dev googletest ccache wine xvfb xauth fonts-wine fonts-ipafont-gothic)
# The misc-fixed 8x16 face the built-in font is drawn from at build time.
packages+=(xfonts-base)
# Building the third-party libraries (scripts/deps.sh) and making the sound and movie tests' files.
packages+=(pkgconf sox vorbis-tools opus-tools lame ffmpeg)
if [ "$VT_ARCH" = i686 ]; then
  packages+=(wine32:i386 libgl1:i386 libglx-mesa0:i386 libgl1-mesa-dri:i386)
else
  packages+=(wine64 libgl1 libglx-mesa0 libgl1-mesa-dri)
fi
# The system's DirectShow parsers (the WAVE parser among them) stand on GStreamer under Wine.
if [ "$VT_ARCH" = i686 ]; then
  packages+=(gstreamer1.0-plugins-base:i386 gstreamer1.0-plugins-good:i386)
else
  packages+=(gstreamer1.0-plugins-base gstreamer1.0-plugins-good)
fi
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  sudo=""; [ "$(id -u)" = 0 ] || sudo=sudo
  dpkg --print-foreign-architectures | grep -qx i386 || $sudo dpkg --add-architecture i386
  $sudo apt-get update -q
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# The private Wine prefix: Windows 10, no pointer acceleration (tests measure mouse moves).
export WINEPREFIX=$build/wineprefix WINEARCH=$VT_WINEARCH WINEDEBUG=-all
mkdir -p "$build"
if [ ! -f "$WINEPREFIX/.qelvar-ready" ]; then
  echo "setup: creating the Wine prefix $WINEPREFIX"
  rm -rf "$WINEPREFIX"
  "$VT_WINE" wineboot -i >/dev/null 2>&1 || true
  "$VT_WINE" reg add 'HKCU\Software\Wine' /v Version /d win10 /f >/dev/null 2>&1
  "$VT_WINE" reg add 'HKCU\Control Panel\Mouse' /v MouseSpeed /d 0 /f >/dev/null 2>&1
  "$VT_WINE" reg add 'HKCU\Control Panel\Mouse' /v MouseThreshold1 /d 0 /f >/dev/null 2>&1
  "$VT_WINE" reg add 'HKCU\Control Panel\Mouse' /v MouseThreshold2 /d 0 /f >/dev/null 2>&1
  wineserver -w
  touch "$WINEPREFIX/.qelvar-ready"
fi
# Crash handling: Wine starts the debugger named under AeDebug for an unhandled exception, and its
# default (winedbg --auto) waits for ever without a terminal. "false" starts none: the program ends
# at once with Wine's fault line ("Unhandled page fault on read access to ... at address ...") and a
# non-zero exit. Checked in the prefix's registry on every run, so older prefixes get it too.
if ! grep -q '^"Debugger"="false"' "$WINEPREFIX/system.reg" 2>/dev/null; then
  echo "setup: crashes in the Wine prefix end the program at once (no debugger)"
  "$VT_WINE" reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /d false /f >/dev/null 2>&1
  wineserver -w
fi

# Font faces: the tool asks for "ＭＳ　ゴシック" (ideographic space), the fonts fall back to "ＭＳ ゴシック"
# (plain space). Both resolve to IPAGothic, whatever other fonts are installed (a face with no Latin
# letters could win otherwise). Written once per prefix, also into prefixes made before this step.
if [ ! -f "$WINEPREFIX/.qelvar-fonts" ]; then
  reg_file=$WINEPREFIX/qelvar-fonts.reg
  { printf '\xff\xfe'
    printf 'Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\Wine\\Fonts\\Replacements]\r\n"ＭＳ　ゴシック"="IPAGothic"\r\n"ＭＳ ゴシック"="IPAGothic"\r\n' |
      iconv -f UTF-8 -t UTF-16LE; } >"$reg_file"
  "$VT_WINE" regedit /S "Z:${reg_file//\//\\}" >/dev/null 2>&1 || true
  wineserver -w
  touch "$WINEPREFIX/.qelvar-fonts"
fi
