# expect_reported(<check> <findings> COMMAND <command...> EXPECTED <text...>): runs a layering
# check on what a self-test planted and fails unless the check fails with exactly the planted
# findings: its summary "<check>: <count> <findings>" counts them and each expected text (a place
# or a whole line) is in its report.
function(expect_reported check findings)
  cmake_parse_arguments(E "" "" "COMMAND;EXPECTED" ${ARGN})
  execute_process(COMMAND ${E_COMMAND} RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(result EQUAL 0)
    message(FATAL_ERROR "${check} passed what was planted:\n${out}")
  endif()
  list(LENGTH E_EXPECTED count)
  if(NOT out MATCHES "${check}: ${count} ${findings}")
    message(FATAL_ERROR "expected ${count} ${findings}, the check said:\n${out}")
  endif()
  foreach(what IN LISTS E_EXPECTED)
    string(FIND "${out}" "${what}" at)
    if(at LESS 0)
      message(FATAL_ERROR "\"${what}\" went unreported:\n${out}")
    endif()
  endforeach()
  message(STATUS "all ${count} planted ${findings} reported, nothing else")
endfunction()
