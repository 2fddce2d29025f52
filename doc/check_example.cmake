# Runs the program on examples/ and fails when a document does not show the example as it is:
# each line of example.cfg, of household.txt and of the run's output must stand as a line of its
# own in each document (indented by four spaces in Markdown). Likewise each line zivavod-inspect
# prints for the example's package, and of its --diff against the package made with a list added,
# in each of INSPECT_DOCUMENTS. Usage:
#   cmake -DPROGRAM=zivavod -DEXAMPLES=examples -DFIRMWARE=build/dev/examples/firmware.bin
#         -DWORK_DIR=scratch -DDOCUMENTS="doc/zivavod.1;README.md" -DINSPECTOR=zivavod-inspect
#         -DINSPECT_DOCUMENTS="doc/zivavod-inspect.1;README.md" -P this
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
execute_process(COMMAND "${INSPECTOR}" example_package.zip WORKING_DIRECTORY "${WORK_DIR}"
  RESULT_VARIABLE status OUTPUT_VARIABLE inspected ERROR_VARIABLE errors)
if(NOT status EQUAL 0 OR NOT errors STREQUAL "")
  message(FATAL_ERROR "zivavod-inspect failed on the example (${status}):\n${inspected}${errors}")
endif()
string(REGEX REPLACE "\n$" "" inspected "${inspected}")
string(REPLACE "\n" ";" inspected_lines "${inspected}")

# The comparison the documents show: the example's package against the one made again with a
# list added, each line zivavod-inspect --diff prints in each of INSPECT_DOCUMENTS too.
file(RENAME "${WORK_DIR}/example_package.zip" "${WORK_DIR}/shipped.zip")
file(WRITE "${WORK_DIR}/garden.txt" "flower seed, rose pond branch Mint rake shrubs\n")
file(APPEND "${WORK_DIR}/example.cfg" "garden.txt\n")
execute_process(COMMAND "${PROGRAM}" example.cfg WORKING_DIRECTORY "${WORK_DIR}"
  RESULT_VARIABLE status OUTPUT_QUIET ERROR_VARIABLE errors)
execute_process(COMMAND "${INSPECTOR}" --diff shipped.zip example_package.zip
  WORKING_DIRECTORY "${WORK_DIR}" RESULT_VARIABLE diff_status OUTPUT_VARIABLE compared)
if(NOT status EQUAL 0 OR NOT errors STREQUAL "" OR NOT diff_status EQUAL 1)
  message(FATAL_ERROR "the example with a list added failed (${status}, ${diff_status}):\n"
    "${errors}${compared}")
endif()
string(REGEX REPLACE "\n$" "" compared "${compared}")
string(REPLACE "\n" ";" compared_lines "${compared}")
list(APPEND inspected_lines ${compared_lines})

set(failed FALSE)
set(run_lines ${config_lines} ${word_lines} ${output_lines})
foreach(kind IN ITEMS run inspected)
  set(documents ${DOCUMENTS})
  if(kind STREQUAL "inspected")
    set(documents ${INSPECT_DOCUMENTS})
  endif()
  foreach(document IN LISTS documents)
    file(READ "${document}" text)
    set(indent "")
    if(document MATCHES "\\.md$")
      set(indent "    ")
    else()
      string(REPLACE "\\-" "-" text "${text}")
    endif()
    foreach(line IN LISTS ${kind}_lines)
      string(FIND "${text}" "\n${indent}${line}\n" at)
      if(at EQUAL -1)
        message(SEND_ERROR "${document} does not show the example line: ${line}")
        set(failed TRUE)
      endif()
    endforeach()
  endforeach()
endforeach()
if(NOT failed)
  file(REMOVE_RECURSE "${WORK_DIR}")
endif()
