# Cross build for 64-bit Windows with Debian's mingw-w64 toolchain (posix thread model).
#
#   cmake -S . -B build/windows/cross --toolchain cmake/toolchains/mingw-w64-x86_64.cmake \
#         -DMINGW_DEPS_PREFIX=<prefix holding lib/pkgconfig/{minizip,libdeflate}.pc> \
#         -DZIVAVOD_BUILD_TESTS=OFF
#
# zlib comes from Debian's libz-mingw-w64-dev (in the toolchain's own tree); libraries built for
# the target elsewhere (minizip, libdeflate) live under MINGW_DEPS_PREFIX. The program is linked
# fully static, so zivavod.exe needs no DLL beyond the ones every Windows has.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${MINGW_TRIPLE}-windres)

set(MINGW_DEPS_PREFIX "" CACHE PATH "Prefix of libraries built for the target outside the toolchain")
# try_compile projects read this file again; hand them the prefix too.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES MINGW_DEPS_PREFIX)

set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_TRIPLE})
if(MINGW_DEPS_PREFIX)
  list(APPEND CMAKE_FIND_ROOT_PATH ${MINGW_DEPS_PREFIX})
  # pkg-config must see the target's .pc files only, never the build machine's.
  set(ENV{PKG_CONFIG_LIBDIR} "${MINGW_DEPS_PREFIX}/lib/pkgconfig:/usr/${MINGW_TRIPLE}/lib/pkgconfig")
  set(ENV{PKG_CONFIG_PATH} "")
endif()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# libz.a rather than the import library of zlib1.dll.
set(ZLIB_USE_STATIC_LIBS ON)
# libgcc, libstdc++ and winpthread go into the program itself.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
