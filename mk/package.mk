# `make package`: the Debian package, from an optimised build without tests (the release preset).
# Needs dpkg-shlibdeps (dpkg-dev) and file(1) on top of the build packages, to work out the
# package's dependencies. Install it with `dpkg -i build/release/zivavod_*.deb`.

PACKAGE_PRESET := release
PACKAGE_TOOLS := dpkg-dev file
# Every date in the package (file times, the changelog) is this one, so two builds of one commit
# give the same .deb byte for byte: the commit's date unless the caller gives one.
SOURCE_DATE_EPOCH ?= $(shell git log -1 --format=%ct 2>/dev/null)

.PHONY: package

package:
	@$(MAKE) --no-print-directory deps PACKAGES="$(PACKAGES) $(PACKAGE_TOOLS)"
	cmake --preset $(PACKAGE_PRESET)
	cmake --build --preset $(PACKAGE_PRESET) -j $(JOBS)
	@[ -n "$(SOURCE_DATE_EPOCH)" ] || { echo "SOURCE_DATE_EPOCH: not set and no git commit"; exit 1; }
	cd build/$(PACKAGE_PRESET) && SOURCE_DATE_EPOCH=$(SOURCE_DATE_EPOCH) cpack -G DEB
	@ls build/$(PACKAGE_PRESET)/zivavod_*.deb
