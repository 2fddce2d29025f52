#!/usr/bin/env bash
# End-to-end checks of the Windows build against the Linux build. Each case runs both programs on
# the same inputs in twin folders and checks either that the runs agree, or the Windows result
# where the platform differs:
# - agreeing runs have the same exit status, the same standard output and error (the Windows
#   runtime writes them in text mode, so every line must end CR LF there and is compared as LF),
#   and the same package, byte for byte apart from the entries' DOS date and time, with every
#   entry also extracted and compared;
# - Windows opens the configuration and word list files in text mode (CR LF arrives as LF, a byte
#   0x1A ends the file): its run must equal the Linux run on the input so translated, and differ
#   from the Linux run on the raw input;
# - the existence test before an old package is removed, the start-up's wildcard expansion of the
#   argument, argv[0], and what Windows refuses in file names.
#
# Usage: windows_test.sh LINUX_PROGRAM WINDOWS_LAUNCHER FIRMWARE_BIN EXAMPLES_DIR
# WINDOWS_LAUNCHER runs zivavod.exe under wine with its arguments (scripts/windows/zivavod_wine.sh);
# with ZIVAVOD_EXE=cmd it starts wine's command interpreter instead. The work folder is kept when
# a check fails.
set -uo pipefail

if [ $# -ne 4 ]; then
  echo "usage: $0 LINUX_PROGRAM WINDOWS_LAUNCHER FIRMWARE_BIN EXAMPLES_DIR" >&2
  exit 2
fi
linux=$(realpath "$1")
windows=$(realpath "$2")
firmware=$(realpath "$3")
examples=$(realpath "$4")
work=$(mktemp -d "${TMPDIR:-/tmp}/zivavod-windows-XXXXXX")
passed=0
failed=0

pass() {
  passed=$((passed + 1))
  echo "ok - $1"
}
fail() {
  failed=$((failed + 1))
  echo "not ok - $1"
}
# check NAME COMMAND...: passes when the command succeeds.
check() {
  local name=$1
  shift
  if "$@"; then pass "$name"; else fail "$name"; fi
}

# Twin folders for a case, each with the example firmware as fw.bin.
new_case() {
  case_dir=$work/$1
  mkdir -p "$case_dir/linux" "$case_dir/windows"
  cp "$firmware" "$case_dir/linux/fw.bin"
  cp "$firmware" "$case_dir/windows/fw.bin"
}
# put NAME CONTENT [WINDOWS_CONTENT]: writes a file (printf %b escapes) into both folders.
put() {
  printf '%b' "$2" >"$case_dir/linux/$1"
  printf '%b' "${3-$2}" >"$case_dir/windows/$1"
}
# run_in SIDE PROGRAM ARGS...: runs in the side's folder; keeps out, err and status beside it.
run_in() {
  local side=$1 program=$2
  shift 2
  (cd "$case_dir/$side" && "$program" "$@" >"../$side.out" 2>"../$side.err"
   echo $? >"../$side.status")
}
run_both() {
  run_in linux "$linux" "$@"
  run_in windows "$windows" "$@"
}
status() { cat "$case_dir/$1.status"; }

# Every line of the Windows run's output and error ends CR LF, and read as LF they equal Linux's.
same_console() {
  local stream lines crlf
  for stream in out err; do
    lines=$(grep -c '' "$case_dir/windows.$stream")
    crlf=$(grep -c $'\r$' "$case_dir/windows.$stream")
    [ "$lines" -eq "$crlf" ] || return 1
    [ ! -s "$case_dir/windows.$stream" ] || [ -z "$(tail -c 1 "$case_dir/windows.$stream")" ] ||
      return 1
    sed 's/\r$//' "$case_dir/windows.$stream" | cmp -s - "$case_dir/linux.$stream" || return 1
  done
  [ "$(status linux)" = "$(status windows)" ]
}

# Little-endian fields of a file.
u16() { od -An -tu1 -j "$2" -N 2 "$1" | awk '{ print $1 + 256 * $2 }'; }
u32() { od -An -tu1 -j "$2" -N 4 "$1" | awk '{ print $1 + 256 * ($2 + 256 * ($3 + 256 * $4)) }'; }
zero4() { printf '\0\0\0\0' | dd of="$1" bs=1 seek="$2" count=4 conv=notrunc status=none; }

# Copies a zip with the DOS time and date of every local and central header set to zero.
# The archives are written without an archive comment, so the end record is the last 22 bytes.
mask_zip_times() {
  local zip=$1 copy=$2 size eocd count at i name_len extra_len comment_len local_at
  cp "$zip" "$copy"
  size=$(stat -c %s "$zip")
  eocd=$((size - 22))
  [ "$(u32 "$zip" "$eocd")" -eq $((0x06054b50)) ] || return 1
  count=$(u16 "$zip" $((eocd + 10)))
  at=$(u32 "$zip" $((eocd + 16)))
  for ((i = 0; i < count; i++)); do
    [ "$(u32 "$zip" "$at")" -eq $((0x02014b50)) ] || return 1
    zero4 "$copy" $((at + 12))
    name_len=$(u16 "$zip" $((at + 28)))
    extra_len=$(u16 "$zip" $((at + 30)))
    comment_len=$(u16 "$zip" $((at + 32)))
    local_at=$(u32 "$zip" $((at + 42)))
    [ "$(u32 "$zip" "$local_at")" -eq $((0x04034b50)) ] || return 1
    zero4 "$copy" $((local_at + 10))
    at=$((at + 46 + name_len + extra_len + comment_len))
  done
}

# Both runs wrote the package NAME alike: same bytes apart from the times, same entries.
same_zip() {
  local name=$1 entry
  [ -f "$case_dir/linux/$name" ] && [ -f "$case_dir/windows/$name" ] || return 1
  mask_zip_times "$case_dir/linux/$name" "$case_dir/linux.zip" || return 1
  mask_zip_times "$case_dir/windows/$name" "$case_dir/windows.zip" || return 1
  cmp -s "$case_dir/linux.zip" "$case_dir/windows.zip" || return 1
  while IFS= read -r entry; do
    cmp -s <(unzip -p "$case_dir/linux/$name" "$entry") \
      <(unzip -p "$case_dir/windows/$name" "$entry") || return 1
  done < <(zipinfo -1 "$case_dir/linux/$name")
  unzip -tq "$case_dir/windows/$name" >/dev/null
}

# A case whose runs must agree; ZIP names the package both must write, if any.
agree() {
  local name=$1 zip=$2
  shift 2
  run_both "$@"
  check "$name: same status, output and error" same_console
  if [ -n "$zip" ]; then
    check "$name: same package apart from times" same_zip "$zip"
  fi
}

# --- Runs that agree -------------------------------------------------------------------------

new_case example
cp "$examples"/example.cfg "$examples"/*.txt "$case_dir/linux/"
cp "$examples"/example.cfg "$examples"/*.txt "$case_dir/windows/"
cp "$firmware" "$case_dir/linux/firmware.bin"
cp "$firmware" "$case_dir/windows/firmware.bin"
agree "example" "$(sed -n '2{s/\..*//;p}' "$examples/example.cfg").zip" example.cfg

