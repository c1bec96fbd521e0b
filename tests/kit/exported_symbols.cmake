# SPDX-License-Identifier: MIT
# Lists the symbols the shared library exports (nm -D) and fails on any that
# no public header declares: a C file that takes the address of every one of
# them, after including every public header, must compile. C++ names, never
# declared by the C headers, fail too.
# Variables: LIBRARY (libquarnel.so), HEADER_DIRS (folders holding quarnel/),
# C_COMPILER, NM, WORK_DIR.
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/../common/script_steps.cmake)

include(${CMAKE_CURRENT_LIST_DIR}/../../cmake/read_exports.cmake)
quarnel_read_exports(symbols ${LIBRARY} ${NM})
list(LENGTH symbols count)
if(count LESS 100)
  message(FATAL_ERROR "only ${count} exported symbols read from ${LIBRARY}: ${symbols}")
endif()

set(includes "")
set(flags "")
foreach(dir IN LISTS HEADER_DIRS)
  file(GLOB headers RELATIVE ${dir} ${dir}/quarnel/*.h)
  foreach(header IN LISTS headers)
    string(APPEND includes "#include \"${header}\"\n")
  endforeach()
  list(APPEND flags -I${dir})
endforeach()
set(uses "")
foreach(symbol IN LISTS symbols)
  string(APPEND uses "  (void)&${symbol};\n")
endforeach()
file(MAKE_DIRECTORY ${WORK_DIR})
file(WRITE ${WORK_DIR}/exported.c "${includes}\nvoid qx_every_export(void) {\n${uses}}\n")
# Plain quotes in the compiler's messages, for the list below.
set(ENV{LC_ALL} C)
execute_process(COMMAND ${C_COMPILER} -fsyntax-only -std=c11 ${flags} ${WORK_DIR}/exported.c
                RESULT_VARIABLE result ERROR_VARIABLE err TIMEOUT 120)
if(NOT result EQUAL 0)
  string(REGEX MATCHALL "'[A-Za-z_][A-Za-z0-9_]*' undeclared" undeclared "${err}")
  string(REPLACE "' undeclared" "" undeclared "${undeclared}")
  string(REPLACE "'" "" undeclared "${undeclared}")
  string(REPLACE ";" "\n  " undeclared "${undeclared}")
  message(FATAL_ERROR "exported but declared in no public header:\n  ${undeclared}\n"
                      "compiler:\n${err}")
endif()
message(STATUS "${count} exported symbols, each declared in a public header")
