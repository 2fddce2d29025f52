#!/usr/bin/env bash
# Web: installs what is missing, builds zivavod and zivavod-inspect to WebAssembly with Debian's
# emscripten (warnings as errors) and tests them: the end-to-end cases through the node runners
# and the page in headless chromium and firefox-esr, against the CI build (mk/web.mk, web/).
set -euo pipefail
cd "$(dirname "$0")/../.."
ZIVAVOD_WERROR=ON make web-test PRESET=ci
