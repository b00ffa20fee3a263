# Runs a fuzz target over its corpus with a temporary directory of its own and
# fails when the run leaves anything in it.
#   cmake -DEXE=<target> -DCORPUS=<dir> [-DRUNS=-runs=0] -P leaves_nothing.cmake
string(RANDOM LENGTH 12 tag)
if(DEFINED ENV{TMPDIR} AND IS_DIRECTORY "$ENV{TMPDIR}")
  set(tmp "$ENV{TMPDIR}/ndt-fuzz-${tag}")
else()
  set(tmp "/tmp/ndt-fuzz-${tag}")
endif()
file(MAKE_DIRECTORY "${tmp}")
execute_process(COMMAND ${CMAKE_COMMAND} -E env "TMPDIR=${tmp}" "${EXE}" ${RUNS} "${CORPUS}"
                RESULT_VARIABLE rc OUTPUT_QUIET ERROR_VARIABLE err)
file(GLOB left "${tmp}/*")
file(REMOVE_RECURSE "${tmp}")
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${EXE} failed (${rc}): ${err}")
endif()
if(left)
  message(FATAL_ERROR "left behind in the temporary directory: ${left}")
endif()
