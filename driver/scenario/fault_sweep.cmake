# Runs SCRIPT once to count the driver's allocations, then once more for each
# of them with that allocation failing: every run must end without a crash
# and with every pool tag balanced.
execute_process(COMMAND ${RUNNER} --count-allocations ${SCRIPT} OUTPUT_VARIABLE out RESULT_VARIABLE rc)
string(REGEX MATCH "allocations ([0-9]+)" found "${out}")
if(NOT found)
  message(FATAL_ERROR "no allocation count from ${SCRIPT} (exit ${rc})")
endif()
set(total ${CMAKE_MATCH_1})
foreach(n RANGE 1 ${total})
  execute_process(COMMAND ${RUNNER} --fail-alloc ${n} ${SCRIPT} OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "allocation ${n} of ${total} failed: exit ${rc}\n${out}\n${err}")
  endif()
endforeach()
message(STATUS "${total} failure points, each without crash or leak")
