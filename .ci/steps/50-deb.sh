#!/usr/bin/env bash
# Builds the Debian package and checks it with lintian (no error, no warning that is not fixed or
# overridden with its reason, no hardening tag at all), checks that packing the same build again
# later gives the same bytes (every date is SOURCE_DATE_EPOCH, the commit's), installs it with dpkg as a user would, runs the installed zivavod
# from PATH on the installed example, checks its package with zivavod-inspect and finds both
# manual pages, then removes the package again.
set -euo pipefail
cd "$(dirname "$0")/../.."
export DEBIAN_FRONTEND=noninteractive

make package
debs=(build/release/zivavod_*.deb)
if [ "${#debs[@]}" -ne 1 ]; then
  echo "expected one package, found: ${debs[*]}"
  exit 1
fi

# man-db answers `man -w`; a minimal machine may have neither it nor lintian.
missing=()
command -v man >/dev/null || missing+=(man-db)
command -v lintian >/dev/null || missing+=(lintian)
if [ "${#missing[@]}" -gt 0 ]; then
  apt-get update
  apt-get install -y --no-install-recommends "${missing[@]}"
fi

# Warnings fail too; what remains is overridden in the package, each with its reason. The
# hardening tags include information-level ones (hardening-no-fortify-functions): none may show.
lintian --fail-on error,warning --display-info --show-overrides "${debs[0]}" | tee build/lintian.txt
if grep -q 'hardening-' build/lintian.txt; then
  echo "lintian reports missing hardening"
  exit 1
fi

# The same commit packed again a second later: byte for byte the same package.
first=$(sha256sum <"${debs[0]}")
sleep 1
make --no-print-directory package >/dev/null
[ "$(sha256sum <"${debs[0]}")" = "$first" ] || { echo "a second packing differs"; exit 1; }

work=$(mktemp -d)
cleanup() {
  if dpkg-query -W -f='${Status}' zivavod 2>/dev/null | grep -q 'install ok'; then
    dpkg -r zivavod >/dev/null
  fi
  rm -rf "$work"
}
trap cleanup EXIT

if ! dpkg -i "${debs[0]}"; then
  # Missing dependencies leave the package unconfigured; apt brings them and finishes the job.
  apt-get update
  apt-get install -y -f --no-install-recommends
fi
hash -r
[ "$(command -v zivavod)" = /usr/bin/zivavod ] || { echo "zivavod is not /usr/bin/zivavod"; exit 1; }

# The README's way for an installed copy: the example and its firmware stand-in from the package.
cp /usr/share/doc/zivavod/examples/* "$work"/
[ -f /usr/share/doc/zivavod/copyright ] || { echo "no copyright file"; exit 1; }
status=0
(cd "$work" && zivavod example.cfg >out.txt 2>err.txt) || status=$?
cat "$work/out.txt" "$work/err.txt"
if [ "$status" -ne 0 ]; then
  echo "installed zivavod exited with status $status"
  exit 1
fi
[ "$(head -n 1 "$work/out.txt")" = "zivavod $(dpkg-deb -f "${debs[0]}" Version)" ] ||
  { echo "wrong banner"; exit 1; }
[ "$(tail -n 1 "$work/out.txt")" = 'Created "example_package.zip" OTA DFU package.' ] ||
  { echo "no package line"; exit 1; }
[ ! -s "$work/err.txt" ] || { echo "unexpected standard error output"; exit 1; }
(cd "$work" && unzip -t example_package.zip)
(cd "$work" && zivavod-inspect example_package.zip) || { echo "zivavod-inspect: not sound"; exit 1; }

for program in zivavod zivavod-inspect; do
  page=$(man -w "$program")
  echo "manual page: $page"
  [ "$page" = "/usr/share/man/man1/$program.1.gz" ] || { echo "man -w found $page"; exit 1; }
  warnings=$(MANWIDTH=80 man --warnings "$program" 2>&1 >/dev/null)
  [ -z "$warnings" ] || { echo "man $program warns: $warnings"; exit 1; }
done
echo "deb: installed, ran the example and inspected its package, found the manual pages"
