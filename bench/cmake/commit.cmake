# cmake -DSOURCE_DIR=... -DOUTPUT=... -P commit.cmake
# Writes OUTPUT defining VORLEX_BENCH_COMMIT as the source tree's commit
# ("abc1234", "abc1234-dirty", or "unknown" outside git), touching the file
# only when the text changes, so builds after a commit rebuild one object.
execute_process(COMMAND git -C "${SOURCE_DIR}" describe --always --dirty --abbrev=12
  OUTPUT_VARIABLE commit OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET RESULT_VARIABLE rc)
if(NOT rc EQUAL 0 OR commit STREQUAL "")
  set(commit "unknown")
endif()
set(text "#define VORLEX_BENCH_COMMIT \"${commit}\"\n")
if(EXISTS "${OUTPUT}")
  file(READ "${OUTPUT}" old)
endif()
if(NOT old STREQUAL text)
  file(WRITE "${OUTPUT}" "${text}")
endif()
