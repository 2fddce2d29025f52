#!/usr/bin/env bash
# Builds libdeflate's static library for the Windows target into PREFIX (a folder of the build
# tree): lib/libdeflate.a, include/libdeflate.h and lib/pkgconfig/libdeflate.pc, laid out like
# Debian's libdeflate-dev so that the project's pkg-config lookup finds it unchanged.
# Debian has no mingw-w64 package of libdeflate, so the sources are Debian's libdeflate source
# package, whichever version the archive serves, fetched by fetch_debian_source.sh without
# touching the machine's apt configuration, and built with libdeflate's own Makefile.
#
# Usage: build_libdeflate.sh PREFIX
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
prefix=$(realpath -m "${1:?usage: build_libdeflate.sh PREFIX}")
triple=x86_64-w64-mingw32
jobs=${JOBS:-$(nproc)}

if [ -f "$prefix/lib/libdeflate.a" ] && [ -f "$prefix/lib/pkgconfig/libdeflate.pc" ]; then
  exit 0
fi

# A folder of its own: minizip's build shares the prefix and clears its own sources.
src_root="$prefix/src-libdeflate"
rm -rf "$src_root" "$prefix/lib/libdeflate.a" "$prefix/include/libdeflate.h"
mkdir -p "$src_root" "$prefix/lib/pkgconfig" "$prefix/include"
source_dir=$("$here/fetch_debian_source.sh" libdeflate "$src_root")
if [ ! -f "$source_dir/libdeflate.h" ] || [ ! -f "$source_dir/libdeflate.pc.in" ]; then
  echo "Debian's libdeflate source package holds no libdeflate.h or libdeflate.pc.in" >&2
  exit 1
fi

# The static library alone, with the Makefile's own flags. For a MinGW compiler it is named
# libdeflatestatic.lib; the Makefile cannot derive the archiver from the -posix compiler name.
env -u MAKEFLAGS -u MAKELEVEL -u MFLAGS make -C "$source_dir" -j "$jobs" \
  CC="${triple}-gcc-posix" AR="${triple}-ar" libdeflatestatic.lib >&2
cp "$source_dir/libdeflatestatic.lib" "$prefix/lib/libdeflate.a"
cp "$source_dir/libdeflate.h" "$prefix/include/"
version=$(sed -n 's/^#define LIBDEFLATE_VERSION_STRING[[:space:]]*"\([^"]*\)".*/\1/p' \
  "$source_dir/libdeflate.h")
sed -e "s|@PREFIX@|$prefix|" -e "s|@LIBDIR@|$prefix/lib|" -e "s|@INCDIR@|$prefix/include|" \
  -e "s|@VERSION@|$version|" "$source_dir/libdeflate.pc.in" >"$prefix/lib/pkgconfig/libdeflate.pc"
echo "libdeflate $version for $triple in $prefix"
