# Fails when a console line of src/base/messages.hpp is missing, word for word, from one of
# the documents, or when the title line of one of MAN_PAGES names another version than the
# programs' (VERSION_HEADER, the generated base/version.hpp). Usage:
#   cmake -DMESSAGES=src/base/messages.hpp -DDOCUMENTS="doc/zivavod.1;README.md"
#         -DVERSION_HEADER=build/dev/generated/base/version.hpp
#         -DMAN_PAGES="doc/zivavod.1;doc/zivavod-inspect.1" -P this
# Roff escapes that only change the look (fonts, digit-width and unbreakable spaces, continued
# input lines) and temporary indents (.ti, for a line too long for its tag) are taken out of a
# man page before the comparison, and its line ends count as the blanks they format as.
cmake_minimum_required(VERSION 3.25)

file(READ "${MESSAGES}" header)
# Each text is one string literal behind "[] =", possibly on the next line.
string(REGEX MATCHALL "\\[\\] =[ \n]*\"([^\"\\\\]|\\\\.)*\"" literals "${header}")
list(LENGTH literals count)
if(count LESS 30)
  message(FATAL_ERROR "found only ${count} message texts in ${MESSAGES}")
endif()

file(STRINGS "${VERSION_HEADER}" version_line REGEX "k_version")
string(REGEX REPLACE ".*\"(.*)\".*" "\\1" version "${version_line}")
if(NOT version MATCHES "^[0-9]+\\.[0-9]+\\.[0-9]+$")
  message(FATAL_ERROR "no version in ${VERSION_HEADER}")
endif()

set(failed FALSE)
foreach(page IN LISTS MAN_PAGES)
  file(READ "${page}" text)
  string(REGEX MATCH "\n\\.TH [^\n]*" title "\n${text}")
  if(NOT title MATCHES "\"zivavod ${version}\"")
    message(SEND_ERROR "${page}: the title line does not name zivavod ${version}:${title}")
    set(failed TRUE)
  endif()
endforeach()
foreach(document IN LISTS DOCUMENTS)
  file(READ "${document}" text)
  if(document MATCHES "\\.[1-9]$")
    string(REPLACE "\\\n" "" text "${text}")
    string(REGEX REPLACE "\n\\.ti [^\n]*" "" text "${text}")
    string(REPLACE "\n" " " text "${text}")
    string(REGEX REPLACE "\\\\f[BIRP]" "" text "${text}")
    string(REPLACE "\\0" "" text "${text}")
    string(REPLACE "\\ " " " text "${text}")
    string(REPLACE "\\&" "" text "${text}")
    string(REPLACE "\\-" "-" text "${text}")
    string(REPLACE "\\(aq" "'" text "${text}")
    string(REPLACE "\\e" "\\" text "${text}")
  endif()
  foreach(literal IN LISTS literals)
    string(REGEX REPLACE "^[^\"]*\"(.*)\"$" "\\1" line "${literal}")
    string(REPLACE "\\\"" "\"" line "${line}")
    string(REPLACE "\\\\" "\\" line "${line}")
    string(FIND "${text}" "${line}" at)
    if(at EQUAL -1)
      message(SEND_ERROR "${document} does not quote the line: ${line}")
      set(failed TRUE)
    endif()
  endforeach()
endforeach()
if(NOT failed)
  message(STATUS "all ${count} lines quoted in: ${DOCUMENTS}")
endif()
