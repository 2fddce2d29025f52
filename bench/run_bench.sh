#!/usr/bin/env bash
# Runs the benchmark on a Release build: makes the cases, times the tool, its floor program and,
# side by side, the tool and floor as they were before libdeflate (zlib deflating through
# minizip) on each case (taking turns, after a warm-up), counts one run's instructions with
# callgrind, shows where the instructions go and the package sizes, runs the micro-benchmarks
# and checks the targets.
#
#   bench/run_bench.sh BUILD_DIR ZLIB_TOOL [WEB_DIR]
#
# ZLIB_TOOL is the tool built from the last commit before libdeflate (mk/bench.mk builds it).
# WEB_DIR, the WebAssembly build (build/web), adds its runs in node beside the tool's.
# BENCH_RUNS (default 41) and BENCH_WARMUP (default 5) set the timed and warm-up runs per case.
# Exits 1 when a target is missed.
set -euo pipefail

build=$(cd "${1:?usage: run_bench.sh BUILD_DIR ZLIB_TOOL}" && pwd)
zlib_tool=$(realpath "${2:?usage: run_bench.sh BUILD_DIR ZLIB_TOOL}")
web_dir=${3:-}
runs=${BENCH_RUNS:-41}
warmup=${BENCH_WARMUP:-5}
dictionary=/usr/share/dict/american-english
cases=$build/bench-cases
work=$build/bench-work
full_cases="full_one_per_line full_comma_lines full_four_six"
# Name, then command: the tool and its floor with libdeflate, then both with zlib. Both tools
# write bench.zip; the floors read the entries of the tool's package from floor/.
names=(zivavod floor zivavod_zlib floor_zlib)
commands=("$build/zivavod bench.cfg"
  "$build/bench/floor floor/bench.dat floor/manifest.json floor/bench.app floor.zip"
  "$zlib_tool bench.cfg"
  "$build/bench/floor_zlib floor/bench.dat floor/manifest.json floor/bench.app floor_zlib.zip")

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

# The package's size in bytes, then the compressed size of each entry (zipinfo's sixth column).
package_sizes() {  # ZIP
  echo "$(stat -c %s "$1") $(zipinfo -l "$1" | awk '$1 ~ /^-/ { printf "%s ", $6 }')"
}

echo "== Machine: $(nproc) cores, $(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo |
  head -1), load average $(cut -d' ' -f1-3 /proc/loadavg)"
echo "== Dictionary: $(dpkg-query -W -f='${Package} ${Version}' wamerican 2>/dev/null)," \
  "sha256 $(sha256sum "$dictionary" | cut -c1-16)"
echo "== Compressors: libdeflate $(dpkg-query -W -f='${Version}' libdeflate0 2>/dev/null)," \
  "zlib $(dpkg-query -W -f='${Version}' zlib1g 2>/dev/null) through minizip" \
  "$(dpkg-query -W -f='${Version}' libminizip1 2>/dev/null), both at level 9"
echo "== $runs timed runs after $warmup warm-up runs, the programs taking turns; wall time" \
  "(fork to exit), CPU time (user + system) and peak RSS are medians"
printf '%-18s %-12s %9s %15s %15s %8s %12s %8s\n' case program "wall ms" "q1-q3 ms" \
  "min-max ms" "CPU ms" instructions "RSS KiB"
