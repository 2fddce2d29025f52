# Included after project() in the WebAssembly build (CMAKE_PROJECT_INCLUDE): once the top
# CMakeLists.txt has defined its targets, zivavod and zivavod-inspect are linked as JavaScript
# module factories (createZivavod, createZivavodInspect) that the API in web/zivavod-web.mjs
# instantiates once a run, main being called by hand: the programs keep state in globals and end
# by exit(), as on the command line.
function(zivavod_web_link_programs)
  # The inspector reads no environment variable: its build has no ENV to export.
  foreach(entry IN ITEMS "zivavod;createZivavod;'FS','ENV','callMain'"
                         "zivavod-inspect;createZivavodInspect;'FS','callMain'")
    list(GET entry 0 program)
    list(GET entry 1 factory)
    list(GET entry 2 runtime)
    target_link_options(${program} PRIVATE
      -sMODULARIZE=1 -sEXPORT_NAME=${factory} -sINVOKE_RUN=0 -sEXIT_RUNTIME=1
      -sENVIRONMENT=web,node -sALLOW_MEMORY_GROWTH=1 -sINITIAL_MEMORY=33554432
      "-sEXPORTED_RUNTIME_METHODS=[${runtime}]"
      "-sEXPORTED_FUNCTIONS=['_main','_umask']")
  endforeach()
  # The inspector catches nlohmann-json's parse errors: emscripten catches no exception unless
  # the code and the link ask for it (the -except runtime libraries).
  target_compile_options(zivavod_inspect PRIVATE -fexceptions)
  target_link_options(zivavod-inspect PRIVATE -fexceptions)
endfunction()
cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR} CALL zivavod_web_link_programs)
