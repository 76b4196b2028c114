# metrofare-demo takes exactly one directory after its one option (--time-of-day 0..3): without
# a directory, with two, with another option or a time of day outside 0..3 it prints its usage,
# exits non-zero and writes nothing.
#   cmake -DDEMO=<metrofare-demo> -DWORK=<scratch dir> -P DemoUsage.cmake
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}")
foreach(arguments IN ITEMS "" "one;two" "--help" "-x" "-" "--time-of-day;4;dir" "--time-of-day;1" "dir;--time-of-day;1")
  execute_process(COMMAND ${DEMO} ${arguments} WORKING_DIRECTORY "${WORK}"
    RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(result EQUAL 0 OR NOT err MATCHES "usage: metrofare-demo \\[--time-of-day 0..3\\] DIR")
    message(FATAL_ERROR "metrofare-demo '${arguments}': status ${result}, output:\n${out}${err}")
  endif()
endforeach()
file(GLOB written "${WORK}/*")
if(written)
  message(FATAL_ERROR "metrofare-demo wrote ${written} although it was called wrongly")
endif()
