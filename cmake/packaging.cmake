# Installation of the program, its manual page and documentation, checks of the page, and the
# Debian package. Included by the top CMakeLists.txt after the targets exist.
include(GNUInstallDirs)

set(man_pages ${PROJECT_SOURCE_DIR}/doc/zivavod.1 ${PROJECT_SOURCE_DIR}/doc/zivavod-inspect.1)
install(FILES ${man_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# share/doc/zivavod: the README, the licence as a machine-readable Debian copyright file, and the
# README's example with the build's firmware stand-in, so that an installed copy can run it.
file(READ ${PROJECT_SOURCE_DIR}/LICENSE license)
string(REGEX MATCH "Copyright \\(c\\) ([^\n]*)" _ "${license}")
set(copyright_holder "${CMAKE_MATCH_1}")
if(copyright_holder STREQUAL "")
  message(FATAL_ERROR "LICENSE has no \"Copyright (c)\" line")
endif()
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/LICENSE)
string(REGEX REPLACE "^MIT License\n\n[^\n]*\n\n" "" license "${license}")
string(REGEX REPLACE "\n+$" "" license "${license}")
string(REPLACE "\n\n" "\n.\n" license "${license}")
string(REPLACE "\n" "\n " license "${license}")
file(WRITE ${PROJECT_BINARY_DIR}/copyright
"Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
Upstream-Name: ${PROJECT_NAME}

Files: *
Copyright: ${copyright_holder}
License: Expat
 ${license}
")
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_BINARY_DIR}/copyright
  DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES ${PROJECT_SOURCE_DIR}/examples/example.cfg ${PROJECT_SOURCE_DIR}/examples/nature.txt
  ${PROJECT_SOURCE_DIR}/examples/household.txt ${PROJECT_SOURCE_DIR}/examples/README
  ${PROJECT_BINARY_DIR}/examples/firmware.bin
  DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples)

# The pages must format without a single warning, name the version the programs print, and
# zivavod's quote every console line as it is printed.
if(ZIVAVOD_BUILD_TESTS)
  find_program(ZIVAVOD_GROFF groff)
  find_program(ZIVAVOD_MANDOC mandoc)
  if(ZIVAVOD_GROFF)
    add_test(NAME man_page_groff COMMAND ${ZIVAVOD_GROFF} -man -ww -z ${man_pages})
    # groff reports warnings but still exits with 0: any output at all fails the test.
    set_tests_properties(man_page_groff PROPERTIES FAIL_REGULAR_EXPRESSION "." LABELS doc)
  endif()
  if(ZIVAVOD_MANDOC)
    add_test(NAME man_page_mandoc COMMAND ${ZIVAVOD_MANDOC} -T lint ${man_pages})
    set_tests_properties(man_page_mandoc PROPERTIES FAIL_REGULAR_EXPRESSION "." LABELS doc)
  endif()
  add_test(NAME docs_quote_every_message
    COMMAND ${CMAKE_COMMAND}
      -DMESSAGES=${PROJECT_SOURCE_DIR}/src/base/messages.hpp
      -DVERSION_HEADER=${PROJECT_BINARY_DIR}/generated/base/version.hpp
      "-DMAN_PAGES=${PROJECT_SOURCE_DIR}/doc/zivavod.1$<SEMICOLON>${PROJECT_SOURCE_DIR}/doc/zivavod-inspect.1"
      "-DDOCUMENTS=${PROJECT_SOURCE_DIR}/doc/zivavod.1$<SEMICOLON>${PROJECT_SOURCE_DIR}/README.md"
      -P ${PROJECT_SOURCE_DIR}/doc/check_messages.cmake)
  set_tests_properties(docs_quote_every_message PROPERTIES LABELS doc)
  # The example in the documents is what the programs really print for examples/ (run here, so
  # only where the programs run on the build machine).
  if(NOT CMAKE_CROSSCOMPILING)
    add_test(NAME docs_show_the_example
      COMMAND ${CMAKE_COMMAND}
        -DPROGRAM=$<TARGET_FILE:zivavod>
        -DEXAMPLES=${PROJECT_SOURCE_DIR}/examples
        -DFIRMWARE=${PROJECT_BINARY_DIR}/examples/firmware.bin
        -DWORK_DIR=${PROJECT_BINARY_DIR}/docs_example
        "-DDOCUMENTS=${PROJECT_SOURCE_DIR}/doc/zivavod.1$<SEMICOLON>${PROJECT_SOURCE_DIR}/README.md"
        -DINSPECTOR=$<TARGET_FILE:zivavod-inspect>
        "-DINSPECT_DOCUMENTS=${PROJECT_SOURCE_DIR}/doc/zivavod-inspect.1$<SEMICOLON>${PROJECT_SOURCE_DIR}/README.md"
        -P ${PROJECT_SOURCE_DIR}/doc/check_example.cmake)
    set_tests_properties(docs_show_the_example PROPERTIES LABELS doc)
  endif()
