#!/usr/bin/env bash
# Cross-builds libjpeg-turbo (Debian's source package) once, as a static library for Windows.
# Usage: build-libjpeg.sh CACHE_DIR ARCH   (ARCH i686 or x86_64) -> CACHE_DIR/libjpeg/{include,lib}
set -euo pipefail
cache=$(realpath -m "$1")
arch=${2:-i686}
out="$cache/libjpeg"
[ -f "$out/lib/libjpeg.a" ] && exit 0

here=$(cd "$(dirname "$0")/.." && pwd)
src="$cache/libjpeg-src"
rm -rf "$src" "$out"
mkdir -p "$src"
echo "libjpeg: fetching the source package and cross-building it for $arch (once)" >&2
(cd "$src" && apt-get source -qq libjpeg-turbo >/dev/null 2>&1)
dir=$(find "$src" -maxdepth 1 -mindepth 1 -type d -name 'libjpeg-turbo-*' | head -n 1)
[ -n "$dir" ] || { echo "libjpeg: apt-get source libjpeg-turbo gave no source tree" >&2; exit 1; }

cmake -S "$dir" -B "$src/build" -G "Unix Makefiles" \
  -DCMAKE_TOOLCHAIN_FILE="$here/cmake/toolchain-mingw-$arch.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$out" \
  -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_TURBOJPEG=OFF -DWITH_SIMD=OFF \
  -DWITH_JPEG8=ON >/dev/null
cmake --build "$src/build" -j"$(nproc)" --target jpeg-static >/dev/null
mkdir -p "$out/lib" "$out/include"
# The library comes last, under its own name in one step: it is what says "already built".
cp "$dir/jpeglib.h" "$dir/jmorecfg.h" "$dir/jerror.h" "$src/build/jconfig.h" "$out/include/"
cp "$src/build/libjpeg.a" "$out/lib/libjpeg.a.new"
mv "$out/lib/libjpeg.a.new" "$out/lib/libjpeg.a"
rm -rf "$src"
