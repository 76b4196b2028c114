# The layers the include check (check_includes.cmake) and the link check (check_links.cmake)
# keep, from the bottom up, and the layer of each folder of tests/ and bench/.
#   include(tools/layers.cmake)

# Game libraries from the bottom up; below them the engine, below that the platform layer.
set(game_order world vehicles traffic play frontend)
set(layer_order platform engine ${game_order})

# tests/<folder> and bench/<folder> of the engine (no game library at all); tests/support holds
# the shared doubles and the game harness, so it may include and link any library.
set(engine_test_folders audio console core fuzz intro layering math menus meshes net render skeleton textures)
# Test and benchmark folders of a game library under another name.
set(game_test_folders physics=world effects=world world_render=world combat=vehicles)

# The layer of tests/<folder> or bench/<folder>: engine, a game library, "any" (tests/support)
# or "" when the folder has no known layer.
function(area_layer folder out)
  set(layer "")
  if(folder STREQUAL "support")
    set(layer any)
  elseif(folder IN_LIST engine_test_folders)
    set(layer engine)
  elseif(folder IN_LIST game_order)
    set(layer ${folder})
  else()
    foreach(pair IN LISTS game_test_folders)
      string(REPLACE "=" ";" pair "${pair}")
      list(GET pair 0 name)
      list(GET pair 1 library)
      if(folder STREQUAL name)
        set(layer ${library})
      endif()
    endforeach()
  endif()
  set(${out} "${layer}" PARENT_SCOPE)
endfunction()

# The rank of a layer in layer_order (-1 for "any" or an unknown name).
function(layer_rank layer out)
  list(FIND layer_order "${layer}" rank)
  set(${out} ${rank} PARENT_SCOPE)
endfunction()

# The writers in tools/writers by the layer of what they write, read from tools/CMakeLists.txt
# (set(writers_<layer>_sources ...)): sets writer_layer_<stem> for every writer source.
macro(read_writer_layers root)
  if(EXISTS "${root}/tools/CMakeLists.txt")
    file(STRINGS "${root}/tools/CMakeLists.txt" writer_lists REGEX "^set\\(writers_[a-z]+_sources ")
    foreach(entry IN LISTS writer_lists)
      string(REGEX REPLACE "^set\\(writers_([a-z]+)_sources ([^)]*)\\).*$" "\\1;\\2" parsed "${entry}")
      list(POP_FRONT parsed writer_layer)
      separate_arguments(parsed UNIX_COMMAND "${parsed}")
      foreach(source IN LISTS parsed)
        get_filename_component(stem "${source}" NAME_WE)
        set(writer_layer_${stem} ${writer_layer})
      endforeach()
    endforeach()
  endif()
endmacro()
