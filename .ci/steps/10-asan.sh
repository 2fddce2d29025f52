#!/usr/bin/env bash
# The whole test suite (unit, end-to-end and fault-injection tests) built with AddressSanitizer
# and UndefinedBehaviorSanitizer; the first report fails the run.
set -euo pipefail
cd "$(dirname "$0")/../.."

make deps
cmake --workflow --preset asan
