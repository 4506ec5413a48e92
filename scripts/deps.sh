#!/usr/bin/env bash
# Builds the third-party libraries that the library links statically from Debian's source packages,
# cross-compiled with the mingw-w64 toolchain of one architecture into a prefix inside the build
# folder (BUILD/deps: include/, lib/, lib/pkgconfig/). What is built already is skipped.
# Usage: scripts/deps.sh BUILD_FOLDER i686|x86_64
# Adding a library is one line of the table below (in build order: a library comes after those it
# needs).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:?build folder}
arch=${2:?architecture (i686 or x86_64)}
host=$arch-w64-mingw32
prefix=$build/deps
work=$build/deps-work

# source package | version | configure arguments (besides host, prefix, static only), or CMake -D
# arguments for a source that has CMakeLists.txt and no configure script | optionally the folders of
# a configure tree to make and install (default: all of it). zlib is the toolchain's
# (libz-mingw-w64-dev in /usr/HOST). libtheora: only lib and include, since the Debian tarball
# leaves out a file its doc folder's rules need.
libraries=(
  "libogg        | 1.3.5-3          | "
  "libvorbis     | 1.3.7-1          | --disable-docs --disable-examples --disable-oggtest"
  "libtheora     | 1.1.1+dfsg.1-16.1+deb12u1 | --disable-encode --disable-examples --disable-spec --disable-oggtest --disable-vorbistest --disable-sdltest | lib include"
  "opus          | 1.3.1-3          | --disable-doc --disable-extra-programs --disable-stack-protector"
  "opusfile      | 0.12-4           | --disable-http --disable-doc --disable-examples"
  "libpng1.6     | 1.6.39-2+deb12u5 | --disable-tests --disable-tools"
  "libjpeg-turbo | 1:2.1.5-2        | -DWITH_SIMD=OFF -DWITH_TURBOJPEG=OFF -DENABLE_SHARED=OFF -DENABLE_STATIC=ON"
  "tiff          | 4.5.0-6+deb12u4  | -DBUILD_SHARED_LIBS=OFF -Dtiff-tools=OFF -Dtiff-tests=OFF -Dtiff-docs=OFF -Dtiff-contrib=OFF -Dcxx=OFF -Djpeg=OFF -Dold-jpeg=OFF -Djbig=OFF -Dlerc=OFF -Dlzma=OFF -Dzstd=OFF -Dwebp=OFF -Dlibdeflate=OFF -Dpixarlog=OFF"
)

sudo=""; [ "$(id -u)" = 0 ] || sudo=sudo

# apt-get source needs a deb-src twin of the machine's Debian source; added once.
ensure_source_list() {
  if ! grep -rqs '^Types:.*deb-src\|^deb-src ' /etc/apt/sources.list /etc/apt/sources.list.d/; then
    local list=/etc/apt/sources.list.d/debian.sources
    echo "deps: adding the deb-src entries of $list" >&2
    sed -n 's/^Types: deb$/Types: deb-src/p; /^Types:/!p' "$list" | $sudo tee /etc/apt/sources.list.d/vantrel-src.sources >/dev/null
    $sudo apt-get -o DPkg::Lock::Timeout=600 update -q >&2
  fi
}

# Fetches NAME=VERSION's files into the download folder (once) and unpacks the original tarball into
# a fresh source folder; prints that folder.
unpack() {
  local name=$1 version=$2
  local upstream=${version%-*}
  upstream=${upstream#*:}
  local download=$work/download
  mkdir -p "$download"
  if ! ls "$download/${name}_${upstream}.orig.tar."* >/dev/null 2>&1; then
    ensure_source_list
    (cd "$download" && apt-get source -q --download-only "$name=$version" >&2)
  fi
  local tarball
  tarball=$(ls "$download/${name}_${upstream}.orig.tar."* | head -n1)
  local source=$work/$arch/$name
  rm -rf "$source"
  mkdir -p "$source"
  tar -xf "$tarball" -C "$source" --strip-components=1
  echo "$source"
}

export PKG_CONFIG_LIBDIR=$prefix/lib/pkgconfig PKG_CONFIG_PATH=
mkdir -p "$prefix/stamps"
for line in "${libraries[@]}"; do
  IFS='|' read -r name version arguments folders <<<"$line"
  name=$(echo $name); version=$(echo $version); arguments=$(echo $arguments); folders=$(echo ${folders:-.})
  stamp=$prefix/stamps/$name
  if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$version $arguments" ]; then
    continue
  fi
  echo "deps: building $name $version for $host"
  start=$(date +%s)
  source=$(unpack "$name" "$version")
  if [ -f "$source/CMakeLists.txt" ] && [ ! -f "$source/configure" ]; then
    (cmake -S "$source" -B "$source/build" -DCMAKE_SYSTEM_NAME=Windows -DCMAKE_SYSTEM_PROCESSOR="$arch" \
       -DCMAKE_C_COMPILER="$host-gcc-posix" -DCMAKE_CXX_COMPILER="$host-g++-posix" \
       -DCMAKE_RC_COMPILER="$host-windres" -DCMAKE_BUILD_TYPE=Release \
       -DCMAKE_C_FLAGS="-O2 -msse2 -mfpmath=sse" -DCMAKE_INSTALL_PREFIX="$prefix" \
       -DCMAKE_FIND_ROOT_PATH="$prefix;/usr/$host" $arguments >"$source.log" 2>&1 &&
     cmake --build "$source/build" -j"$(nproc)" >>"$source.log" 2>&1 &&
     cmake --install "$source/build" >>"$source.log" 2>&1)
  else
    (cd "$source" && ./configure -q --host="$host" --prefix="$prefix" --enable-static --disable-shared \
        CC="$host-gcc-posix" CFLAGS="-O2 -msse2 -mfpmath=sse" CPPFLAGS="-I$prefix/include -D_FORTIFY_SOURCE=0" \
        LDFLAGS="-L$prefix/lib" $arguments >"$source.log" 2>&1 &&
     for folder in $folders; do
       make -C "$folder" -j"$(nproc)" >>"$source.log" 2>&1 && make -C "$folder" install >>"$source.log" 2>&1 || exit 1
     done)
  fi || { echo "deps: $name failed; see $source.log" >&2; tail -n 30 "$source.log" >&2; exit 1; }
  rm -rf "$source"
  echo "$version $arguments" >"$stamp"
  echo "deps: $name done in $(( $(date +%s) - start )) s"
done
