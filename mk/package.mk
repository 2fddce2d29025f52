# `make package`: the Debian package, from an optimised build without tests (the release preset).
# Needs dpkg-shlibdeps (dpkg-dev) and file(1) on top of the build packages, to work out the
# package's dependencies. Install it with `dpkg -i build/release/zivavod_*.deb`.

PACKAGE_PRESET := release
PACKAGE_TOOLS := dpkg-dev file

.PHONY: package

package:
	@$(MAKE) --no-print-directory deps PACKAGES="$(PACKAGES) $(PACKAGE_TOOLS)"
	cmake --preset $(PACKAGE_PRESET)
	cmake --build --preset $(PACKAGE_PRESET) -j $(JOBS)
	cd build/$(PACKAGE_PRESET) && cpack -G DEB
	@ls build/$(PACKAGE_PRESET)/zivavod_*.deb
