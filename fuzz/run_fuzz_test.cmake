# One fuzz target as a ctest entry: cmake -DFUZZER=... -DCORPUS=... -DSCRATCH=...
# -DARTIFACTS=... -DRUNS=... -DMAX_LEN=... -P run_fuzz_test.cmake
#
# libFuzzer writes every new input into the first folder it is given, so that
# one is a scratch folder emptied here; the committed seeds come second and
# are only read. The seed is fixed, so a failure shows again on the same
# build; tools/fuzz is where the random, longer runs happen.
foreach(var FUZZER CORPUS SCRATCH ARTIFACTS RUNS MAX_LEN)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "run_fuzz_test.cmake: ${var} not given")
  endif()
endforeach()

file(REMOVE_RECURSE ${SCRATCH})
file(MAKE_DIRECTORY ${SCRATCH} ${ARTIFACTS})

execute_process(
  COMMAND ${FUZZER} -runs=${RUNS} -max_len=${MAX_LEN} -seed=1 -timeout=20
          -artifact_prefix=${ARTIFACTS}/ -print_final_stats=1
          ${SCRATCH} ${CORPUS}
  RESULT_VARIABLE status)
file(REMOVE_RECURSE ${SCRATCH})
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${FUZZER} failed (${status}); the failing input is in ${ARTIFACTS}/ "
                      "and runs again with: ${FUZZER} <that file>")
endif()
