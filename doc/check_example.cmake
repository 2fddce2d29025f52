# Runs the program on examples/ and fails when a document does not show the example as it is:
# each line of example.cfg, of household.txt and of the run's output must stand as a line of its
# own in each document (indented by four spaces in Markdown). Usage:
#   cmake -DPROGRAM=zivavod -DEXAMPLES=examples -DFIRMWARE=build/dev/examples/firmware.bin
#         -DWORK_DIR=scratch -DDOCUMENTS="doc/zivavod.1;README.md" -P this
cmake_minimum_required(VERSION 3.25)

get_filename_component(PROGRAM "${PROGRAM}" ABSOLUTE)
file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}")
file(GLOB inputs "${EXAMPLES}/*")
file(COPY ${inputs} "${FIRMWARE}" DESTINATION "${WORK_DIR}")
execute_process(COMMAND "${PROGRAM}" example.cfg WORKING_DIRECTORY "${WORK_DIR}"
  RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE errors)
if(NOT status EQUAL 0 OR NOT errors STREQUAL "")
  message(FATAL_ERROR "the example run failed (${status}):\n${output}${errors}")
endif()

file(STRINGS "${EXAMPLES}/example.cfg" config_lines)
file(STRINGS "${EXAMPLES}/household.txt" word_lines)
string(REGEX REPLACE "\n$" "" output "${output}")
string(REPLACE "\n" ";" output_lines "${output}")

set(failed FALSE)
foreach(document IN LISTS DOCUMENTS)
  file(READ "${document}" text)
  set(indent "")
  if(document MATCHES "\\.md$")
    set(indent "    ")
  else()
    string(REPLACE "\\-" "-" text "${text}")
  endif()
  foreach(line IN LISTS config_lines word_lines output_lines)
    string(FIND "${text}" "\n${indent}${line}\n" at)
    if(at EQUAL -1)
      message(SEND_ERROR "${document} does not show the example line: ${line}")
      set(failed TRUE)
    endif()
  endforeach()
endforeach()
if(NOT failed)
  file(REMOVE_RECURSE "${WORK_DIR}")
endif()
