# Writes the link graph of the build for the link check (tools/check_links.cmake): one line per
# target the build defines,
#   <target>|<folder of its CMakeLists, from the source root>|<layer>|<linked>,<linked>,...
# where <layer> is the target's METROFARE_LAYER property (empty: its folder decides) and the
# linked targets are every project target it links, publicly or privately (generator
# expressions taken apart; imported third-party targets left out).
#   include(tools/LinkGraph.cmake)
#   metrofare_write_link_graph(<file>)   -- at the end of the top-level CMakeLists.txt

define_property(TARGET PROPERTY METROFARE_LAYER
  BRIEF_DOCS "The layer a target belongs to when its folder does not say (platform, engine, world, ...)"
  FULL_DOCS "Read by the link check; the writers in tools/ set it, one library per layer.")

# The target a link item names: the innermost name of a generator expression such as
# $<LINK_ONLY:x> or $<LINK_LIBRARY:WHOLE_ARCHIVE,x>; empty for anything that is not a target of
# the project.
function(metrofare_link_item_target item out)
  set(name "${item}")
  if(name MATCHES "^\\$<")
    string(REGEX REPLACE "^.*[:,]([^:,<>]+)>+$" "\\1" name "${name}")
  endif()
  set(result "")
  if(NOT name MATCHES "^::@" AND TARGET "${name}")
    get_target_property(imported "${name}" IMPORTED)
    if(NOT imported)
      get_target_property(aliased "${name}" ALIASED_TARGET)
      if(aliased)
        set(name "${aliased}")
      endif()
      set(result "${name}")
    endif()
  endif()
  set(${out} "${result}" PARENT_SCOPE)
endfunction()

function(metrofare_write_link_graph file)
  set(lines "")
  set(dirs "${CMAKE_SOURCE_DIR}")
  while(dirs)
    list(POP_FRONT dirs dir)
    get_property(subdirs DIRECTORY "${dir}" PROPERTY SUBDIRECTORIES)
    list(APPEND dirs ${subdirs})
    file(RELATIVE_PATH folder "${CMAKE_SOURCE_DIR}" "${dir}")
    get_property(targets DIRECTORY "${dir}" PROPERTY BUILDSYSTEM_TARGETS)
    foreach(target IN LISTS targets)
      get_target_property(type ${target} TYPE)
      if(type STREQUAL "UTILITY")
        continue()
      endif()
      set(items "")
      if(NOT type STREQUAL "INTERFACE_LIBRARY")
        get_target_property(linked ${target} LINK_LIBRARIES)
        if(linked)
          list(APPEND items ${linked})
        endif()
      endif()
      get_target_property(interface ${target} INTERFACE_LINK_LIBRARIES)
      if(interface)
        list(APPEND items ${interface})
      endif()
      set(deps "")
      foreach(item IN LISTS items)
        metrofare_link_item_target("${item}" dep)
        if(dep AND NOT dep STREQUAL target)
          list(APPEND deps ${dep})
        endif()
      endforeach()
      list(REMOVE_DUPLICATES deps)
      get_target_property(layer ${target} METROFARE_LAYER)
      if(NOT layer)
        set(layer "")
      endif()
      string(REPLACE ";" "," deps "${deps}")
      string(APPEND lines "${target}|${folder}|${layer}|${deps}\n")
    endforeach()
  endwhile()
  file(WRITE "${file}" "${lines}")
endfunction()
