# Runs a fuzzer for SECONDS seconds (see CMakeLists.txt).
# Variables: FUZZER, SEEDER, WORK, SECONDS; optional SAMPLES (a folder of
# seeds to copy), DICT (a dictionary), MAX_LEN (the longest input, 128 KiB
# unless set), MALLOC_LIMIT_MB (the largest allocation, 2 GiB unless set).

set(seeds "${WORK}/seeds")
set(corpus "${WORK}/corpus")
set(artifacts "${WORK}/artifacts")
file(REMOVE_RECURSE "${seeds}")
file(MAKE_DIRECTORY "${seeds}/generated" "${corpus}" "${artifacts}")

if(SAMPLES AND IS_DIRECTORY "${SAMPLES}")
  # Samples may be read-only; the copies must not be, or the next run
  # cannot remove them.
  file(COPY "${SAMPLES}/" DESTINATION "${seeds}/samples" NO_SOURCE_PERMISSIONS)
elseif(SAMPLES)
  message(STATUS "No sample folder at ${SAMPLES}: seeding with generated tables only")
endif()

execute_process(COMMAND "${SEEDER}" "${seeds}/generated" RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "generating the seeds failed (${rc})")
endif()

# New inputs go to the first folder, which is kept between runs; the default
# -max_len covers the largest sample table, not the memo files.
if(NOT MAX_LEN)
  set(MAX_LEN 131072)
endif()
if(NOT MALLOC_LIMIT_MB)
  set(MALLOC_LIMIT_MB 2048)
endif()
set(options)
if(DICT)
  list(APPEND options -dict=${DICT})
endif()
execute_process(
  COMMAND "${FUZZER}" "${corpus}" "${seeds}"
    -max_total_time=${SECONDS} -timeout=10 -rss_limit_mb=2048 -malloc_limit_mb=${MALLOC_LIMIT_MB} -max_len=${MAX_LEN} ${options}
    -artifact_prefix=${artifacts}/ -print_final_stats=1
  RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "the fuzzer found a problem (exit ${rc}); the input is in ${artifacts}")
endif()
