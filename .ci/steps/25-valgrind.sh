#!/usr/bin/env bash
# Representative runs of the program under valgrind's memcheck (ctest label valgrind): no
# memory error and no lost block. Uses the CI build that .ci/run made, building it if needed.
set -euo pipefail
cd "$(dirname "$0")/../.."

make deps
if ! command -v valgrind >/dev/null; then
  apt-get update
  DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends valgrind
fi
cmake --preset ci >/dev/null
cmake --build --preset ci
# Here a missing valgrind is a failure, not a reason to skip.
ZIVAVOD_REQUIRE_VALGRIND=1 ctest --preset ci -L valgrind
