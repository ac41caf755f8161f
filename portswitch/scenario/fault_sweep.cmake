# Runs SCRIPT once to count the calls to the outside that UnPlug and RePlug
# make, then fails each of them in turn, once with the user trying the failed
# call again and once giving up a failed UnPlug with RePlug: every run must
# report the failure, leave nothing open and end where the healthy run ends.
execute_process(COMMAND ${RUNNER} --count-calls ${SCRIPT} OUTPUT_VARIABLE out RESULT_VARIABLE rc)
string(REGEX MATCH "calls ([0-9]+)" found "${out}")
if(NOT found OR NOT rc EQUAL 0)
  message(FATAL_ERROR "no call count from ${SCRIPT} (exit ${rc})\n${out}")
endif()
set(total ${CMAKE_MATCH_1})
foreach(n RANGE 1 ${total})
  foreach(mode "" "--give-up")
    execute_process(COMMAND ${RUNNER} --fail-call ${n} ${mode} ${SCRIPT} OUTPUT_VARIABLE out ERROR_VARIABLE err
                    RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0)
      message(FATAL_ERROR "call ${n} of ${total} failed ${mode}: exit ${rc}\n${out}\n${err}")
    endif()
  endforeach()
endforeach()
message(STATUS "${total} failure points, each reported, balanced and recovered")