summary=$work/summary.txt
sizes=$work/sizes.txt
: >"$summary"
: >"$sizes"
# Prints and keeps the ratios of program a to program b: wall, CPU, instructions, RSS.
ratios() {  # CASE A B
  local r
  r=$(awk -v tm="${ms[$2]}" -v fm="${ms[$3]}" -v tc="${cpu[$2]}" -v fc="${cpu[$3]}" \
    -v ti="${ir[$2]}" -v fi="${ir[$3]}" -v tr="${rss[$2]}" -v fr="${rss[$3]}" \
    'BEGIN { printf "%.3f %.3f %.3f %d", tm / fm, tc / fc, ti / fi, tr - fr }')
  echo "$1 $2/$3 $r" >>"$summary"
  read -r time_ratio cpu_ratio ir_ratio rss_delta <<<"$r"
  printf '%-18s %-25s wall %s, CPU %s, instructions %s, RSS %+d KiB\n' "$1" "$2/$3" \
    "$time_ratio" "$cpu_ratio" "$ir_ratio" "$rss_delta"
}
for name in typical $full_cases; do
  dir=$cases/$name
  # One run of each tool makes its package; the entries of the new one are what the floor
  # programs pack again (the same bytes either way).
  (cd "$dir" && "$zlib_tool" bench.cfg >/dev/null)
  echo "$name zivavod_zlib $(package_sizes "$dir/bench.zip")" >>"$sizes"
  (cd "$dir" && "$build/zivavod" bench.cfg >/dev/null)
  echo "$name zivavod $(package_sizes "$dir/bench.zip")" >>"$sizes"
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
    printf '%-18s %-12s %9.2f %7.2f-%-7.2f %7.2f-%-7.2f %8.2f %12s %8s\n' "$name" "$program" \
      "$median" "$q1" "$q3" "$low" "$high" "$cpu_ms" "${ir[$program]}" "$rss_kib"
  done
  ratios "$name" zivavod floor
  ratios "$name" zivavod_zlib floor_zlib
  ratios "$name" zivavod zivavod_zlib
  # The targets read the new tool's instructions from here too.
  echo "$name zivavod ${ir[zivavod]}" >>"$summary"
  echo "$name ${ms[zivavod]} ${cpu[zivavod]}" >>"$work/native_ms.txt"
done

web_status=0
if [ -n "$web_dir" ]; then
  echo
  echo "== WebAssembly in node beside the native tool: a run's wall time (native: fork to exit) and" \
    "CPU time, medians of $runs after $warmup warm-up runs; the module compiled once, each run a" \
    "fresh instance with the case's files copied in and read back (bench/web_bench.mjs); the" \
    "packages compared byte for byte with SOURCE_DATE_EPOCH set. Target: full-capacity runs at" \
    "most 2x the native wall time"
  printf '%-18s %10s %10s %17s %8s %8s %8s %7s %s\n' case "native ms" "wasm ms" "wasm q1-q3 ms" \
    "native" "wasm" "CPU" "wall" "same"
  printf '%-18s %10s %10s %17s %8s %8s %8s %7s %s\n' "" "" "" "" "CPU ms" "CPU ms" ratio ratio \
    package
  web_out=$work/web.txt
  web_cases=()
  for name in typical $full_cases; do web_cases+=("$cases/$name"); done
  node bench/web_bench.mjs "$web_dir" "$warmup" "$runs" "${web_cases[@]}" >"$web_out"
  while read -r name median q1 q3 _ _ wasm_cpu digest; do
    read -r _ native_ms native_cpu < <(grep "^$name " "$work/native_ms.txt")
    # The native tool's package with the same fixed date, to compare byte for byte.
    (cd "$cases/$name" && SOURCE_DATE_EPOCH=1700000000 TZ=UTC "$build/zivavod" bench.cfg >/dev/null)
    same=no
    [ "$(sha256sum <"$cases/$name/bench.zip" | cut -d' ' -f1)" != "$digest" ] || same=yes
    read -r ratio cpu_ratio < <(awk -v w="$median" -v n="$native_ms" -v wc="$wasm_cpu" \
      -v nc="$native_cpu" 'BEGIN { printf "%.2f %.2f\n", w / n, wc / nc }')
    verdict=""
    if [ "$name" != typical ]; then
      verdict=$(awk -v r="$ratio" 'BEGIN { print (r <= 2) ? "met" : "MISSED" }')
    fi
    printf '%-18s %10.2f %10.2f %8.2f-%-8.2f %8.2f %8.2f %8s %7s %-4s %s\n' "$name" "$native_ms" \
      "$median" "$q1" "$q3" "$native_cpu" "$wasm_cpu" "$cpu_ratio" "$ratio" "$same" "$verdict"
    if [ "$same" != yes ] || [ "$verdict" = MISSED ]; then
      web_status=1
    fi
  done <"$web_out"
fi

echo
echo "== Where the instructions go (callgrind, inclusive; start-up is all before main; deflate" \
  "is libdeflate_deflate_compress or zlib's deflate, part of package)"
