# Tests that need a display (a private Xvfb) or the tools that drive one. On a machine without
# them such a test is still registered, as one that is skipped and says what is missing, so a
# run shows that it did not test the windows instead of leaving the test out unseen.

# pinscope_missing_tools(VARIABLE [FIND_PROGRAM_VARIABLE TOOL]...): the tools whose
# find_program variable holds no program, or empty.
function(pinscope_missing_tools variable)
  set(missing "")
  set(pairs ${ARGN})
  while(pairs)
    list(POP_FRONT pairs found tool)
    if(NOT ${found})
      list(APPEND missing ${tool})
    endif()
  endwhile()
  set(${variable} "${missing}" PARENT_SCOPE)
endfunction()

# pinscope_test_not_run(NAME missing...): NAME, skipped with the tools it lacks.
function(pinscope_test_not_run name)
  string(REPLACE ";" ", " missing "${ARGN}")
  add_test(NAME ${name} COMMAND sh -c "echo '${name} not run: ${missing} not found on this machine'; exit 77")
  set_tests_properties(${name} PROPERTIES SKIP_RETURN_CODE 77)
  message(WARNING "${name} is skipped: ${missing} not found")
endfunction()
