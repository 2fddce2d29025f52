#!/usr/bin/env bash
# clang with LLVM's libc++, standing in for the macOS and FreeBSD toolchains: installs what is
# missing, builds everything with warnings as errors and runs the whole suite (mk/libcxx.mk).
set -euo pipefail
cd "$(dirname "$0")/../.."
make libcxx
