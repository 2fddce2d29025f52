# GoogleTest built inside the build tree from Debian's googletest sources (/usr/src/googletest),
# for builds whose C++ library is not the libstdc++ that Debian's libgtest was built with (clang
# with libc++). Gives the targets find_package(GTest) would: GTest::gtest, GTest::gtest_main.
set(ZIVAVOD_GTEST_SOURCE_DIR /usr/src/googletest/googletest
    CACHE PATH "GoogleTest sources, from Debian's googletest package")
if(NOT EXISTS ${ZIVAVOD_GTEST_SOURCE_DIR}/CMakeLists.txt)
  message(FATAL_ERROR "No GoogleTest sources in ${ZIVAVOD_GTEST_SOURCE_DIR}: "
                      "install Debian's googletest package (apt-get install googletest)")
endif()

set(INSTALL_GTEST OFF)
add_subdirectory(${ZIVAVOD_GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
# Warnings in a third-party library are not ours to turn into errors.
set_target_properties(gtest gtest_main PROPERTIES COMPILE_WARNING_AS_ERROR OFF)
# The sources name their targets GTest::gtest and GTest::gtest_main too; older ones did not.
foreach(target IN ITEMS gtest gtest_main)
  if(NOT TARGET GTest::${target})
    add_library(GTest::${target} ALIAS ${target})
  endif()
endforeach()
