# Configures the consumer project of subproject/, which includes Quarnel with
# add_subdirectory and checks its targets, then builds its tool (and so the
# library) and runs it standalone.
# Variables: SOURCE_DIR (Quarnel's source folder), WORK_DIR, C_COMPILER,
# CXX_COMPILER.
cmake_minimum_required(VERSION 3.25)

file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})

function(run_step name)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE result OUTPUT_VARIABLE out
                  ERROR_VARIABLE err TIMEOUT 300)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${name} failed (${result}):\n${out}\n${err}")
  endif()
  set(step_output "${out}" PARENT_SCOPE)
  set(step_error "${err}" PARENT_SCOPE)
endfunction()

run_step("configure" ${CMAKE_COMMAND} -S ${SOURCE_DIR}/tests/kit/subproject -B ${WORK_DIR}
         -DQUARNEL_SOURCE_DIR=${SOURCE_DIR} -DCMAKE_C_COMPILER=${C_COMPILER}
         -DCMAKE_CXX_COMPILER=${CXX_COMPILER})
run_step("build" ${CMAKE_COMMAND} --build ${WORK_DIR} --target consumer_tool -j2)
run_step("run" ${WORK_DIR}/consumer_tool -s)
if(NOT step_error STREQUAL "#(Consumer):consumer\n")
  message(FATAL_ERROR "the consumer's tool wrote:\n${step_output}\n${step_error}")
endif()
message(STATUS "Quarnel as a subproject: library and tools only")
