#!/usr/bin/env bash
# The house rules, checked: clang-format changes no source file, clang-tidy (.clang-tidy,
# function sizes included) finds nothing in the compile database, shellcheck nothing in the
# shell scripts and ESLint nothing in the JavaScript (mk/lint.mk).
set -euo pipefail
cd "$(dirname "$0")/../.."
make lint
