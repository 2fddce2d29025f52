#!/usr/bin/env bash
# Runs the benchmark on a Release build: makes the cases, times the tool and the floor program on
# each (taking turns, after a warm-up), counts one run's instructions with callgrind, shows where
# the tool's instructions go, runs the micro-benchmarks and checks the targets.
#
#   bench/run_bench.sh BUILD_DIR
#
# BENCH_RUNS (default 41) and BENCH_WARMUP (default 5) set the timed and warm-up runs per case.
# Exits 1 when a target is missed.
set -euo pipefail

build=$(cd "${1:?usage: run_bench.sh BUILD_DIR}" && pwd)
runs=${BENCH_RUNS:-41}
warmup=${BENCH_WARMUP:-5}
dictionary=/usr/share/dict/american-english
cases=$build/bench-cases
work=$build/bench-work
full_cases="full_one_per_line full_comma_lines full_four_six"
# Name, then command: the tool, the floor.
names=(zivavod floor)
commands=("$build/zivavod bench.cfg"
  "$build/bench/floor floor/bench.dat floor/manifest.json floor/bench.app floor.zip")

rm -rf "$cases" "$work"
mkdir -p "$work"
"$build/bench/make_cases" "$dictionary" "$cases"

# Instructions of one run, counted by callgrind; the profile is kept for the breakdown.
instructions() {  # OUT_FILE DIR COMMAND...
  local out=$1 dir=$2
  shift 2
  (cd "$dir" && valgrind --tool=callgrind --callgrind-out-file="$out" "$@" 2>&1 >/dev/null) |
    sed -n 's/.*Collected : //p'
}

# Inclusive instructions of the first function whose line matches, from a callgrind profile.
inclusive() {  # PROFILE PATTERN
  callgrind_annotate --inclusive=yes --threshold=100 "$1" 2>/dev/null |
    awk -v pattern="$2" '!found && $0 ~ pattern { gsub(",", "", $1); found = $1 }
      END { print found + 0 }'
}

echo "== Machine: $(nproc) cores, $(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo |
  head -1), load average $(cut -d' ' -f1-3 /proc/loadavg)"
echo "== Dictionary: $(dpkg-query -W -f='${Package} ${Version}' wamerican 2>/dev/null)," \
  "sha256 $(sha256sum "$dictionary" | cut -c1-16)"
echo "== $runs timed runs after $warmup warm-up runs, the programs taking turns; wall time" \
  "(fork to exit), CPU time (user + system) and peak RSS are medians"
printf '%-18s %-9s %9s %15s %15s %8s %12s %8s\n' case program "wall ms" "q1-q3 ms" \
  "min-max ms" "CPU ms" instructions "RSS KiB"
summary=$work/summary.txt
: >"$summary"
for name in typical $full_cases; do
  dir=$cases/$name
  # One run makes the package; its three entries are what the floor program packs again.
  (cd "$dir" && "$build/zivavod" bench.cfg >/dev/null)
  mkdir -p "$dir/floor"
  unzip -o -q "$dir/bench.zip" -d "$dir/floor"
  timed=()
  for i in "${!names[@]}"; do
    [ "$i" = 0 ] || timed+=(--)
    # shellcheck disable=SC2206  # each command is words without blanks inside
    timed+=("$dir" ${commands[$i]})
  done
  mapfile -t timing < <("$build/bench/run_timed" "$warmup" "$runs" "${timed[@]}")
  declare -A ms=() cpu=() rss=() ir=()
  for i in "${!names[@]}"; do
    program=${names[$i]}
    # shellcheck disable=SC2086
    ir[$program]=$(instructions "$work/$program.$name.callgrind" "$dir" ${commands[$i]})
    read -r median q1 q3 low high rss_kib cpu_ms <<<"${timing[$i]}"
    ms[$program]=$median cpu[$program]=$cpu_ms rss[$program]=$rss_kib
    printf '%-18s %-9s %9.2f %7.2f-%-7.2f %7.2f-%-7.2f %8.2f %12s %8s\n' "$name" "$program" \
      "$median" "$q1" "$q3" "$low" "$high" "$cpu_ms" "${ir[$program]}" "$rss_kib"
  done
  for program in zivavod; do
    ratios=$(awk -v tm="${ms[$program]}" -v fm="${ms[floor]}" -v tc="${cpu[$program]}" \
      -v fc="${cpu[floor]}" -v ti="${ir[$program]}" -v fi="${ir[floor]}" \
      -v tr="${rss[$program]}" -v fr="${rss[floor]}" \
      'BEGIN { printf "%.3f %.3f %.3f %d", tm / fm, tc / fc, ti / fi, tr - fr }')
    echo "$name $program $ratios" >>"$summary"
    read -r time_ratio cpu_ratio ir_ratio rss_delta <<<"$ratios"
    printf '%-18s %-9s wall %s, CPU %s, instructions %s, RSS %+d KiB\n' "$name" \
      "$program/floor" "$time_ratio" "$cpu_ratio" "$ir_ratio" "$rss_delta"
  done
