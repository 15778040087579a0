# Runs a fuzzer for SECONDS seconds (see CMakeLists.txt).
# Variables: FUZZER, WORK, SECONDS; optional SEEDER and SAMPLES (seeds
# generated and copied), OPTIONS (the fuzzer's, comma-separated; the last
# of a kind counts).

set(seeds "${WORK}/seeds")
set(corpus "${WORK}/corpus")
set(artifacts "${WORK}/artifacts")
file(REMOVE_RECURSE "${seeds}")
file(MAKE_DIRECTORY "${seeds}/generated" "${corpus}" "${artifacts}")

if(IS_DIRECTORY "${SAMPLES}")
  # Samples may be read-only; the copies must not be, or the next run
  # cannot remove them.
  file(COPY "${SAMPLES}/" DESTINATION "${seeds}/samples" NO_SOURCE_PERMISSIONS)
elseif(SAMPLES)
  message(STATUS "No sample folder at ${SAMPLES}: seeding with generated tables only")
endif()

if(SEEDER)
  execute_process(COMMAND "${SEEDER}" "${seeds}/generated" RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "generating the seed tables failed (${rc})")
  endif()
endif()

# New inputs go to the first folder, which is kept between runs; -max_len
# covers the largest sample table, not the memo files.
string(REPLACE "," ";" options "${OPTIONS}")
execute_process(
  COMMAND "${FUZZER}" "${corpus}" "${seeds}"
    -max_total_time=${SECONDS} -timeout=10 -rss_limit_mb=2048 -max_len=131072 ${options}
    -artifact_prefix=${artifacts}/ -print_final_stats=1
  RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "the fuzzer found a problem (exit ${rc}); the input is in ${artifacts}")
endif()
