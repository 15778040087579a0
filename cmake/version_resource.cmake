# gridshift_version_resource(target description)
# Gives a Windows program the version resource that Explorer's Properties and
# the installers read: the project's version, its name, the program's
# description and the copyright.
function(gridshift_version_resource target description)
  set(_numbers ${PROJECT_VERSION_MAJOR} ${PROJECT_VERSION_MINOR} ${PROJECT_VERSION_PATCH}
               ${PROJECT_VERSION_TWEAK})
  set(VERSION_NUMBERS "")
  foreach(_n IN LISTS _numbers)
    if(_n STREQUAL "")
      set(_n 0)
    endif()
    string(APPEND VERSION_NUMBERS "${_n},")
  endforeach()
  string(REGEX REPLACE ",$" "" VERSION_NUMBERS "${VERSION_NUMBERS}")
  set(PROGRAM_NAME ${target})
  set(PROGRAM_DESCRIPTION "${description}")
  set(_rc ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/version.rc.in ${_rc} @ONLY)
  target_sources(${target} PRIVATE ${_rc})
endfunction()
