# SPDX-License-Identifier: MIT
# Configures the consumer project of subproject/, which includes Quarnel with
# add_subdirectory and checks its targets, then builds its tool (and so the
# library) and runs it standalone.
# Variables: SOURCE_DIR (Quarnel's source folder), WORK_DIR, C_COMPILER,
# CXX_COMPILER.
cmake_minimum_required(VERSION 3.25)

file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})

include(${CMAKE_CURRENT_LIST_DIR}/../common/script_steps.cmake)

run_step("configure" ${CMAKE_COMMAND} -S ${SOURCE_DIR}/tests/kit/subproject -B ${WORK_DIR}
         -DQUARNEL_SOURCE_DIR=${SOURCE_DIR} -DCMAKE_C_COMPILER=${C_COMPILER}
         -DCMAKE_CXX_COMPILER=${CXX_COMPILER})
run_step("build" ${CMAKE_COMMAND} --build ${WORK_DIR} --target consumer_tool -j2)
run_step("run" ${WORK_DIR}/consumer_tool -s)
if(NOT step_error STREQUAL "#(Consumer):consumer\n")
  message(FATAL_ERROR "the consumer's tool wrote:\n${step_output}\n${step_error}")
endif()
message(STATUS "Quarnel as a subproject: library and tools only")
