# Windows: zivavod.exe cross-compiled with Debian's mingw-w64 toolchain (x86_64) and tested under
# wine against the Linux build. Everything lands in build/windows.
#   make windows        installs what is missing, builds zivavod.exe, runs the suite under wine
#   make windows-build  installs what is missing and builds build/windows/cross/zivavod.exe only
# The mingw-w64 compiler package is the x86_64 posix-threads one, not the whole mingw-w64 set;
# dpkg-dev and the archive keys let apt-get fetch and check the sources of zlib (for its minizip),
# libdeflate and nlohmann-json, which Debian has no mingw-w64 package of
# (scripts/deps/, no root needed).

WINDOWS_BUILD_PACKAGES := cmake make pkg-config dpkg-dev debian-archive-keyring \
  g++-mingw-w64-x86-64-posix libz-mingw-w64-dev binutils-mingw-w64-x86-64
WINDOWS_PACKAGES := $(sort $(PACKAGES) $(WINDOWS_BUILD_PACKAGES) wine wine64 perl)

.PHONY: windows windows-build

windows-build:
	@$(MAKE) --no-print-directory deps PACKAGES="$(WINDOWS_BUILD_PACKAGES)"
	scripts/windows/build.sh

windows:
	@$(MAKE) --no-print-directory deps PACKAGES="$(WINDOWS_PACKAGES)"
	scripts/windows/build.sh
	scripts/windows/test.sh
