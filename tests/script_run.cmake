# run(<command...> [DIR folder] [OUT variable]): runs a command of a script
# test and stops the test with its output when it fails.
function(run)
  cmake_parse_arguments(R "" "OUT;DIR" "" ${ARGN})
  execute_process(COMMAND ${R_UNPARSED_ARGUMENTS} WORKING_DIRECTORY ${R_DIR}
    OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "failed (${rc}): ${R_UNPARSED_ARGUMENTS}\n${out}\n${err}")
  endif()
  if(R_OUT)
    set(${R_OUT} "${out}" PARENT_SCOPE)
  endif()
endfunction()
