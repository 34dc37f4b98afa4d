# Compiles SOURCE with -DTAV_MISTAKE=MISTAKE and checks the outcome: with EXPECTED empty the
# source must compile; otherwise it must fail, its output must hold EXPECTED, and it must report
# at most MAX_ERRORS errors, so that the reason is not buried under template noise.
#   cmake -DCOMPILER=... -DSOURCE_DIR=... -DSOURCE=... -DMISTAKE=n [-DEXPECTED=text] -P this
execute_process(
  COMMAND ${COMPILER} -std=c++20 -fsyntax-only -I${SOURCE_DIR} -DTAV_MISTAKE=${MISTAKE} ${SOURCE}
  RESULT_VARIABLE result
  OUTPUT_VARIABLE output
  ERROR_VARIABLE output)
if(NOT EXPECTED)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "the accepted plugin does not compile:\n${output}")
  endif()
  return()
endif()
if(result EQUAL 0)
  message(FATAL_ERROR "mistake ${MISTAKE} compiled; expected: ${EXPECTED}")
endif()
string(FIND "${output}" "${EXPECTED}" at)
if(at EQUAL -1)
  message(FATAL_ERROR "mistake ${MISTAKE} failed without \"${EXPECTED}\":\n${output}")
endif()
string(REGEX MATCHALL "error: " errors "${output}")
list(LENGTH errors count)
if(count GREATER MAX_ERRORS)
  message(FATAL_ERROR "mistake ${MISTAKE} gave ${count} errors (at most ${MAX_ERRORS}):\n${output}")
endif()
