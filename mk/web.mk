# Web: zivavod and zivavod-inspect built to WebAssembly with Debian's emscripten, a static page
# that makes and checks packages in the browser, and its tests. Everything lands in build/web.
#   make web        installs what is missing and builds build/web (web/build.sh)
#   make web-test   also runs the end-to-end cases through the node runners and the page in
#                   headless chromium and firefox-esr against the native build (web/test.sh)
# zlib, minizip and libdeflate come from Debian's source packages, built by scripts/deps/ as for
# the Windows build (dpkg-dev and the archive keys). node runs emscripten's tools and the tests;
# Debian's nodejs comes without npm, which is a package of its own there, while a node from
# elsewhere may bring its own npm: npm is asked for only when no npm is on the PATH.

WEB_BUILD_PACKAGES := cmake make pkg-config dpkg-dev debian-archive-keyring emscripten nodejs
WEB_TEST_PACKAGES := $(sort $(PACKAGES) $(WEB_BUILD_PACKAGES) chromium firefox-esr ca-certificates)

.PHONY: web web-test

web:
	@$(MAKE) --no-print-directory deps PACKAGES="$(WEB_BUILD_PACKAGES)"
	web/build.sh

web-test:
	@$(MAKE) --no-print-directory deps \
	  PACKAGES="$(WEB_TEST_PACKAGES) $$(command -v npm >/dev/null || echo npm)"
	web/build.sh
	PRESET=$(PRESET) web/test.sh
