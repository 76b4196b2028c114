# metrofare-demo takes exactly one directory: without one, with two or with an option it prints
# its usage, exits non-zero and writes nothing.
#   cmake -DDEMO=<metrofare-demo> -DWORK=<scratch dir> -P DemoUsage.cmake
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}")
foreach(arguments IN ITEMS "" "one;two" "--help" "-x" "-")
  execute_process(COMMAND ${DEMO} ${arguments} WORKING_DIRECTORY "${WORK}"
    RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(result EQUAL 0 OR NOT err MATCHES "usage: metrofare-demo DIR")
    message(FATAL_ERROR "metrofare-demo '${arguments}': status ${result}, output:\n${out}${err}")
  endif()
endforeach()
file(GLOB written "${WORK}/*")
if(written)
  message(FATAL_ERROR "metrofare-demo wrote ${written} although it was called wrongly")
endif()
