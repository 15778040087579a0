# What a program answers before any work: --version prints "gridshift
# VERSION" alone, --help and -h the usage, which names --version, all with
# status 0; an argument it does not know gets 2 and nothing on standard output.
#
# cmake [-DEMULATOR=a|b|c] -DPROGRAM=path -DVERSION=0.1 -P program_options.cmake
string(REPLACE "|" ";" EMULATOR "${EMULATOR}")
string(REPLACE "." "\\." version "${VERSION}")
function(check status expected argument)
  execute_process(COMMAND ${EMULATOR} "${PROGRAM}" ${argument} OUTPUT_VARIABLE out ERROR_QUIET RESULT_VARIABLE rc)
  string(REPLACE "\r\n" "\n" out "${out}")
  if(NOT rc STREQUAL status OR NOT out MATCHES "${expected}")
    message(SEND_ERROR "${PROGRAM} ${argument}: exit ${rc} (not ${status}), output not matching ${expected}:\n${out}")
  endif()
endfunction()
check(0 "^gridshift ${version}\n$" --version)
check(0 "^usage: .*--version" --help)
check(0 "^usage: .*--version" -h)
check(2 "^$" --no-such-option)
