#!/usr/bin/env bash
# Builds minizip's zip writer and reader for the Windows target into PREFIX (a folder of the
# build tree): lib/libminizip.a, include/minizip/{zip,unzip,ioapi}.h and lib/pkgconfig/minizip.pc,
# laid out like Debian's libminizip-dev so that the project's pkg-config lookup finds it unchanged.
# Debian ships zlib for mingw-w64 but no minizip, so the sources come from Debian's zlib source
# package (its contrib/minizip), whichever version the archive serves, fetched by
# fetch_debian_source.sh without touching the machine's apt configuration.
#
# Usage: build_minizip.sh PREFIX
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
prefix=$(realpath -m "${1:?usage: build_minizip.sh PREFIX}")
triple=x86_64-w64-mingw32
cc=${triple}-gcc-posix
ar=${triple}-ar

if [ -f "$prefix/lib/libminizip.a" ] && [ -f "$prefix/lib/pkgconfig/minizip.pc" ] &&
  [ -f "$prefix/include/minizip/unzip.h" ]; then
  exit 0
fi

src_root="$prefix/src"
rm -rf "$src_root" "${prefix:?}/lib" "${prefix:?}/include"
mkdir -p "$src_root" "$prefix/lib/pkgconfig" "$prefix/include/minizip"
zlib_dir=$("$here/fetch_debian_source.sh" zlib "$src_root")
minizip_dir=$zlib_dir/contrib/minizip
if [ ! -f "$minizip_dir/zip.c" ] || [ ! -f "$zlib_dir/zlib.h" ]; then
  echo "Debian's zlib source package holds no contrib/minizip/zip.c" >&2
  exit 1
fi
zlib_version=$(sed -n 's/^#define ZLIB_VERSION "\([^"]*\)".*/\1/p' "$zlib_dir/zlib.h")

# zivavod writes with zip.c, zivavod-inspect reads with unzip.c; both supply their own file
# callbacks, so iowin32.c is not needed.
objects=()
for source in zip.c unzip.c ioapi.c; do
  object="$src_root/${source%.c}.o"
  "$cc" -O2 -c "$minizip_dir/$source" -o "$object"
  objects+=("$object")
done
"$ar" rcs "$prefix/lib/libminizip.a" "${objects[@]}"
cp "$minizip_dir/zip.h" "$minizip_dir/unzip.h" "$minizip_dir/ioapi.h" "$prefix/include/minizip/"

cat >"$prefix/lib/pkgconfig/minizip.pc" <<EOF
prefix=$prefix
libdir=\${prefix}/lib
includedir=\${prefix}/include/minizip

Name: minizip
Description: Minizip zip writer and reader, built for $triple from Debian's zlib $zlib_version sources
Version: $zlib_version
Libs: -L\${libdir} -lminizip
Libs.private: -lz
Cflags: -I\${includedir}
EOF
echo "minizip for $triple in $prefix (zlib $zlib_version sources)"
