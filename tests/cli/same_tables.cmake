# The same work through the Windows program (under EMULATOR, '|'-separated)
# and through a native one (HOST_CLI): the demo, its minutes, a shift, the
# minutes again, a dump of both tables, and the shift's undoing; then a shift
# of the demo with maintained secondary indexes and its undoing. What they
# print must match line for line, and the files they leave after the shift
# and after the undoing byte for byte, but for the time of creation in each
# table's and index's header.
#
# cmake -DEMULATOR=... -DCLI=gridshift-cli.exe -DHOST_CLI=gridshift-cli -DWORK=dir -P same_tables.cmake

if(NOT HOST_CLI OR NOT EXISTS "${HOST_CLI}")
  message("Skipped: no native gridshift-cli to compare with (configure with -DGRIDSHIFT_HOST_CLI=PATH)")
  return()
endif()
string(REPLACE "|" ";" EMULATOR "${EMULATOR}")
# The shift's record in the journal says when it was made: one time for both.
set(ENV{GRIDSHIFT_FIXED_CLOCK} "2026-12-09 03:14")

# A Cyrillic folder name, as stations have, passed as the text a user types.
set(folder "Эфир")
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}/windows" "${WORK}/host")
set(windows_dir "Z:${WORK}/windows/${folder}")
string(REPLACE "/" "\\" windows_dir "${windows_dir}")
set(host_dir "${WORK}/host/${folder}")

# Runs one command with both programs; each one's standard output, with
# Windows' line ends made plain, goes into windows_out and host_out.
function(run_both)
  cmake_parse_arguments(ARG "" "" "ARGS;WINDOWS_ARGS;HOST_ARGS" ${ARGN})
  execute_process(COMMAND ${EMULATOR} "${CLI}" ${ARG_ARGS} ${ARG_WINDOWS_ARGS}
                  OUTPUT_VARIABLE w ERROR_VARIABLE werr RESULT_VARIABLE wrc)
  execute_process(COMMAND "${HOST_CLI}" ${ARG_ARGS} ${ARG_HOST_ARGS}
                  OUTPUT_VARIABLE h ERROR_VARIABLE herr RESULT_VARIABLE hrc)
  string(JOIN " " shown ${ARG_ARGS})
  if(NOT wrc EQUAL 0)
    message(FATAL_ERROR "Windows program, ${shown}: exit ${wrc}\n${werr}")
  endif()
  if(NOT hrc EQUAL 0)
    message(FATAL_ERROR "native program, ${shown}: exit ${hrc}\n${herr}")
  endif()
  string(REPLACE "\r\n" "\n" w "${w}")
  # Each names its own folder.
  string(REPLACE "${windows_dir}" "DIR" w "${w}")
  string(REPLACE "${host_dir}" "DIR" h "${h}")
  set(windows_out "${w}" PARENT_SCOPE)
  set(host_out "${h}" PARENT_SCOPE)
endfunction()

function(expect_same what)
  if(NOT windows_out STREQUAL host_out)
    file(WRITE "${WORK}/${what}.windows.txt" "${windows_out}")
    file(WRITE "${WORK}/${what}.host.txt" "${host_out}")
    message(FATAL_ERROR "${what} differs: compare ${WORK}/${what}.windows.txt and ${WORK}/${what}.host.txt")
  endif()
endfunction()

# The files of both folders, byte for byte.
function(expect_same_files when)
  file(GLOB windows_files RELATIVE "${WORK}/windows/${folder}" "${WORK}/windows/${folder}/*")
  file(GLOB host_files RELATIVE "${WORK}/host/${folder}" "${WORK}/host/${folder}/*")
  if(NOT windows_files STREQUAL host_files)
    message(FATAL_ERROR "${when}, the programs left different files: ${windows_files} and ${host_files}")
  endif()
  foreach(name IN LISTS windows_files)
    foreach(side windows host)
      file(READ "${WORK}/${side}/${folder}/${name}" ${side}_bytes HEX)
      if(name MATCHES "\\.(db|x[0-9a-f][0-9a-f]|xg[0-9a-f])$")
        # Header bytes 0x60-0x63: when the table or index was made.
        string(SUBSTRING "${${side}_bytes}" 0 192 head)
        string(SUBSTRING "${${side}_bytes}" 200 -1 tail)
        set(${side}_bytes "${head}${tail}")
      endif()
    endforeach()
    if(NOT windows_bytes STREQUAL host_bytes)
      message(FATAL_ERROR "${when}, ${name} differs between the programs")
    endif()
  endforeach()
  message("${when}, the Windows and the native program left the same files: ${windows_files}")
endfunction()

run_both(ARGS demo WINDOWS_ARGS "${windows_dir}" HOST_ARGS "${host_dir}")
expect_same(demo)
# Both look the folder up in other letter cases than it was made in.
string(TOUPPER "${windows_dir}" windows_upper)
run_both(ARGS minutes WINDOWS_ARGS "${windows_upper}" HOST_ARGS "${host_dir}")
expect_same(minutes)
if(NOT windows_out MATCHES "^00\n05\n15\n")
  message(FATAL_ERROR "unexpected minutes of the demo:\n${windows_out}")
endif()
set(minutes_before "${windows_out}")
run_both(ARGS shift --from 15 --to 20 --size 02:30 --days 0-4 --hours 8-11,14 --yes
         WINDOWS_ARGS "${windows_dir}" HOST_ARGS "${host_dir}")
expect_same(shift)
run_both(ARGS minutes WINDOWS_ARGS "${windows_dir}" HOST_ARGS "${host_dir}")
expect_same(minutes-after)
foreach(table AdvSetBlk AdvBlock)
  run_both(ARGS dump WINDOWS_ARGS "${windows_dir}\\${table}.db" HOST_ARGS "${host_dir}/${table}.db")
  expect_same(${table}-dump)
endforeach()

expect_same_files("After the shift")
run_both(ARGS undo --yes WINDOWS_ARGS "${windows_dir}" HOST_ARGS "${host_dir}")
expect_same(undo)
run_both(ARGS minutes WINDOWS_ARGS "${windows_dir}" HOST_ARGS "${host_dir}")
expect_same(minutes-undone)
if(NOT windows_out STREQUAL minutes_before)
  message(FATAL_ERROR "the undoing left the minutes:\n${windows_out}")
endif()
expect_same_files("After the undoing")

# The same with maintained secondary indexes, which the shift and the undoing
# change too.
set(folder "Эфир-индексы")
set(windows_dir "Z:${WORK}/windows/${folder}")
string(REPLACE "/" "\\" windows_dir "${windows_dir}")
set(host_dir "${WORK}/host/${folder}")
run_both(ARGS demo --secondary WINDOWS_ARGS "${windows_dir}" HOST_ARGS "${host_dir}")
expect_same(demo-secondary)
run_both(ARGS shift --from 15 --to 50 --size 02:30 --yes WINDOWS_ARGS "${windows_dir}" HOST_ARGS "${host_dir}")
expect_same(shift-secondary)
expect_same_files("After the shift of the tables with secondary indexes")
run_both(ARGS undo --yes WINDOWS_ARGS "${windows_dir}" HOST_ARGS "${host_dir}")
expect_same(undo-secondary)
expect_same_files("After the undoing of that shift")
