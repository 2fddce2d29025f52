#!/usr/bin/env bash
# Replays each target's kept inputs (seed corpus and regressions), then fuzzes it for a bounded
# time. Any crash, leak, hang, sanitizer report or failed check ends the script with an error;
# the input that caused it is saved under BUILD_DIR/artifacts/.
#   usage: fuzz/run_fuzzers.sh BUILD_DIR SECONDS TARGET...
set -euo pipefail
if [ "$#" -lt 3 ]; then
  echo "usage: $0 BUILD_DIR SECONDS TARGET..." >&2
  exit 2
fi
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$1" && pwd)
seconds=$2
shift 2
mkdir -p "$build/artifacts"

for target in "$@"; do
  fuzzer=$build/fuzz/${target}_fuzzer
  kept=("$root/fuzz/corpus/$target")
  if [ -d "$root/fuzz/regressions/$target" ]; then
    kept+=("$root/fuzz/regressions/$target")
  fi
  # New inputs go to the build folder; the repository keeps only the small seed corpus.
  found=$build/corpus/$target
  mkdir -p "$found"
  options=(-timeout=10 -rss_limit_mb=2048 -dict="$root/fuzz/$target.dict"
           -artifact_prefix="$build/artifacts/$target-")

  echo "== $target: replaying the kept inputs"
  status=0
  "$fuzzer" "${options[@]}" -runs=0 "${kept[@]}" </dev/null >"$build/$target.log" 2>&1 ||
    status=$?
  if [ "$status" -ne 0 ]; then
    cat "$build/$target.log"
    echo "== $target: a kept input fails (status $status)" >&2
    exit 1
  fi
  grep -E '^#[0-9]+[[:space:]]+(INITED|DONE)' "$build/$target.log" || true

  echo "== $target: fuzzing for $seconds s"
  status=0
  "$fuzzer" "${options[@]}" -max_total_time="$seconds" -print_final_stats=1 \
    "$found" "${kept[@]}" </dev/null >"$build/$target.log" 2>&1 || status=$?
  grep -vE '^#[0-9]+[[:space:]]+(NEW|REDUCE|pulse)' "$build/$target.log" | tail -n 40
  if [ "$status" -ne 0 ]; then
    echo "== $target: fuzzing failed (status $status); see $build/$target.log and" \
      "$build/artifacts/" >&2
    exit 1
  fi
done