printf '%-18s %-12s %11s %10s %11s %9s %10s %11s %11s\n' case program total start-up \
  "word lists" CRC-16 "rest image" package deflate
for name in typical $full_cases; do
  for program in "${names[@]}"; do
    profile=$work/$program.$name.callgrind
    total=$(inclusive "$profile" "PROGRAM TOTALS")
    main=$(inclusive "$profile" ":main \\[")
    case $program in
      *zlib) deflate=$(inclusive "$profile" ":deflate \\[") ;;
      *) deflate=$(inclusive "$profile" ":libdeflate_deflate_compress \\[") ;;
    esac
    if [ "${program%_zlib}" = floor ]; then
      printf '%-18s %-12s %11s %10s %11s %9s %10s %11s %11s\n' "$name" "$program" "$total" \
        "$((total - main))" - - - "$main" "$deflate"
      continue
    fi
    lists=$(inclusive "$profile" ":read_word_lists\\(")
    image=$(inclusive "$profile" ":build_app_image\\(")
    crc=$(inclusive "$profile" ":crc16_ccitt\\(")
    package=$(inclusive "$profile" ":write_dfu_package\\(")
    printf '%-18s %-12s %11s %10s %11s %9s %10s %11s %11s\n' "$name" "$program" "$total" \
      "$((total - main))" "$lists" "$crc" "$((image - crc))" "$package" "$deflate"
  done
done

echo
echo "== Package sizes in bytes: whole package, then the compressed .dat, manifest.json and .app"
printf '%-18s %-12s %9s %6s %9s %9s\n' case program package .dat manifest .app
while read -r name program total dat manifest app; do
  printf '%-18s %-12s %9s %6s %9s %9s\n' "$name" "$program" "$total" "$dat" "$manifest" "$app"
done <"$sizes"

echo
echo "== Micro-benchmarks (Google Benchmark, medians of 9 repetitions; word_list_phase opens," \
  "sizes, reads and closes a case's lists as a run does)"
micro_csv=$work/micro.csv
"$build/bench/micro_bench" "$cases" --benchmark_repetitions=9 \
  --benchmark_report_aggregates_only=true --benchmark_min_time=0.05 \
  --benchmark_out="$micro_csv" --benchmark_out_format=csv 2>/dev/null |
  grep -E '^(Benchmark|-|[a-z].*_median)' || true

echo
echo "== Targets: on every case instructions within 1.15 times the floor's and RSS within" \
  "1024 KiB of it; full-capacity cases at most 21 M instructions, wall time at most 0.6 times" \
  "the zlib tool's and word-list phase at 1 GB/s or more; typical at most 7.7 M instructions"
status=0
for name in typical $full_cases; do
  read -r _ _ _ _ ir_ratio rss_delta < <(grep "^$name zivavod/floor " "$summary")
  read -r _ _ versus_zlib _ _ _ < <(grep "^$name zivavod/zivavod_zlib " "$summary")
  read -r _ _ count < <(grep "^$name zivavod [0-9]" "$summary")
  if [ "$name" = typical ]; then
    limit=7700000 phase=1e9 wall_limit=1e9 detail=""
  else
    # The csv holds bytes_per_second in column 6 of the median row.
    phase=$(awk -F, -v row="\"word_list_phase/${name}_median\"" '$1 == row { print $6 }' \
      "$micro_csv")
    limit=21000000 wall_limit=0.6
    detail=", word lists $(awk -v p="$phase" 'BEGIN { printf "%.2f", p / 1e9 }') GB/s"
  fi
  verdict=$(awk -v i="$ir_ratio" -v r="$rss_delta" -v c="$count" -v l="$limit" \
    -v w="$versus_zlib" -v wl="$wall_limit" -v p="$phase" 'BEGIN {
      print (i <= 1.15 && r <= 1024 && c <= l && w <= wl && p >= 1e9) ? "met" : "MISSED" }')
  printf '%-18s %s instructions (%s of floor), RSS %+d KiB, wall %s of the zlib tool%s: %s\n' \
    "$name" "$count" "$ir_ratio" "$rss_delta" "$versus_zlib" "$detail" "$verdict"
  if [ "$verdict" != met ]; then
    status=1
  fi
done
[ "$web_status" = 0 ] || status=1
exit $status
