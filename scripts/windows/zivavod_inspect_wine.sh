#!/usr/bin/env bash
# Runs the Windows build of zivavod-inspect under wine as zivavod_wine.sh runs zivavod's: tests
# point ZIVAVOD_CLI_INSPECT here. ZIVAVOD_INSPECT_EXE overrides the program.
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
ZIVAVOD_EXE=${ZIVAVOD_INSPECT_EXE:-$here/../../build/windows/cross/zivavod-inspect.exe} \
  exec "$here/zivavod_wine.sh" "$@"
