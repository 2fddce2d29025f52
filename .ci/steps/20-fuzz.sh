#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and fuzzes each for about a minute, after replaying
# their seed corpora and kept regressions. Any crash, leak, hang or failed check fails CI; the
# input is left in build/fuzz/artifacts/.
set -euo pipefail
cd "$(dirname "$0")/../.."

make fuzz FUZZ_SECONDS="${FUZZ_SECONDS:-60}"
