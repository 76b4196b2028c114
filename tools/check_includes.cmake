# Reads every #include of the source tree and fails on a layering leak:
#  - ODE headers outside game/world;
#  - SDL, GL/EGL/epoxy, ENet, FreeType, fontconfig, libav*/libsw*, Vorbis/Ogg outside platform/;
#  - platform/ including engine/ or game/; engine/ including game/;
#  - the engine core's base files including a header of the engine library (the frame, console,
#    commands, start-up) or any renderer/sound header; the engine library including renderer or
#    sound headers other than their service interfaces;
#  - a game library including one above it (world < vehicles < traffic < play < frontend);
#  - a tests/<area> or bench/<area> folder including a game library above its area (an engine
#    area none at all), and a writer in tools/writers including a game library above the layer
#    of what it writes (the lists in tools/CMakeLists.txt);
#  - game/ asking for the engine itself (ZKEngine::Get() or Instance(), or the engine's header):
#    game code takes the engine's services handed to it at construction (EngineServices).
# tests/, bench/ and tools/ may include the third-party headers of what they measure or write.
# The layers and the areas' layers are in tools/layers.cmake, shared with the link check.
#
#   cmake [-DROOT=<source dir>] -P tools/check_includes.cmake
cmake_minimum_required(VERSION 3.25)