new_case crlf
put run.cfg 'fw.bin\r\npkg\r\nWords\r\nwords.txt\r\n'
put words.txt '// garden words\r\nLamp, bird. garden\r\nzebra giraffe\r\nA tab\there.\r\n'
agree "CR LF lines of ordinary length" pkg.zip run.cfg

new_case long_line
# The first 254 characters are discarded, the other 46 become line 3; the package name is empty.
put run.cfg "fw.bin\\n$(printf 'p%.0s' {1..300})\\nwords.txt\\n"
put words.txt 'lamp bird\n'
agree "a 300-character configuration line" .zip run.cfg

new_case old_package
put run.cfg 'fw.bin\npkg\nWORDS\n'
put pkg.zip 'old package'
agree "an old package is found (_access) and replaced" pkg.zip run.cfg
check "an old package is announced" grep -q '^Deleting existing "pkg.zip" file.' "$case_dir/linux.out"

new_case folder_in_the_way
put run.cfg 'fw.bin\npkg\nWORDS\n'
mkdir -p "$case_dir/linux/pkg.zip/inner" "$case_dir/windows/pkg.zip/inner"
agree "a folder with content at the package name" "" run.cfg
check "a folder in the way fails the archive" grep -q '^mz_zip_writer_init_file failed!' \
  "$case_dir/linux.out"

new_case failures
put run.cfg ''
agree "an empty configuration reaches the bin file" "" run.cfg
agree "a missing configuration file" "" missing.cfg
# With a folder back, both make the archive (Windows in back) and refuse the entry name.
put bad.cfg 'fw.bin\nback\\slash\nWORDS\n'
mkdir "$case_dir/linux/back" "$case_dir/windows/back"
agree "a backslash in the package name" "" bad.cfg
check "a backslash refuses the entry name" grep -q '^mz_zip add .dat failed failed!$' \
  "$case_dir/linux.out"

# --- Text mode ---------------------------------------------------------------------------------

# text_mode_case NAME CONFIG WORDS: the Windows run on the raw files must equal the Linux run on
# the files as Windows text mode delivers them (CR LF as LF, nothing from the first 0x1A on).
# The Linux run on the raw files is kept in raw/ for the checks that follow.
text_mode_case() {
  local name=$1 file
  new_case "$name"
  put run.cfg "$2"
  put words.txt "$3"
  run_in linux "$linux" run.cfg
  mkdir -p "$case_dir/raw"
  mv "$case_dir/linux.out" "$case_dir/linux.err" "$case_dir/linux.status" "$case_dir/raw/"
  rm -f "$case_dir/linux/pkg.zip"
  for file in run.cfg words.txt; do
    perl -0777 -pi -e 's/\x1a.*//s; s/\r\n/\n/g' "$case_dir/linux/$file"
  done
  run_in linux "$linux" run.cfg
  run_in windows "$windows" run.cfg
  check "$name: Windows reads the files as text mode delivers them" same_console
  if [ -f "$case_dir/linux/pkg.zip" ]; then
    check "$name: same package as from the translated files" same_zip pkg.zip
  fi
}

