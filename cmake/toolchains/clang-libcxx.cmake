# clang with LLVM's libc++ and libc++abi, the C++ library of the macOS and FreeBSD toolchains:
#
#   cmake -S . -B build/libcxx --toolchain cmake/toolchains/clang-libcxx.cmake \
#         -DZIVAVOD_GTEST_FROM_SOURCE=ON
#
# Debian's libgtest is built against libstdc++, so the tests need GoogleTest built from source
# (cmake/gtest_from_source.cmake). zlib, minizip and libdeflate are C libraries and serve
# either library.
set(CMAKE_C_COMPILER clang)
set(CMAKE_CXX_COMPILER clang++)
# DWARF 4: Debian 12's valgrind cannot read the DWARF 5 that clang 14 writes by default.
set(CMAKE_C_FLAGS_INIT "-gdwarf-4")
set(CMAKE_CXX_FLAGS_INIT "-stdlib=libc++ -gdwarf-4")
foreach(kind IN ITEMS EXE SHARED MODULE)
  set(CMAKE_${kind}_LINKER_FLAGS_INIT "-stdlib=libc++")
endforeach()
