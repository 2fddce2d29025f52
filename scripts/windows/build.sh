#!/usr/bin/env bash
# Cross-compiles build/windows/cross/zivavod.exe and zivavod-inspect.exe for 64-bit Windows:
# minizip and libdeflate for the target first, and nlohmann-json's headers (build/windows/deps,
# from Debian's zlib, libdeflate and nlohmann-json3 sources, scripts/deps/), then the programs
# with the mingw-w64 toolchain file. The packages come from mk/windows.mk (make windows-build).
# ZIVAVOD_WERROR=ON turns warnings into errors, as CI wants.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
cd "$root"
# Started from make: the builds below are not sub-makes of it and set their own parallelism,
# every core unless make's JOBS says otherwise.
unset MAKEFLAGS MAKELEVEL MFLAGS
jobs=${JOBS:-$(nproc)}

scripts/deps/build_libs.sh mingw-w64 build/windows/deps
scripts/deps/install_nlohmann_json.sh build/windows/deps cmake/toolchains/mingw-w64-x86_64.cmake
cmake -S . -B build/windows/cross --toolchain cmake/toolchains/mingw-w64-x86_64.cmake \
  -DMINGW_DEPS_PREFIX="$root/build/windows/deps" -DCMAKE_BUILD_TYPE=Release \
  -DZIVAVOD_BUILD_TESTS=OFF -DCMAKE_COMPILE_WARNING_AS_ERROR="${ZIVAVOD_WERROR:-OFF}"
# Only the programs: the other targets would have to run Windows tools at build time.
cmake --build build/windows/cross --target zivavod zivavod-inspect -j "$jobs"

# Each program must run alone: no DLL beyond the system's own.
for program in zivavod zivavod-inspect; do
  imports=$(x86_64-w64-mingw32-objdump -p "build/windows/cross/$program.exe" |
    sed -n 's/^[[:space:]]*DLL Name: //p' | sort | tr '\n' ' ')
  if [ "$imports" != "KERNEL32.dll msvcrt.dll " ]; then
    echo "$program.exe imports more than the system DLLs: $imports" >&2
    exit 1
  fi
  echo "built build/windows/cross/$program.exe (imports: $imports)"
done
