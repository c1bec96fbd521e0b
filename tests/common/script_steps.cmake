# SPDX-License-Identifier: MIT
# Helpers of the CMake test scripts (cmake -P) that build and run projects.

# Runs a command; a non-zero status or a time-out (QX_STEP_TIMEOUT seconds,
# 300 by default) fails the script with its output. Sets step_output and
# step_error in the caller.
function(run_step name)
  set(timeout 300)
  if(QX_STEP_TIMEOUT)
    set(timeout ${QX_STEP_TIMEOUT})
  endif()
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE result OUTPUT_VARIABLE out
                  ERROR_VARIABLE err TIMEOUT ${timeout})
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${name} failed (${result}):\n${out}\n${err}")
  endif()
  set(step_output "${out}" PARENT_SCOPE)
  set(step_error "${err}" PARENT_SCOPE)
endfunction()
