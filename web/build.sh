#!/usr/bin/env bash
# Builds the browser version into build/web: zlib, minizip and libdeflate for WebAssembly
# (build/web/deps, scripts/deps/), then zivavod and zivavod-inspect with emscripten
# (build/web/cross, CMakeLists.txt's EMSCRIPTEN block), then gathers the page: index.html, its
# style and scripts, the JavaScript API (zivavod-web.mjs), each program's .js and .wasm, the
# service worker and the web app manifest for the served page, and zivavod.html, the whole page
# in one file to open from disk (web/single_file.mjs). The packages come from mk/web.mk (make web).
# ZIVAVOD_WERROR=ON turns warnings into errors, as CI wants.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
# Started from make: the builds below are not sub-makes of it and set their own parallelism,
# every core unless make's JOBS says otherwise.
unset MAKEFLAGS MAKELEVEL MFLAGS
jobs=${JOBS:-$(nproc)}
# emscripten's JavaScript optimiser needs acorn, which Debian installs for its own node only
# (/usr/share/nodejs); a node from elsewhere does not look there.
export NODE_PATH=/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}
# Debian's emscripten ships its system libraries built in a cache of its own and cannot build
# more: EM_CACHE must not point elsewhere, and no -sUSE_* port can be used.
unset EM_CACHE

scripts/deps/build_libs.sh emscripten build/web/deps
scripts/deps/install_nlohmann_json.sh build/web/deps cmake/toolchains/emscripten.cmake
cmake -S . -B build/web/cross --toolchain "$root/cmake/toolchains/emscripten.cmake" \
  -DWEB_DEPS_PREFIX="$root/build/web/deps" \
  -DCMAKE_BUILD_TYPE=Release -DZIVAVOD_BUILD_TESTS=OFF \
  -DCMAKE_COMPILE_WARNING_AS_ERROR="${ZIVAVOD_WERROR:-OFF}" >/dev/null
cmake --build build/web/cross --target zivavod zivavod-inspect -j "$jobs"

for program in zivavod zivavod-inspect; do
  cp "build/web/cross/$program.js" "build/web/cross/$program.wasm" build/web/
done
cp web/index.html web/page.css web/page.js web/compare.js web/zivavod-web.mjs \
  web/manifest.webmanifest web/icon.svg build/web/cross/layout.mjs build/web/
# The service worker's cache is named after what it holds: a new build replaces it.
stamp=$(cat build/web/{index.html,page.css,page.js,compare.js,layout.mjs,zivavod-web.mjs,zivavod.wasm,zivavod-inspect.wasm} |
  sha256sum | cut -c 1-16)
sed "s/@BUILD@/$stamp/" web/sw.js >build/web/sw.js
# The page in one file, to open from disk.
node web/single_file.mjs build/web build/web/zivavod.html
for file in build/web/zivavod.wasm build/web/zivavod.js build/web/zivavod-inspect.wasm \
  build/web/zivavod-inspect.js build/web/zivavod.html; do
  echo "built $file: $(stat -c %s "$file") bytes, $(gzip -9 <"$file" | wc -c) gzipped"
done
