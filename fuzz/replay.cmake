# Replays the fuzz targets' seed corpora and kept regressions in the ordinary test suite (label
# fuzz), through replay_main.cpp instead of libFuzzer, so any compiler and the sanitizer presets
# run them too. Included from tests/fault/CMakeLists.txt.
set(fuzz_dir ${PROJECT_SOURCE_DIR}/fuzz)

# The product code with the fuzz console, which throws where the real one ends the process.
get_target_property(replay_core_sources zivavod_core SOURCES)
list(FILTER replay_core_sources EXCLUDE REGEX "base/console\\.cpp$")
list(TRANSFORM replay_core_sources PREPEND "${PROJECT_SOURCE_DIR}/")
add_library(zivavod_replay_core STATIC ${replay_core_sources} ${fuzz_dir}/fuzz_console.cpp)
target_include_directories(zivavod_replay_core PUBLIC ${PROJECT_SOURCE_DIR}/src ${fuzz_dir})
target_compile_definitions(zivavod_replay_core PRIVATE ZIVAVOD_VERSION="${PROJECT_VERSION}")
target_link_libraries(zivavod_replay_core PUBLIC PkgConfig::minizip ZLIB::ZLIB
  PRIVATE zivavod_warnings)

foreach(name config word_list run)
  add_executable(${name}_replay ${fuzz_dir}/${name}_fuzzer.cpp ${fuzz_dir}/replay_main.cpp)
  target_link_libraries(${name}_replay PRIVATE zivavod_replay_core zivavod_warnings)
  set(kept ${fuzz_dir}/corpus/${name})
  if(EXISTS ${fuzz_dir}/regressions/${name})
    list(APPEND kept ${fuzz_dir}/regressions/${name})
  endif()
  add_test(NAME fuzz_replay.${name} COMMAND ${name}_replay ${kept})
  set_tests_properties(fuzz_replay.${name} PROPERTIES LABELS fuzz TIMEOUT 300)
endforeach()
