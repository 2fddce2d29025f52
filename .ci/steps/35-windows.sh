#!/usr/bin/env bash
# Windows: installs what is missing, cross-compiles zivavod.exe with mingw-w64 (warnings as
# errors) and runs the end-to-end cases under wine, the Windows differences included
# (mk/windows.mk, scripts/windows/, tests/cli/cases).
set -euo pipefail
cd "$(dirname "$0")/../.."
ZIVAVOD_WERROR=ON make windows
