#!/usr/bin/env bash
# Runs the Windows build of zivavod under wine with the arguments given, in the current folder,
# passing standard input, output, error and the exit status through untouched. Tests point
# ZIVAVOD_CLI_PROGRAM here. Windows forms argv[0] from the command line wine builds: the
# program's full path (Z:\...\zivavod.exe), whatever name the caller gave.
#
# ZIVAVOD_EXE overrides the program; WINEPREFIX defaults to the build tree's prefix, which
# scripts/windows/test.sh creates.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../.." && pwd)
exe=${ZIVAVOD_EXE:-$root/build/windows/cross/zivavod.exe}
export WINEPREFIX=${WINEPREFIX:-$root/build/windows/wine}
export WINEDEBUG=-all
export WINELOADER=/usr/lib/wine/wine64
export DISPLAY=
exec "$WINELOADER" "$exe" "$@"
