#!/usr/bin/env bash
# The whole test suite (unit, end-to-end and fault-injection tests) built with AddressSanitizer
# and UndefinedBehaviorSanitizer; the first report fails the run. The valgrind runs are left out
# (a sanitized program cannot run under valgrind); the CI build's suite has them.
set -euo pipefail
cd "$(dirname "$0")/../.."
make test PRESET=asan
