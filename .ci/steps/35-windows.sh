#!/usr/bin/env bash
# Windows: installs what is missing, cross-compiles zivavod.exe with mingw-w64 (warnings as
# errors), runs the end-to-end suite under wine and compares its runs with the Linux build's
# (mk/windows.mk, scripts/windows/, tests/cli/windows_test.sh).
set -euo pipefail
cd "$(dirname "$0")/../.."
ZIVAVOD_WERROR=ON make windows
