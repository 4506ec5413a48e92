# Sourced: chooses the architecture of the build that runs under Wine here.
# The product is a 32-bit program; where this machine's kernel runs no 32-bit code (some virtual
# machines have no 32-bit mode), Wine cannot run it, and the tests run a 64-bit build instead.
# VT_ARCH may be given (i686 or x86_64).
if [ -z "${VT_ARCH:-}" ]; then
  if [ -x /lib/ld-linux.so.2 ] && /lib/ld-linux.so.2 --version >/dev/null 2>&1; then
    VT_ARCH=i686
  else
    VT_ARCH=x86_64
  fi
fi
case "$VT_ARCH" in
  i686)   VT_TOOLCHAIN=mingw32-toolchain.cmake; VT_WINEARCH=win32; VT_WINE=wine ;;
  x86_64) VT_TOOLCHAIN=mingw64-toolchain.cmake; VT_WINEARCH=win64; VT_WINE=/usr/lib/wine/wine64 ;;
  *) echo "VT_ARCH must be i686 or x86_64" >&2; exit 2 ;;
esac
export VT_ARCH VT_TOOLCHAIN VT_WINEARCH VT_WINE
