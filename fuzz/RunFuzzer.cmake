# Runs one fuzzer for a bounded time on a scratch copy of its seed corpus, so that the inputs
# it finds go to the build tree and the repository stays as it is.
#
#   cmake -DFUZZER=<program> -DSEEDS=<dir> -DWORK=<dir> -DSECONDS=<n> [-DOPTIONS=<list>]
#         -P RunFuzzer.cmake
#
# Fails when the fuzzer does: a crash, a sanitizer report, an input that runs longer than the
# per-input timeout (a prompt or menu that does not end), or running out of memory. The input
# that did it is left in <WORK>/artifacts for reproduction: `<program> <that file>`.
foreach(var FUZZER SEEDS WORK SECONDS)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "RunFuzzer.cmake needs -D${var}=...")
  endif()
endforeach()

file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK}/corpus ${WORK}/artifacts)
file(GLOB seeds ${SEEDS}/*)
file(COPY ${seeds} DESTINATION ${WORK}/corpus)

execute_process(
  COMMAND ${FUZZER}
    -max_total_time=${SECONDS}
    # Any single input runs in well under a millisecond; ten seconds is a hang.
    -timeout=10
    -max_len=4096
    -verbosity=0
    -print_final_stats=1
    ${OPTIONS}
    -artifact_prefix=${WORK}/artifacts/
    ${WORK}/corpus
  RESULT_VARIABLE result)

if(NOT result EQUAL 0)
  file(GLOB found ${WORK}/artifacts/*)
  message(FATAL_ERROR "${FUZZER} failed (${result}); run it again on the input to see why: "
                      "${found}")
endif()
