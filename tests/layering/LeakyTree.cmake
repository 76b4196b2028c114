# Builds a small source tree where every "leak" line must be reported and every "fine" line must
# not, runs the include check on it and compares the report with the expected leaks.
#   cmake -DCHECKER=tools/check_includes.cmake -DWORK=<scratch dir> -P LeakyTree.cmake
include("${CMAKE_CURRENT_LIST_DIR}/ExpectReported.cmake")
file(REMOVE_RECURSE "${WORK}")

set(expected "")
# file, then its include lines; a line ending in "// leak" must be reported.
function(source rel)
  set(text "")
  set(line_no 0)
  foreach(line IN LISTS ARGN)
    math(EXPR line_no "${line_no} + 1")
    string(APPEND text "${line}\n")
    if(line MATCHES "// leak$")
      list(APPEND expected "${rel}:${line_no}:")
    endif()
  endforeach()
  file(WRITE "${WORK}/${rel}" "${text}")
  set(expected "${expected}" PARENT_SCOPE)
endfunction()

file(WRITE "${WORK}/engine/core/CMakeLists.txt"
  "set(core_engine_sources Engine.cpp)\nset(core_engine_headers Engine.h)\n")
file(WRITE "${WORK}/tools/CMakeLists.txt"
  "set(writers_engine_sources ZktWriter.cpp)\nset(writers_play_sources LightWriter.cpp)\n")
source(engine/core/Engine.cpp
  "#include \"engine/core/Engine.h\"            // fine"
  "#include \"engine/render/RenderFacility.h\"  // fine: a service interface"
  "#include \"engine/render/Font.h\"            // leak")
source(engine/core/Strings.cpp
  "#include \"engine/core/Debugger.h\"          // fine"
  "#include \"engine/core/Engine.h\"            // leak"
  "#include \"engine/audio/AudioDevice.h\"      // leak")
source(engine/net/Peer.cpp
  "#include <enet/enet.h>                      // leak"
  "  #  include \"game/world/Body.h\"          // leak")
source(game/world/Body.cpp
  "#include <ode/ode.h>                        // fine")
source(game/vehicles/Car.cpp
  "#include \"game/world/Body.h\"              // fine"
  "#include <ode/ode.h>                        // leak"
  "#include \"game/traffic/Lane.h\"            // leak")
source(game/frontend/Menu.cpp
  "#include \"game/play/Race.h\"               // fine"
  "#include <SDL2/SDL.h>                       // leak"
  "#include \"engine/core/EngineServices.h\"   // fine"
  "#include \"engine/core/Engine.h\"           // leak"
  "void Show(const EngineServices& e) { Draw(e.renderer) }  // fine"
  "void Hide() { ZKEngine::Get()->PopMLP() }   // leak"
  "float Now() { return ZKEngine::Instance ().frameTime }  // leak")
source(platform/sound/Decoder.cpp
  "#include <vorbis/codec.h>                   // fine"
  "#include \"engine/core/Debugger.h\"         // leak")
source(app/main.cpp
  "#include \"engine/core/StartUp.h\"          // fine"
  "#include <epoxy/gl.h>                       // leak")
source(tests/core/StringTests.cpp
  "#include <SDL2/SDL.h>                       // fine: tests drive what they measure"
  "#include \"game/world/Body.h\"              // leak")
source(tests/vehicles/CarTests.cpp
  "#include \"game/vehicles/Car.h\"            // fine"
  "#include \"game/play/Race.h\"               // leak")
source(tests/support/Harness.h
  "#include \"game/frontend/Menu.h\"           // fine")
source(bench/physics/Bench.cpp
  "#include <ode/ode.h>                        // fine")
source(bench/world/WorldBench.cpp
  "#include \"game/world/Body.h\"              // fine"
  "#include \"game/play/Race.h\"               // leak")
source(bench/menus/MenuBench.cpp
  "#include \"game/frontend/Menu.h\"           // leak")
source(tools/writers/ZktWriter.h
  "#include \"engine/core/Math.h\"             // fine"
  "#include \"game/world/Body.h\"              // leak")
source(tools/writers/LightWriter.cpp
  "#include \"game/play/Race.h\"               // fine"
  "#include \"game/frontend/Menu.h\"           // leak")
source(tools/writers/Stray.cpp
  "#include <string>                           // fine")
source(tools/demo/DemoMain.cpp
  "#include \"game/frontend/Menu.h\"           // fine")
source(tests/nowhere/Test.cpp
  "#include <string>                           // fine")
list(APPEND expected "tests/nowhere: no level known")
list(APPEND expected "tools/writers/Stray.cpp: no layer known")

expect_reported(check_includes "layering leaks"
  COMMAND ${CMAKE_COMMAND} -DROOT=${WORK} -P ${CHECKER} EXPECTED ${expected})
