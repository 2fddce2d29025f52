#!/usr/bin/env bash
# Builds zlib, minizip's zip writer and reader, and libdeflate for WebAssembly with emscripten
# into PREFIX (a folder of the build tree), laid out like Debian's -dev packages: lib/libz.a,
# lib/libminizip.a, lib/libdeflate.a, their headers and lib/pkgconfig/{minizip,libdeflate}.pc, so
# that the project's CMake lookups find them unchanged. Debian has no WebAssembly build of them and
# Debian's emscripten serves none (its cache is frozen, its ports cannot be fetched), so the sources
# are Debian's zlib and libdeflate source packages, whichever version the archive serves, fetched
# as for the Windows build (scripts/windows/fetch_debian_source.sh), or copied from it when it has
# fetched them already. A prefix already built is kept.
#
# Usage: build_deps.sh PREFIX
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
fetch=$here/../scripts/windows/fetch_debian_source.sh
prefix=$(realpath -m "${1:?usage: build_deps.sh PREFIX}")
jobs=${JOBS:-$(nproc)}

if [ -f "$prefix/lib/libz.a" ] && [ -f "$prefix/lib/libminizip.a" ] &&
  [ -f "$prefix/lib/libdeflate.a" ] && [ -f "$prefix/lib/pkgconfig/libdeflate.pc" ]; then
  exit 0
fi
rm -rf "${prefix:?}/src" "${prefix:?}/lib" "${prefix:?}/include"
mkdir -p "$prefix/src" "$prefix/lib/pkgconfig" "$prefix/include/minizip"

# Unpacks PACKAGE's sources into DEST and prints the folder: a copy of the ones the Windows build
# fetched when it has (build/windows/deps, as CI runs it first), else fetched from the archive.
debian_source() {  # PACKAGE DEST
  local found
  found=$(find "$here/../build/windows/deps" -mindepth 2 -maxdepth 2 -type d -name "$1-*" \
    2>/dev/null | sort | tail -n 1)
  if [ -n "$found" ]; then
    echo "taking Debian's $1 sources from the Windows build: $found" >&2
    cp -r "$found" "$2/"
    echo "$2/$(basename "$found")"
  else
    "$fetch" "$1" "$2"
  fi
}

# zlib and its minizip. zlib's own configure would probe the host; its sources build as they are,
# given the unistd.h that emscripten has (without it gzlib.c declares its own, clashing, lseek).
zlib_dir=$(debian_source zlib "$prefix/src")
minizip_dir=$zlib_dir/contrib/minizip
if [ ! -f "$minizip_dir/zip.c" ] || [ ! -f "$zlib_dir/zlib.h" ]; then
  echo "Debian's zlib source package holds no contrib/minizip/zip.c" >&2
  exit 1
fi
zlib_version=$(sed -n 's/^#define ZLIB_VERSION "\([^"]*\)".*/\1/p' "$zlib_dir/zlib.h")
# Each emcc start costs about a second: the files compile side by side.
compile() {  # OUTPUT_PREFIX SOURCE_DIR NAME...
  local out=$1 dir=$2
  shift 2
  printf '%s\n' "$@" | xargs -P "$jobs" -I{} \
    emcc -O2 -DHAVE_UNISTD_H -I"$zlib_dir" -c "$dir/{}.c" -o "$out{}.o"
}
zlib_sources=(adler32 compress crc32 deflate gzclose gzlib gzread gzwrite infback inffast inflate
  inftrees trees uncompr zutil)
compile "$prefix/src/zlib_" "$zlib_dir" "${zlib_sources[@]}"
zlib_objects=("${zlib_sources[@]/#/$prefix/src/zlib_}")
emar rcs "$prefix/lib/libz.a" "${zlib_objects[@]/%/.o}"
cp "$zlib_dir/zlib.h" "$zlib_dir/zconf.h" "$prefix/include/"
compile "$prefix/src/minizip_" "$minizip_dir" zip unzip ioapi
emar rcs "$prefix/lib/libminizip.a" "$prefix"/src/minizip_{zip,unzip,ioapi}.o
cp "$minizip_dir/zip.h" "$minizip_dir/unzip.h" "$minizip_dir/ioapi.h" "$prefix/include/minizip/"
cat >"$prefix/lib/pkgconfig/minizip.pc" <<PC
prefix=$prefix
libdir=\${prefix}/lib
includedir=\${prefix}/include/minizip

Name: minizip
Description: Minizip zip writer and reader, built for WebAssembly from Debian's zlib $zlib_version sources
Version: $zlib_version
Libs: -L\${libdir} -lminizip
Libs.private: -lz
Cflags: -I\${includedir}
PC

# libdeflate with its own Makefile; its x86 and ARM paths are left out by their own checks.
source_dir=$(debian_source libdeflate "$prefix/src")
if [ ! -f "$source_dir/libdeflate.h" ] || [ ! -f "$source_dir/libdeflate.pc.in" ]; then
  echo "Debian's libdeflate source package holds no libdeflate.h or libdeflate.pc.in" >&2
  exit 1
fi
# A copy from the Windows build holds its objects: they go first.
env -u MAKEFLAGS -u MAKELEVEL -u MFLAGS make -C "$source_dir" clean >&2
env -u MAKEFLAGS -u MAKELEVEL -u MFLAGS make -C "$source_dir" -j "$jobs" CC=emcc AR=emar \
  libdeflate.a >&2
cp "$source_dir/libdeflate.a" "$prefix/lib/"
cp "$source_dir/libdeflate.h" "$prefix/include/"
version=$(sed -n 's/^#define LIBDEFLATE_VERSION_STRING[[:space:]]*"\([^"]*\)".*/\1/p' \
  "$source_dir/libdeflate.h")
sed -e "s|@PREFIX@|$prefix|" -e "s|@LIBDIR@|$prefix/lib|" -e "s|@INCDIR@|$prefix/include|" \
  -e "s|@VERSION@|$version|" "$source_dir/libdeflate.pc.in" >"$prefix/lib/pkgconfig/libdeflate.pc"
echo "zlib $zlib_version, minizip and libdeflate $version for WebAssembly in $prefix"
