# Cross build for WebAssembly with Debian's emscripten, on top of its own toolchain file.
#
#   cmake -S . -B build/web/cross --toolchain cmake/toolchains/emscripten.cmake \
#         -DWEB_DEPS_PREFIX=<prefix holding lib/libz.a, lib/pkgconfig/{minizip,libdeflate}.pc> \
#         -DZIVAVOD_BUILD_TESTS=OFF
#
# zlib, minizip and libdeflate are built for the target by scripts/deps/build_libs.sh under
# WEB_DEPS_PREFIX; CMakeLists.txt's EMSCRIPTEN block links the two programs as JavaScript modules.
include(/usr/share/emscripten/cmake/Modules/Platform/Emscripten.cmake)

set(WEB_DEPS_PREFIX "" CACHE PATH "Prefix of the libraries built for WebAssembly")
# try_compile projects read this file again; hand them the prefix too.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES WEB_DEPS_PREFIX)
if(WEB_DEPS_PREFIX)
  list(APPEND CMAKE_FIND_ROOT_PATH ${WEB_DEPS_PREFIX})
  # pkg-config must see the target's .pc files only, never the build machine's.
  set(ENV{PKG_CONFIG_LIBDIR} "${WEB_DEPS_PREFIX}/lib/pkgconfig")
  set(ENV{PKG_CONFIG_PATH} "")
  set(ENV{PKG_CONFIG_SYSROOT_DIR} "")
  set(ZLIB_ROOT ${WEB_DEPS_PREFIX})
endif()