done

echo
echo "== Where the instructions go (callgrind, inclusive; start-up is all before main)"
printf '%-18s %-9s %11s %10s %11s %9s %10s %11s\n' case program total start-up "word lists" \
  CRC-16 "rest image" package
for name in typical $full_cases; do
  for program in "${names[@]}"; do
    profile=$work/$program.$name.callgrind
    total=$(inclusive "$profile" "PROGRAM TOTALS")
    main=$(inclusive "$profile" ":main \\[")
    if [ "$program" = floor ]; then
      printf '%-18s %-9s %11s %10s %11s %9s %10s %11s\n' "$name" "$program" "$total" \
        "$((total - main))" - - - "$main"
      continue
    fi
    lists=$(inclusive "$profile" ":read_word_lists\\(")
    image=$(inclusive "$profile" ":build_app_image\\(")
    crc=$(inclusive "$profile" ":crc16_ccitt\\(")
    package=$(inclusive "$profile" ":write_dfu_package\\(")
    printf '%-18s %-9s %11s %10s %11s %9s %10s %11s\n' "$name" "$program" "$total" \
      "$((total - main))" "$lists" "$crc" "$((image - crc))" "$package"
  done
done

echo
echo "== Micro-benchmarks (Google Benchmark, medians of 9 repetitions; word_list_phase opens," \
  "sizes, reads and closes a case's lists as a run does)"
micro_csv=$work/micro.csv
"$build/bench/micro_bench" "$cases" --benchmark_repetitions=9 \
  --benchmark_report_aggregates_only=true --benchmark_min_time=0.05 \
  --benchmark_out="$micro_csv" --benchmark_out_format=csv 2>/dev/null |
  grep -E '^(Benchmark|-|[a-z].*_median)' || true

echo
echo "== Targets for the full-capacity cases: instructions and wall time within 1.2 times the" \
  "floor, RSS within 1024 KiB of it, word-list phase at 1 GB/s or more"
status=0
for name in $full_cases; do
  # The csv holds bytes_per_second in column 6 of the median row.
  phase=$(awk -F, -v row="\"word_list_phase/${name}_median\"" '$1 == row { print $6 }' \
    "$micro_csv")
  for program in zivavod; do
    read -r _ _ time_ratio _ ir_ratio rss_delta < <(grep "^$name $program " "$summary")
    verdict=$(awk -v t="$time_ratio" -v i="$ir_ratio" -v r="$rss_delta" -v p="$phase" 'BEGIN {
      print (i <= 1.2 && t <= 1.2 && r <= 1024 && p >= 1e9) ? "met" : "MISSED" }')
    printf '%-18s %-9s instructions %s, wall %s, RSS %+d KiB, word lists %s GB/s: %s\n' \
      "$name" "$program" "$ir_ratio" "$time_ratio" "$rss_delta" \
      "$(awk -v p="$phase" 'BEGIN { printf "%.2f", p / 1e9 }')" "$verdict"
    if [ "$verdict" != met ]; then
      status=1
    fi
  done
done
exit $status
