#!/usr/bin/env bash
# Runs build/windows/cross/zivavod.exe, and zivavod-inspect.exe where the cases' scripts call the
# inspector, under wine through the end-to-end cases (tests/cli/cases, the runner built for this
# machine in build/windows/host and pointed at the launchers): the shared cases, and those
# tagged [windows] where the platform differs. Expects
# scripts/windows/build.sh to have run; wine keeps its prefix in build/windows/wine.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
cd "$root"
# Started from make: the builds below are not sub-makes of it and set their own parallelism,
# every core unless make's JOBS says otherwise.
unset MAKEFLAGS MAKELEVEL MFLAGS
jobs=${JOBS:-$(nproc)}

. scripts/windows/wine_env.sh
export ZIVAVOD_EXE="$root/build/windows/cross/zivavod.exe"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "creating the wine prefix $WINEPREFIX"
  # Without 32-bit wine, wineboot reports it cannot start the 32-bit rundll32; that is harmless.
  "$WINELOADER" wineboot -i >"$root/build/windows/wineboot.log" 2>&1 ||
    { cat "$root/build/windows/wineboot.log" >&2; exit 1; }
  /usr/lib/wine/wineserver64 -w
fi

cmake -S . -B build/windows/host -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_COMPILE_WARNING_AS_ERROR="${ZIVAVOD_WERROR:-OFF}" >/dev/null
cmake --build build/windows/host --target zivavod zivavod_cli_tests example_firmware -j "$jobs"

# One wineserver, and the services it starts, for the whole run. Left to itself the server exits
# 3 s after its last client: a case that starts while it is exiting fails with "wine client
# error:0: recvmsg: Connection reset by peer", and the next one starts it again, its services
# holding that case's output open until the server exits once more. Started here, the services'
# output goes nowhere and no case waits on it.
# A server left by an earlier run would refuse the second.
/usr/lib/wine/wineserver64 -k 2>/dev/null || true
/usr/lib/wine/wineserver64 -w
/usr/lib/wine/wineserver64 -p
trap '/usr/lib/wine/wineserver64 -k 2>/dev/null || true' EXIT
"$WINELOADER" cmd /c exit 0 </dev/null >/dev/null 2>&1

status=0
ZIVAVOD_CLI_TARGET=windows ZIVAVOD_CLI_PROGRAM="$root/scripts/windows/zivavod_wine.sh" \
  ZIVAVOD_CLI_INSPECT="$root/scripts/windows/zivavod_inspect_wine.sh" \
  ctest --test-dir build/windows/host -L cli -j2 --output-on-failure || status=1
exit "$status"
