#!/usr/bin/env bash
# The whole test suite (unit, end-to-end and fault-injection tests) built with AddressSanitizer
# and UndefinedBehaviorSanitizer; the first report fails the run. The valgrind runs and the
# failed-allocation runs are left out (the asan test preset): a sanitized program can run neither
# under valgrind nor with a preloaded malloc. The CI build's suite has them.
set -euo pipefail
cd "$(dirname "$0")/../.."
make test PRESET=asan