endif()

# Debian package: `cpack -G DEB` in the build folder (or `make package` at the top).
set(ZIVAVOD_PACKAGE_MAINTAINER "zivavod developers <zivavod@example.org>"
  CACHE STRING "Maintainer field of the Debian package")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zivavod)
# The version the programs print, from the header they are built with.
file(STRINGS ${PROJECT_BINARY_DIR}/generated/base/version.hpp version_line REGEX "k_version")
string(REGEX REPLACE ".*\"(.*)\".*" "\\1" CPACK_PACKAGE_VERSION "${version_line}")
set(CPACK_PACKAGE_CONTACT "${ZIVAVOD_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "compile word lists into ZORV-OLED firmware update packages")
set(CPACK_PACKAGE_DESCRIPTION
  "zivavod reads four- and six-letter words from up to eight word lists, packs\n"
  "them into a lexicon behind the application firmware of the ZORV-OLED device\n"
  "and writes the result as an over-the-air DFU package: a zip archive holding\n"
  "an init packet, manifest.json and the new app image. zivavod-inspect reads\n"
  "such a package back, checks it as the device will and lists its words.")
string(JOIN "" CPACK_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)  # zivavod_VERSION_ARCH.deb
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${ZIVAVOD_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# dpkg-shlibdeps (dpkg-dev) turns the linked libraries into the Depends line: libc6, libstdc++6,
# libgcc-s1, libminizip1 and libdeflate0 (which deflates every entry) and zlib1g (zivavod-inspect
# inflates and checks the entries with it), with their minimum versions.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# What Debian wants beside the files that `cmake --install` puts in place: manual pages compressed
# with gzip -9n (no timestamp, so builds compare equal) and a changelog in /usr/share/doc/zivavod.
# CPack runs this on its staging folder.
file(WRITE ${PROJECT_BINARY_DIR}/debian_files.cmake [=[
set(root "${CPACK_TEMPORARY_DIRECTORY}")
file(GLOB_RECURSE pages "${root}/*.[1-9]")
list(FILTER pages INCLUDE REGEX "/man/man[1-9]/[^/]+\\.[1-9]$")
if(NOT pages)
  message(FATAL_ERROR "no manual page in ${root}")
endif()
set(doc "${root}${CPACK_PACKAGING_INSTALL_PREFIX}/share/doc/${CPACK_PACKAGE_NAME}")
string(TIMESTAMP date "%a, %d %b %Y %H:%M:%S +0000" UTC)  # SOURCE_DATE_EPOCH when set
file(WRITE "${doc}/changelog" "${CPACK_PACKAGE_NAME} (${CPACK_PACKAGE_VERSION}) unstable; \
urgency=medium\n\n  * Release ${CPACK_PACKAGE_VERSION}.\n\n \
-- ${CPACK_DEBIAN_PACKAGE_MAINTAINER}  ${date}\n")
foreach(file IN LISTS pages ITEMS "${doc}/changelog")
  execute_process(COMMAND gzip -9nf "${file}" COMMAND_ERROR_IS_FATAL ANY)
endforeach()
]=])
set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_BINARY_DIR}/debian_files.cmake)
include(CPack)
