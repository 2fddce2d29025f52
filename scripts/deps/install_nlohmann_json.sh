#!/usr/bin/env bash
# Installs nlohmann-json, which zivavod-inspect reads manifest.json with, for the cross target of
# TOOLCHAIN_FILE (cmake/toolchains/) into PREFIX (a folder of the build tree): it is header-only,
# so its own CMake install lays out include/nlohmann/ and the package files
# find_package(nlohmann_json) reads, nothing compiled. Debian has no mingw-w64 or WebAssembly
# package of it, so the sources are Debian's nlohmann-json3 source package, whichever version the
# archive serves, fetched by fetch_debian_source.sh without touching the machine's apt
# configuration.
#
# Usage: install_nlohmann_json.sh PREFIX TOOLCHAIN_FILE
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
prefix=$(realpath -m "${1:?usage: install_nlohmann_json.sh PREFIX TOOLCHAIN_FILE}")
toolchain=$(realpath "${2:?usage: install_nlohmann_json.sh PREFIX TOOLCHAIN_FILE}")

if [ -f "$prefix/include/nlohmann/json.hpp" ] &&
  [ -f "$prefix/share/cmake/nlohmann_json/nlohmann_jsonConfig.cmake" ]; then
  exit 0
fi

# A folder of its own: the libraries' build shares the prefix and clears its own sources.
src_root="$prefix/src-nlohmann-json"
rm -rf "$src_root" "$prefix/include/nlohmann" "$prefix/share/cmake/nlohmann_json"
mkdir -p "$src_root"
source_dir=$("$here/fetch_debian_source.sh" nlohmann-json3 "$src_root")
if [ ! -f "$source_dir/CMakeLists.txt" ] ||
  [ ! -f "$source_dir/single_include/nlohmann/json.hpp" ]; then
  echo "Debian's nlohmann-json3 source package holds no single_include/nlohmann/json.hpp" >&2
  exit 1
fi
# Configured for the target with its toolchain file: only the cross compiler is there, and the
# package files record the target's pointer size.
cmake -S "$source_dir" -B "$src_root/build" -DCMAKE_INSTALL_PREFIX="$prefix" \
  --toolchain "$toolchain" \
  -DJSON_BuildTests=OFF -DJSON_Install=ON -DJSON_MultipleHeaders=OFF >&2
cmake --install "$src_root/build" >&2
echo "nlohmann-json $(sed -n 's/^set(PACKAGE_VERSION "\(.*\)")/\1/p' \
  "$prefix/share/cmake/nlohmann_json/nlohmann_jsonConfigVersion.cmake") headers in $prefix"
