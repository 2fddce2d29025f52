#!/usr/bin/env bash
# Runs the program on an exFAT file system through FUSE, as people carry firmware on SD cards and
# USB sticks. There two spellings of one name lead to one file, and FUSE gives each spelling a
# number of its own: a word list, a firmware or a configuration named like the package in another
# case must be refused and kept byte for byte, checked after a remount, while an exact-case name,
# a first package and a replaced one work as anywhere else.
# Arguments: the program, the example firmware, a scratch folder. Needs root, /dev/fuse and a loop
# device; elsewhere it is skipped (status 77), but never in CI, where it fails and says why.
set -euo pipefail
export LC_ALL=C
zivavod=$1 firmware=$2 work=$3

missing=
[ "$(id -u)" -eq 0 ] || missing="root"
[ -c /dev/fuse ] || missing="$missing /dev/fuse"
command -v mount.exfat-fuse >/dev/null && command -v mkfs.exfat >/dev/null ||
  missing="$missing exfat-fuse/exfatprogs (make deps)"
if [ -n "$missing" ]; then
  if [ "${CI:-}" = true ]; then
    echo "FAILED: the exFAT test needs $missing, and CI does not skip it" >&2
    exit 1
  fi
  echo "skipped: the exFAT test needs $missing"
  exit 77
fi

rm -rf "$work"
mkdir -p "$work/mnt"
cd "$work"
truncate -s 16M exfat.img
mkfs.exfat exfat.img >/dev/null
# Run as root, exfat-fuse takes only a block device.
device=$(losetup --find --show exfat.img)
mount_it() { mount.exfat-fuse "$device" mnt >/dev/null; }
unmount_it() { umount mnt; }
trap 'umount mnt 2>/dev/null; losetup -d "$device"' EXIT
mount_it

# The inputs, each also kept outside the file system to compare with afterwards.
mkdir kept
cp "$firmware" kept/fw.bin
cp "$firmware" kept/FIRM.ZIP
printf 'lamp sofa table chair carpet window\nGarden hammer ladder mirror\n' > kept/WORDS.ZIP
printf 'lamp bird\n' > kept/same.zip
printf 'fw.bin\nsetup\nTEST\n' > kept/SETUP.ZIP
printf 'fw.bin\nwords\nTEST\nWORDS.ZIP\n' > kept/words.cfg
printf 'FIRM.ZIP\nfirm\nTEST\n' > kept/firm.cfg
printf 'fw.bin\nsame\nTEST\nsame.zip\n' > kept/same.cfg
printf 'fw.bin\npkg\nTEST\nWORDS.ZIP\n' > kept/pkg.cfg
cp kept/* mnt/

cd mnt
for config in words.cfg firm.cfg SETUP.ZIP same.cfg pkg.cfg pkg.cfg; do
  status=0
  said=$("$zivavod" "$config") || status=$?
  printf '%s %s: %s\n' "$config" "$status" "$(printf '%s\n' "$said" | tail -n 2 | paste -sd '|')"
done > ../said
cd ..
unmount_it
mount_it

cat > expected <<'OUT'
words.cfg 1: Creating final zip output from temp data.|ERROR: Package "words.zip" is one of the input files.
firm.cfg 1: Creating final zip output from temp data.|ERROR: Package "firm.zip" is one of the input files.
SETUP.ZIP 1: Creating final zip output from temp data.|ERROR: Package "setup.zip" is one of the input files.
same.cfg 1: Creating final zip output from temp data.|ERROR: Package "same.zip" is one of the input files.
pkg.cfg 0: Creating final zip output from temp data.|Created "pkg.zip" OTA DFU package.
pkg.cfg 0: Deleting existing "pkg.zip" file.|Created "pkg.zip" OTA DFU package.
OUT
status=0
diff -u expected said || status=1
for file in kept/*; do
  cmp "$file" "mnt/${file#kept/}" || { echo "FAILED: ${file#kept/} changed" >&2; status=1; }
done
listing=$(find mnt -mindepth 1 -maxdepth 1 -printf '%f\n' | sort | paste -sd ' ')
[ "$listing" = "FIRM.ZIP SETUP.ZIP WORDS.ZIP firm.cfg fw.bin pkg.cfg pkg.zip same.cfg same.zip words.cfg" ] ||
  { echo "FAILED: after a remount the folder holds $listing" >&2; status=1; }
unzip -tq mnt/pkg.zip >/dev/null || { echo "FAILED: pkg.zip is broken" >&2; status=1; }
[ $status -ne 0 ] || echo "exFAT: every input refused and kept, a package written and replaced"
exit $status