long_name=$(printf 'L%.0s' {1..253})
text_mode_case crlf_253_config "fw.bin\\r\\npkg\\r\\n$long_name\\r\\nwords.txt\\r\\n" 'lamp\r\n'
check "a 253-character line ended by CR LF: no warning on Windows" \
  bash -c "! grep -q WARNING:.Config '$case_dir/windows.out'"
check "a 253-character line ended by CR LF: the LF is line 4 on Linux" \
  grep -q '^WARNING: Config line 4 discarded.$' "$case_dir/raw/linux.out"

long_words="$(printf 'lamp %.0s' {1..50})abc"
text_mode_case crlf_253_words 'fw.bin\npkg\nWORDS\nwords.txt\n' "$long_words\\r\\nbird\\r\\n"
check "a 253-byte word list line ended by CR LF counts once on Windows" \
  grep -q $'^Total lines processed = 2\r$' "$case_dir/windows.out"
check "with its 51 words" grep -q $'^Total words = 51\r$' "$case_dir/windows.out"

text_mode_case eof_byte 'fw.bin\npkg\nWORDS\nwords.txt\n\x1a\nnothing.txt\n' \
  'lamp bird\n\x1awolf fish\n'
check "a byte 0x1A ends the word list on Windows" \
  grep -q $'^Processed "words.txt", 2 total words were processed from text file.\r$' \
  "$case_dir/windows.out"
check "a byte 0x1A ends the configuration on Windows" \
  grep -q $'^Created "pkg.zip" OTA DFU package.\r$' "$case_dir/windows.out"
check "on Linux 0x1A is an ordinary byte: line 5 names a file of it" \
  grep -q $'^ERROR: Can\'t open "\x1a" for processing.$' "$case_dir/raw/linux.out"

# --- Start-up, existence test and file names ---------------------------------------------------

new_case wildcards
put a.cfg 'fw.bin\npkg\nWORDS\n'
put b.cfg 'fw.bin\npkg\nWORDS\n'
run_both '*.cfg'
check "a pattern matching two files fails the argument count on Windows" \
  grep -q $'^ERROR: Wrong number of arguments. Usage ".*zivavod.exe config_file"\r$' \
  "$case_dir/windows.out"
check "the same pattern is one argument on Linux" \
  grep -q '^ERROR: Can.t open config file: "\*.cfg".$' "$case_dir/linux.out"
agree "a pattern matching nothing passes unchanged" "" 'nomatch*.cfg'
check "and names itself" grep -q '^ERROR: Can.t open config file: "nomatch\*.cfg".$' \
  "$case_dir/linux.out"
run_both 'a?cfg'
check "a pattern matching one file becomes its name on Windows" \
  grep -q $'^Created "pkg.zip" OTA DFU package.\r$' "$case_dir/windows.out"
check "and stays a pattern on Linux" grep -q '^ERROR: Can.t open config file: "a?cfg".$' \
  "$case_dir/linux.out"

# Started by the command interpreter as zv, the program names itself so.
new_case program_name
cp "${ZIVAVOD_EXE:?ZIVAVOD_EXE must name zivavod.exe}" "$case_dir/windows/zv.exe"
run_in windows env ZIVAVOD_EXE=cmd "$windows" /c zv
check "argv[0] is the first word of the Windows command line" \
  cmp -s "$case_dir/windows.out" \
  <(printf 'zivavod 1.0.0\r\nERROR: Wrong number of arguments. Usage "zv config_file"\r\n')

new_case empty_folder_in_the_way
put run.cfg 'fw.bin\npkg\nWORDS\n'
mkdir "$case_dir/linux/pkg.zip" "$case_dir/windows/pkg.zip"
run_both run.cfg
check "an empty folder at the package name is announced on Windows" \
  grep -q $'^Deleting existing "pkg.zip" file.\r$' "$case_dir/windows.out"
check "remove leaves it on Windows, so the archive fails" \
  grep -q $'^mz_zip_writer_init_file failed!\r$' "$case_dir/windows.out"
check "remove takes it on Linux, so the archive is made" \
  grep -q '^Created "pkg.zip" OTA DFU package.$' "$case_dir/linux.out"

# The manifest's UTF-8 code page: names beyond ASCII open and are written as the file spells them.
new_case utf8_names
put run.cfg 'fw.bin\nMüller\nWORDS\nwörter.txt\n'
put wörter.txt 'lamp bird\n'
agree "UTF-8 names in the configuration file" Müller.zip run.cfg

new_case quote_in_name
put run.cfg 'fw.bin\nsay"hi\nWORDS\n'
run_both run.cfg
check "Windows refuses a double quote in the package's file name" \
  grep -q $'^mz_zip_writer_init_file failed!\r$' "$case_dir/windows.out"
check "with status 1" [ "$(status windows)" = 1 ]
check "Linux writes it" [ -f "$case_dir/linux/say\"hi.zip" ]

echo "$passed passed, $failed failed"
if [ "$failed" -ne 0 ]; then
  echo "kept $work"
  exit 1
fi
rm -rf "$work"