if(NOT ROOT)
  get_filename_component(ROOT "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)
endif()

# Third-party headers that only the platform layer may include.
set(platform_only_regex
  "^(SDL2?/|SDL[_.]|epoxy/|GL/|GLES[0-9]*/|EGL/|KHR/|enet/|ft2build\\.h|freetype2?/|fontconfig/|libav[a-z]*/|libsw[a-z]*/|vorbis/|ogg/)")

include("${CMAKE_CURRENT_LIST_DIR}/layers.cmake")
# The writers' layers (writer_layer_<stem>).
read_writer_layers("${ROOT}")

# Temporary exceptions while a move is under way: "file|included header prefix". Each is removed
# by the change that finishes the move.
set(temporary_exceptions "")

# The engine core's files that belong to the engine library rather than its base, read from the
# lists in engine/core/CMakeLists.txt.
set(core_engine_files "")
if(EXISTS "${ROOT}/engine/core/CMakeLists.txt")
  file(STRINGS "${ROOT}/engine/core/CMakeLists.txt" core_lists REGEX "^set\\(core_engine_(sources|headers) ")
  foreach(entry IN LISTS core_lists)
    string(REGEX REPLACE "^set\\(core_engine_[a-z]+ ([^)]*)\\).*$" "\\1" names "${entry}")
    separate_arguments(names UNIX_COMMAND "${names}")
    list(APPEND core_engine_files ${names})
  endforeach()
endif()
# The renderer and sound headers the engine library holds its services through.
set(core_service_headers
  engine/render/RenderFacility.h engine/render/RenderStats.h engine/render/NullRenderFacility.h
  engine/audio/AudioDevice.h)

function(game_rank name out)
  list(FIND game_order "${name}" rank)
  set(${out} ${rank} PARENT_SCOPE)
endfunction()

set(leaks "")
macro(leak message)
  list(APPEND leaks "${rel}:${line_no}: #include ${what} -- ${message}")
endmacro()

set(files "")
foreach(top app bench engine game platform tests tools)
  if(IS_DIRECTORY "${ROOT}/${top}")
    file(GLOB_RECURSE found LIST_DIRECTORIES false RELATIVE "${ROOT}"
         "${ROOT}/${top}/*.h" "${ROOT}/${top}/*.hpp" "${ROOT}/${top}/*.inl"
         "${ROOT}/${top}/*.c" "${ROOT}/${top}/*.cc" "${ROOT}/${top}/*.cpp")
    list(APPEND files ${found})
  endif()
endforeach()
list(FILTER files EXCLUDE REGEX "/corpus/")
list(SORT files)

set(unknown_test_folders "")
set(unknown_writers "")
set(checked 0)
foreach(rel IN LISTS files)
  math(EXPR checked "${checked} + 1")
  string(REPLACE "/" ";" parts "${rel}")
  list(GET parts 0 top)
  list(LENGTH parts depth)
  set(second "")
  if(depth GREATER 2)
    list(GET parts 1 second)
  endif()
  get_filename_component(leaf "${rel}" NAME)

  # The level of the file's own folder, for the game order. An area (a tests/ or bench/ folder,
  # a writer) has a test level: any, engine, or game with its library's rank.
  set(own_rank -1)
  set(test_level "")
  set(area "")
  set(area_layer_name "")
  if(top STREQUAL "game")
    game_rank("${second}" own_rank)
  elseif((top STREQUAL "tests" OR top STREQUAL "bench") AND depth GREATER 2)
    set(area "${top}/${second}")
    area_layer("${second}" area_layer_name)
    if(area_layer_name STREQUAL "")
      list(APPEND unknown_test_folders "${area}")
      set(area_layer_name any)
    endif()
  elseif(top STREQUAL "tools" AND second STREQUAL "writers")
    get_filename_component(stem "${rel}" NAME_WE)
    set(area "tools/writers/${stem}")
    if(DEFINED writer_layer_${stem})
      set(area_layer_name "${writer_layer_${stem}}")
    else()
      list(APPEND unknown_writers "${rel}")
      set(area_layer_name any)
    endif()
  endif()
  if(area_layer_name STREQUAL "any")
    set(test_level any)
  elseif(area_layer_name STREQUAL "engine" OR area_layer_name STREQUAL "platform")
    set(test_level engine)
  elseif(NOT area_layer_name STREQUAL "")
    set(test_level game)
    game_rank("${area_layer_name}" own_rank)
  endif()
  set(may_use_third_party FALSE)
  if(top STREQUAL "tests" OR top STREQUAL "bench" OR top STREQUAL "tools")
    set(may_use_third_party TRUE)
  endif()
  set(core_part "")
  if(top STREQUAL "engine" AND second STREQUAL "core")
    if(leaf IN_LIST core_engine_files)
      set(core_part engine)
    else()
      set(core_part base)
    endif()
  endif()

  file(STRINGS "${ROOT}/${rel}" lines)
  set(line_no 0)
  foreach(text IN LISTS lines)
    math(EXPR line_no "${line_no} + 1")
    if(top STREQUAL "game" AND text MATCHES "ZKEngine::(Get|Instance)[ \t]*\\(")
      list(APPEND leaks "${rel}:${line_no}: ${CMAKE_MATCH_0}) -- game code takes the engine's services handed to it (EngineServices), never the engine")
    endif()
    if(NOT text MATCHES "^[ \t]*#[ \t]*include[ \t]*([<\"])([^>\"]+)[>\"]")
      continue()
    endif()
    set(quoted "${CMAKE_MATCH_1}")
    set(header "${CMAKE_MATCH_2}")
    if(quoted STREQUAL "<")
      set(what "<${header}>")
    else()
      set(what "\"${header}\"")
    endif()

    set(excepted FALSE)
    foreach(exception IN LISTS temporary_exceptions)
      string(REPLACE "|" ";" exception "${exception}")
      list(GET exception 0 ex_file)
      list(GET exception 1 ex_prefix)
      string(FIND "${header}" "${ex_prefix}" at)
      if(rel STREQUAL ex_file AND at EQUAL 0)
        set(excepted TRUE)
      endif()
    endforeach()
    if(excepted)
      continue()
    endif()

    # Third-party libraries.
    if(header MATCHES "^ode/" AND NOT (top STREQUAL "game" AND second STREQUAL "world") AND NOT may_use_third_party)
      leak("only game/world includes ODE")
    endif()
    if(header MATCHES "${platform_only_regex}" AND NOT top STREQUAL "platform" AND NOT may_use_third_party)
      leak("only platform/ includes this library")
    endif()

    # Our own folders.
    if(NOT header MATCHES "^(app|engine|game|platform|tests|tools)/")
      continue()
    endif()
    if(top STREQUAL "platform" AND header MATCHES "^(engine|game)/")
      leak("platform/ is below the engine and the game")
    endif()
    if(top STREQUAL "engine" AND header MATCHES "^game/")
      leak("the engine never includes the game")
    endif()
    if(top STREQUAL "game" AND header STREQUAL "engine/core/Engine.h")
      leak("game code takes the engine's services handed to it (engine/core/EngineServices.h), never the engine")
    endif()
    if(core_part STREQUAL "base")
      if(header MATCHES "^engine/(render|audio|net)/")
        leak("the core's base includes no renderer, sound or network header (move the file to the engine library's list in engine/core/CMakeLists.txt)")
      elseif(header MATCHES "^engine/core/(.*)$" AND CMAKE_MATCH_1 IN_LIST core_engine_files)
        leak("the core's base is below the engine library (move the file to the engine library's list in engine/core/CMakeLists.txt)")
      endif()
    elseif(core_part STREQUAL "engine" AND header MATCHES "^engine/(render|audio|net)/" AND NOT header IN_LIST core_service_headers)
      leak("the engine library holds the renderer and sound through their interface headers only")
    endif()
    if(header MATCHES "^game/([^/]+)/")
      set(their "${CMAKE_MATCH_1}")
      game_rank("${their}" their_rank)
      if(top STREQUAL "game" AND own_rank GREATER_EQUAL 0 AND their_rank GREATER own_rank)
        leak("game/${second} is below game/${their} (world < vehicles < traffic < play < frontend)")
      endif()
      if(test_level STREQUAL "engine")
        leak("${area} is of the engine and includes no game library")
      elseif(test_level STREQUAL "game" AND their_rank GREATER own_rank)
        leak("${area} includes a game library above its own")
      endif()
    endif()
  endforeach()
endforeach()

if(unknown_test_folders)
  list(REMOVE_DUPLICATES unknown_test_folders)
  foreach(folder IN LISTS unknown_test_folders)
    list(APPEND leaks "${folder}: no level known: name the folder after its game library or add it to engine_test_folders / game_test_folders in tools/layers.cmake")
  endforeach()
endif()
foreach(writer IN LISTS unknown_writers)
  list(APPEND leaks "${writer}: no layer known: add the writer to its layer's list (writers_<layer>_sources) in tools/CMakeLists.txt")
endforeach()
list(LENGTH leaks leak_count)
if(leak_count GREATER 0)
  string(REPLACE ";" "\n  " report "${leaks}")
  message(FATAL_ERROR "check_includes: ${leak_count} layering leaks:\n  ${report}")
endif()
message(STATUS "check_includes: ${checked} files, no layering leak")
