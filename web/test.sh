#!/usr/bin/env bash
# Tests the browser build (build/web, from web/build.sh) against the native one, built here in
# build/$PRESET: the end-to-end cases (tests/cli/cases) through the node runners
# (web/node/zivavod.mjs, web/node/zivavod-inspect.mjs), leaving out those tagged [native], then
# the page in Debian's headless chromium and firefox-esr (web/test_page.mjs): chromium driven by
# playwright-core, firefox-esr by puppeteer-core over WebDriver BiDi, both checked with axe-core,
# all three installed by npm ci from web/package-lock.json into build/web/node, with no browser
# of their own (the browsers are Debian's). Screenshots land in build/web/test/BROWSER.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
unset MAKEFLAGS MAKELEVEL MFLAGS
jobs=${JOBS:-$(nproc)}
preset=${PRESET:-dev}
native=build/$preset

cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" -j "$jobs" --target zivavod zivavod-inspect zivavod_cli_tests \
  example_firmware

# The case runner itself, not ctest: ctest keeps the list of cases it found under the first
# environment it ran in, and the list differs here. Two shards at once.
echo "end-to-end cases through the node runners:"
pids=()
for shard in 0 1; do
  ZIVAVOD_CLI_TARGET=web ZIVAVOD_CLI_PROGRAM="$root/web/node/zivavod.mjs" \
    ZIVAVOD_CLI_INSPECT="$root/web/node/zivavod-inspect.mjs" GTEST_TOTAL_SHARDS=2 \
    GTEST_SHARD_INDEX=$shard "$native/tests/zivavod_cli_tests" --gtest_brief=1 \
    >"build/web/cases.$shard.log" 2>&1 &
  pids+=($!)
done
status=0
for shard in 0 1; do
  wait "${pids[$shard]}" || { status=1; cat "build/web/cases.$shard.log"; }
  grep -E '^\[  (PASSED|FAILED)  \]' "build/web/cases.$shard.log" || true
done
[ "$status" = 0 ] || exit 1

# The drivers and axe-core as web/package-lock.json pins them.
web/npm_install.sh
node web/test_page.mjs build/web "$native" build/web/test chromium firefox
