#!/usr/bin/env bash
# Builds minizip's zip writer for the Windows target into PREFIX (a folder of the build tree):
# lib/libminizip.a, include/minizip/{zip,ioapi}.h and lib/pkgconfig/minizip.pc, laid out like
# Debian's libminizip-dev so that the project's pkg-config lookup finds it unchanged.
# Debian ships zlib for mingw-w64 but no minizip, so the sources come from Debian's zlib source
# package (its contrib/minizip), fetched with `apt-get source`. Needs root only to add a deb-src
# entry when the machine has none.
#
# Usage: build_minizip.sh PREFIX
set -euo pipefail

prefix=$(realpath -m "${1:?usage: build_minizip.sh PREFIX}")
triple=x86_64-w64-mingw32
cc=${triple}-gcc-posix
ar=${triple}-ar

if [ -f "$prefix/lib/libminizip.a" ] && [ -f "$prefix/lib/pkgconfig/minizip.pc" ]; then
  exit 0
fi

# The source of the zlib this machine has installed, which its Debian repository serves.
zlib_source="zlib=$(dpkg-query -W -f='${source:Version}' zlib1g)"

# apt-get source needs a deb-src entry: mirror the machine's entry for the Debian archive itself
# (the security archive carries only updates, and not always their sources).
ensure_deb_src() {
  if apt-get source --print-uris "$zlib_source" >/dev/null 2>&1; then
    return
  fi
  if [ "$(id -u)" -ne 0 ]; then
    echo "No deb-src entry for Debian's repository; run this as root once to add one." >&2
    exit 1
  fi
  if [ -f /etc/apt/sources.list.d/debian.sources ]; then
    awk 'BEGIN { RS = ""; ORS = "\n\n" }
         /\nURIs:[^\n]*-security/ { next }
         { sub(/Types:[^\n]*/, "Types: deb-src"); print }' /etc/apt/sources.list.d/debian.sources \
      >/etc/apt/sources.list.d/zivavod-deb-src.sources
  elif [ -f /etc/apt/sources.list ]; then
    sed -n '/-security/d; s/^deb \(.*\)/deb-src \1/p' /etc/apt/sources.list \
      >/etc/apt/sources.list.d/zivavod-deb-src.list
  else
    echo "Cannot tell which Debian repository this machine uses." >&2
    exit 1
  fi
  apt-get -o DPkg::Lock::Timeout=600 update -qq
}

ensure_deb_src
src_root="$prefix/src"
rm -rf "$src_root" "${prefix:?}/lib" "${prefix:?}/include"
mkdir -p "$src_root" "$prefix/lib/pkgconfig" "$prefix/include/minizip"
# Run as root, apt-get warns that the download is not sandboxed; the files land where we want.
(cd "$src_root" && apt-get source -qq "$zlib_source" 2>&1) | { grep -v 'unsandboxed as root' || true; }
minizip_dir=$(find "$src_root" -mindepth 3 -maxdepth 3 -type d -path '*/contrib/minizip' | head -n 1)
if [ -z "$minizip_dir" ] || [ ! -f "$minizip_dir/zip.c" ]; then
  echo "Debian's zlib source package holds no contrib/minizip/zip.c" >&2
  exit 1
fi
zlib_version=$(sed -n 's/^#define ZLIB_VERSION "\([^"]*\)".*/\1/p' "$minizip_dir/../../zlib.h")

# Only the writer is needed; the program supplies its own file callbacks, so iowin32.c is not.
objects=()
for source in zip.c ioapi.c; do
  object="$src_root/${source%.c}.o"
  "$cc" -O2 -c "$minizip_dir/$source" -o "$object"
  objects+=("$object")
done
"$ar" rcs "$prefix/lib/libminizip.a" "${objects[@]}"
cp "$minizip_dir/zip.h" "$minizip_dir/ioapi.h" "$prefix/include/minizip/"

cat >"$prefix/lib/pkgconfig/minizip.pc" <<EOF
prefix=$prefix
libdir=\${prefix}/lib
includedir=\${prefix}/include/minizip

Name: minizip
Description: Minizip zip writer, built for $triple from Debian's zlib $zlib_version sources
Version: $zlib_version
Libs: -L\${libdir} -lminizip
Libs.private: -lz
Cflags: -I\${includedir}
EOF
echo "minizip for $triple in $prefix (zlib $zlib_version sources)"
