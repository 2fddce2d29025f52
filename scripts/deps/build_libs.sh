#!/usr/bin/env bash
# Builds the libraries the programs link, for a cross target, into PREFIX (a folder of the build
# tree), laid out like Debian's -dev packages so that the project's CMake lookups find them
# unchanged: lib/libminizip.a with include/minizip/{zip,ioapi}.h, lib/libdeflate.a with
# include/libdeflate.h, and lib/pkgconfig/{minizip,libdeflate}.pc.
#   TARGET mingw-w64    64-bit Windows (x86_64-w64-mingw32-gcc-posix); zlib itself comes from
#                       Debian's libz-mingw-w64-dev, in the toolchain's own tree
#   TARGET emscripten   WebAssembly with Debian's emscripten, whose frozen cache serves no port:
#                       zlib is built here too (lib/libz.a, include/zlib.h)
# Debian has no such builds of minizip and libdeflate, so the sources are Debian's zlib (its
# contrib/minizip) and libdeflate source packages, whichever version the archive serves, fetched
# by fetch_debian_source.sh without touching the machine's apt configuration. A prefix already
# built is kept.
#
# Usage: build_libs.sh TARGET PREFIX
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
usage="usage: build_libs.sh mingw-w64|emscripten PREFIX"
target=${1:?$usage}
prefix=$(realpath -m "${2:?$usage}")
jobs=${JOBS:-$(nproc)}
case $target in
  mingw-w64)
    cc=x86_64-w64-mingw32-gcc-posix ar=x86_64-w64-mingw32-ar
    # For a MinGW compiler libdeflate's Makefile names the static library so.
    deflate_library=libdeflatestatic.lib build_zlib=false ;;
  emscripten)
    cc=emcc ar=emar deflate_library=libdeflate.a build_zlib=true ;;
  *)
    echo "$usage" >&2
    exit 1 ;;
esac

if [ -f "$prefix/lib/libminizip.a" ] && [ -f "$prefix/lib/pkgconfig/minizip.pc" ] &&
  [ -f "$prefix/lib/libdeflate.a" ] && [ -f "$prefix/lib/pkgconfig/libdeflate.pc" ]; then
  exit 0
fi
rm -rf "${prefix:?}/src" "${prefix:?}/lib" "${prefix:?}/include"
mkdir -p "$prefix/src" "$prefix/lib/pkgconfig" "$prefix/include/minizip"

# Compiles the C files NAME.c of a folder side by side (each emcc start costs about a second) into
# OUTPUT_PREFIX{NAME}.o.
compile() {  # OUTPUT_PREFIX SOURCE_DIR FLAGS NAME...
  local out=$1 dir=$2 flags=$3
  shift 3
  # shellcheck disable=SC2086 # flags are several words on purpose
  printf '%s\n' "$@" | xargs -P "$jobs" -I{} "$cc" -O2 $flags -c "$dir/{}.c" -o "$out{}.o"
}

zlib_dir=$("$here/fetch_debian_source.sh" zlib "$prefix/src")
minizip_dir=$zlib_dir/contrib/minizip
if [ ! -f "$minizip_dir/zip.c" ] || [ ! -f "$zlib_dir/zlib.h" ]; then
  echo "Debian's zlib source package holds no contrib/minizip/zip.c" >&2
  exit 1
fi
zlib_version=$(sed -n 's/^#define ZLIB_VERSION "\([^"]*\)".*/\1/p' "$zlib_dir/zlib.h")
flags=
if $build_zlib; then
  # zlib's own configure would probe the host; its sources build as they are, given the unistd.h
  # that emscripten has (without it gzlib.c declares its own, clashing, lseek).
  flags="-DHAVE_UNISTD_H -I$zlib_dir"
  zlib_sources=(adler32 compress crc32 deflate gzclose gzlib gzread gzwrite infback inffast
    inflate inftrees trees uncompr zutil)
  compile "$prefix/src/zlib_" "$zlib_dir" "$flags" "${zlib_sources[@]}"
  zlib_objects=("${zlib_sources[@]/#/$prefix/src/zlib_}")
  "$ar" rcs "$prefix/lib/libz.a" "${zlib_objects[@]/%/.o}"
  cp "$zlib_dir/zlib.h" "$zlib_dir/zconf.h" "$prefix/include/"
fi

# zivavod writes with zip.c through file callbacks of its own, so no platform file is needed;
# nothing reads with minizip (zivavod-inspect inflates with zlib itself).
compile "$prefix/src/minizip_" "$minizip_dir" "$flags" zip ioapi
"$ar" rcs "$prefix/lib/libminizip.a" "$prefix"/src/minizip_{zip,ioapi}.o
cp "$minizip_dir/zip.h" "$minizip_dir/ioapi.h" "$prefix/include/minizip/"
cat >"$prefix/lib/pkgconfig/minizip.pc" <<PC
prefix=$prefix
libdir=\${prefix}/lib
includedir=\${prefix}/include/minizip

Name: minizip
Description: Minizip zip writer, built for $target from Debian's zlib $zlib_version sources
Version: $zlib_version
Libs: -L\${libdir} -lminizip
Libs.private: -lz
Cflags: -I\${includedir}
PC

# libdeflate, the static library alone, with its own Makefile and flags; the archiver is named,
# the Makefile cannot derive it from the compiler's name.
deflate_dir=$("$here/fetch_debian_source.sh" libdeflate "$prefix/src")
if [ ! -f "$deflate_dir/libdeflate.h" ] || [ ! -f "$deflate_dir/libdeflate.pc.in" ]; then
  echo "Debian's libdeflate source package holds no libdeflate.h or libdeflate.pc.in" >&2
  exit 1
fi
env -u MAKEFLAGS -u MAKELEVEL -u MFLAGS make -C "$deflate_dir" -j "$jobs" CC="$cc" AR="$ar" \
  "$deflate_library" >&2
cp "$deflate_dir/$deflate_library" "$prefix/lib/libdeflate.a"
cp "$deflate_dir/libdeflate.h" "$prefix/include/"
deflate_version=$(sed -n 's/^#define LIBDEFLATE_VERSION_STRING[[:space:]]*"\([^"]*\)".*/\1/p' \
  "$deflate_dir/libdeflate.h")
sed -e "s|@PREFIX@|$prefix|" -e "s|@LIBDIR@|$prefix/lib|" -e "s|@INCDIR@|$prefix/include|" \
  -e "s|@VERSION@|$deflate_version|" "$deflate_dir/libdeflate.pc.in" \
  >"$prefix/lib/pkgconfig/libdeflate.pc"
echo "minizip (zlib $zlib_version sources) and libdeflate $deflate_version for $target in $prefix"
