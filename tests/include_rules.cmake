# Fails on any #include of ours that points up or sideways: each folder of src/ may include
# itself and the folders listed for it, so every folder can be read and tested from below. Inside
# a folder the same holds for floors: a folder's top file, which runs its parts, is included by
# its own source, the folder's main.cpp and the folders above, never by one of its parts.
# Usage: cmake -DSOURCE_DIR=src -P this
cmake_minimum_required(VERSION 3.25)

set(allowed_run_control run_control lexicon package base)
set(allowed_inspect inspect lexicon package base)
set(allowed_lexicon lexicon base)
set(allowed_package package base)
set(allowed_base base)

set(top_run_control run_control/run.hpp)
set(top_inspect inspect/inspect.hpp)
set(top_lexicon lexicon/app_image.hpp)
set(top_package package/package_writer.hpp)

file(GLOB_RECURSE sources RELATIVE "${SOURCE_DIR}" "${SOURCE_DIR}/*.hpp" "${SOURCE_DIR}/*.cpp")
list(LENGTH sources count)
if(count LESS 20)
  message(FATAL_ERROR "found only ${count} sources in ${SOURCE_DIR}")
endif()
set(failed FALSE)
foreach(source IN LISTS sources)
  string(REGEX MATCH "^[^/]+" folder "${source}")
  if(NOT DEFINED allowed_${folder})
    message(SEND_ERROR "${source}: the folder ${folder} has no rule here; add one")
    set(failed TRUE)
    continue()
  endif()
  file(STRINGS "${SOURCE_DIR}/${source}" includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
  foreach(line IN LISTS includes)
    string(REGEX REPLACE "^[^\"]*\"([^\"]*)\".*$" "\\1" target "${line}")
    string(REGEX MATCH "^[^/]+" target_folder "${target}")
    if(NOT target MATCHES "/" OR NOT target_folder IN_LIST allowed_${folder})
      message(SEND_ERROR "${source} includes \"${target}\": ${folder}/ may include only "
                         "${allowed_${folder}}")
      set(failed TRUE)
    endif()
    if(DEFINED top_${folder} AND target STREQUAL top_${folder})
      string(REGEX REPLACE "\\.hpp$" ".cpp" top_source "${target}")
      if(NOT source STREQUAL top_source AND NOT source STREQUAL "${folder}/main.cpp")
        message(SEND_ERROR "${source} includes \"${target}\", the top of ${folder}/, which "
                           "only its own source and ${folder}/main.cpp may include")
        set(failed TRUE)
      endif()
    endif()
  endforeach()
endforeach()
if(NOT failed)
  message(STATUS "${count} sources include only downward")
endif()
