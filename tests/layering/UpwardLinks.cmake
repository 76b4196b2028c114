# Configures a small project whose folders stand for the layers, with upward links planted (a
# game library linking one above it, privately too; an engine test reaching a game writer through
# a library of no layer; a game benchmark linking the front end; an engine test linking the whole
# program's harness; a test folder of no layer),
# writes its link graph the way the build does and runs the link check on it: every planted link
# must be reported and nothing else.
#   cmake -DTOOLS=<source>/tools -DWORK=<scratch dir> -P UpwardLinks.cmake
include("${CMAKE_CURRENT_LIST_DIR}/ExpectReported.cmake")
file(REMOVE_RECURSE "${WORK}")

# folder, then the lines of its CMakeLists.txt.
function(folder rel)
  string(REPLACE ";" "\n" text "${ARGN}")
  file(WRITE "${WORK}/src/${rel}/CMakeLists.txt" "${text}\n")
endfunction()

file(WRITE "${WORK}/src/empty.c" "int empty_symbol = 0\;\n")
file(WRITE "${WORK}/src/main.c" "int main(void) { return 0\; }\n")
set(subdirs platform engine/core game/world game/vehicles game/play game/frontend tools tests/audio tests/core
            tests/vehicles tests/world tests/math tests/support tests/nowhere bench/world app)
set(root_lines
  "cmake_minimum_required(VERSION 3.25)"
  "project(planted LANGUAGES C)"
  "include(${TOOLS}/LinkGraph.cmake)"
  "function(lib name)"
  "  add_library(\${name} STATIC \${CMAKE_SOURCE_DIR}/empty.c)"
  "endfunction()"
  "function(program name)"
  "  add_executable(\${name} \${CMAKE_SOURCE_DIR}/main.c)"
  "endfunction()")
foreach(d IN LISTS subdirs)
  list(APPEND root_lines "add_subdirectory(${d})")
endforeach()
list(APPEND root_lines "metrofare_write_link_graph(\${CMAKE_BINARY_DIR}/link_graph.txt)")
string(REPLACE ";" "\n" root_text "${root_lines}")
file(WRITE "${WORK}/src/CMakeLists.txt" "${root_text}\n")

folder(platform "lib(plat)")
folder(engine/core "lib(core)" "target_link_libraries(core PUBLIC plat)")
folder(game/world "lib(world)" "target_link_libraries(world PUBLIC core)")
# Planted: vehicles links play, privately.
folder(game/vehicles "lib(vehicles)" "target_link_libraries(vehicles PUBLIC world PRIVATE play)")
folder(game/play "lib(play)" "target_link_libraries(play PUBLIC vehicles)")
folder(game/frontend "lib(frontend)" "target_link_libraries(frontend PUBLIC play)")
folder(tools
  "lib(writers_engine)" "set_target_properties(writers_engine PROPERTIES METROFARE_LAYER engine)"
  "target_link_libraries(writers_engine PUBLIC core)"
  "lib(writers_play)" "set_target_properties(writers_play PROPERTIES METROFARE_LAYER play)"
  "target_link_libraries(writers_play PUBLIC play writers_engine)"
  "add_library(writers INTERFACE)" "target_link_libraries(writers INTERFACE writers_play)"
  "program(demo)" "target_link_libraries(demo PRIVATE writers)")
# Planted: an engine test reaching the play writer through a library of no layer.
folder(tests/audio "program(audio_tests)"
  "target_link_libraries(audio_tests PRIVATE \"$<LINK_LIBRARY:WHOLE_ARCHIVE,testsupport>\" writers)")
folder(tests/core "program(core_tests)" "target_link_libraries(core_tests PRIVATE core writers_engine)")
# Reaches play through the private link of vehicles.
folder(tests/vehicles "program(vehicle_tests)" "target_link_libraries(vehicle_tests PRIVATE vehicles)")
folder(tests/support "lib(testsupport)" "target_link_libraries(testsupport PUBLIC core)"
  "lib(harness)" "set_target_properties(harness PROPERTIES METROFARE_LAYER program)"
  "target_link_libraries(harness PUBLIC frontend)")
# A world test scripting the whole program is fine; an engine test doing it is planted.
folder(tests/world "program(world_run_tests)" "target_link_libraries(world_run_tests PRIVATE world harness)")
folder(tests/math "program(math_run_tests)" "target_link_libraries(math_run_tests PRIVATE core harness)")
folder(tests/nowhere "program(nowhere_tests)" "target_link_libraries(nowhere_tests PRIVATE core)")
# Planted: a world benchmark linking the front end.
folder(bench/world "program(world_bench)" "target_link_libraries(world_bench PRIVATE world frontend)")
folder(app "program(game)" "target_link_libraries(game PRIVATE frontend harness)")

set(expected
  "vehicles (game/vehicles, vehicles) links play"
  "audio_tests (tests/audio, engine) links writers_play (play): audio_tests -> writers -> writers_play"
  "vehicle_tests (tests/vehicles, vehicles) links play (play): vehicle_tests -> vehicles -> play"
  "world_bench (bench/world, world) links frontend"
  "math_run_tests (tests/math, engine) links harness (program)"
  "tests/nowhere: no layer known")

execute_process(COMMAND ${CMAKE_COMMAND} -S "${WORK}/src" -B "${WORK}/build"
  RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "the planted project did not configure:\n${out}")
endif()
expect_reported(check_links "upward links"
  COMMAND ${CMAKE_COMMAND} -DGRAPH=${WORK}/build/link_graph.txt -P ${TOOLS}/check_links.cmake EXPECTED ${expected})
