#!/usr/bin/env bash
# Fetches and unpacks the source of a Debian package into DEST (a folder of the build tree) and
# prints the folder it unpacked to. It takes whatever version the Debian archive's main suite
# serves, with no version pin: the security archive's sources are not always on the mirror, and
# the installed binary package's version does not matter here.
#
# apt works from a private sources list, package lists and cache under DEST/.apt, so nothing
# under /etc/apt or /var/lib/apt changes and no root is needed. The mirror is the one this
# machine's apt uses for the Debian archive itself (not its security archive); the suite is this
# release's code name. ZIVAVOD_DEBIAN_MIRROR and ZIVAVOD_DEBIAN_SUITE override them. Needs apt and
# dpkg-source (dpkg-dev).
#
# Usage: fetch_debian_source.sh PACKAGE DEST
set -euo pipefail

package=${1:?usage: fetch_debian_source.sh PACKAGE DEST}
dest=$(realpath -m "${2:?usage: fetch_debian_source.sh PACKAGE DEST}")

# The first URI of a "deb" entry of the machine's apt configuration that is not a security
# archive: deb822 stanzas of sources.list.d/*.sources, or one-line entries.
debian_mirror() {
  local file
  for file in /etc/apt/sources.list.d/*.sources; do
    [ -f "$file" ] || continue
    awk 'BEGIN { RS = ""; FS = "\n" }
         {
           types = ""; uris = ""
           for (i = 1; i <= NF; i++) {
             if ($i ~ /^Types:/) types = $i
             if ($i ~ /^URIs:/) uris = $i
           }
           if (types !~ /[: ]deb( |$)/ || uris == "" || uris ~ /-security/) next
           split(uris, word, " ")
           print word[2]
           exit
         }' "$file"
  done
  for file in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$file" ] || continue
    # deb [options] URI SUITE COMPONENTS...
    sed -n '/-security/d; s/^deb[[:space:]]\{1,\}\(\[[^]]*\][[:space:]]\{1,\}\)\{0,1\}\([^[:space:]]\{1,\}\).*/\2/p' \
      "$file"
  done
}

mirror=${ZIVAVOD_DEBIAN_MIRROR:-$(debian_mirror | head -n 1)}
if [ -z "$mirror" ]; then
  echo "Cannot tell which Debian mirror this machine uses; set ZIVAVOD_DEBIAN_MIRROR." >&2
  exit 1
fi
suite=${ZIVAVOD_DEBIAN_SUITE:-$(. /etc/os-release && echo "${VERSION_CODENAME:-}")}
suite=${suite:-bookworm}
keyring=/usr/share/keyrings/debian-archive-keyring.gpg
if [ ! -f "$keyring" ]; then
  echo "Debian's archive keys are missing ($keyring): install debian-archive-keyring." >&2
  exit 1
fi

state=$dest/.apt
rm -rf "$state"
mkdir -p "$state/lists/partial" "$state/cache/archives/partial"
echo "deb-src [signed-by=$keyring] $mirror $suite main" >"$state/sources.list"
apt_options=(
  -o "Dir::Etc::SourceList=$state/sources.list" -o Dir::Etc::SourceParts=-
  -o "Dir::State::Lists=$state/lists" -o "Dir::Cache=$state/cache"
  -o "Dir::Cache::pkgcache=" -o "Dir::Cache::srcpkgcache="
)
# As root apt would hand the downloads to its _apt user, who cannot write into the build tree;
# the files are checked against the signed index either way.
if [ "$(id -u)" -eq 0 ]; then
  apt_options+=(-o APT::Sandbox::User=root)
fi

echo "fetching Debian's $package sources from $mirror $suite main" >&2
apt-get "${apt_options[@]}" -qq update >&2
before=$(find "$dest" -mindepth 1 -maxdepth 1 -type d ! -name .apt | sort)
(cd "$dest" && apt-get "${apt_options[@]}" -qq source "$package") >&2
after=$(find "$dest" -mindepth 1 -maxdepth 1 -type d ! -name .apt | sort)
unpacked=$(comm -13 <(echo "$before") <(echo "$after"))
if [ "$(echo "$unpacked" | grep -c .)" -ne 1 ]; then
  echo "apt-get source $package did not unpack one folder in $dest: ${unpacked:-none}" >&2
  exit 1
fi
echo "$unpacked"
