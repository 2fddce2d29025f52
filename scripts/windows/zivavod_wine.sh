#!/usr/bin/env bash
# Runs the Windows build of zivavod under wine with the arguments given, in the current folder,
# passing standard input, output, error and the exit status through untouched. Tests point
# ZIVAVOD_CLI_PROGRAM here. Windows forms argv[0] from the command line wine builds: the
# program's full path (Z:\...\zivavod.exe), whatever name the caller gave.
#
# ZIVAVOD_EXE overrides the program. The environment wine depends on is set here, whatever the
# caller's (wine_env.sh): the build tree's prefix, which scripts/windows/test.sh creates, and a
# UTF-8 locale.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../.." && pwd)
exe=${ZIVAVOD_EXE:-$root/build/windows/cross/zivavod.exe}
. "$here/wine_env.sh"
exec "$WINELOADER" "$exe" "$@"
