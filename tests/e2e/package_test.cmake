# Installs the build into a fresh prefix, then builds the C probe tool against
# the installed package twice (CMake package, and pkg-config flags with the
# plain C compiler) and runs each under the installed host stand-in.
# Variables: BUILD_DIR, C_TOOL_DIR, WORK_DIR, C_COMPILER.
cmake_minimum_required(VERSION 3.25)

set(prefix ${WORK_DIR}/prefix)
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})

function(run_step name)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE result OUTPUT_VARIABLE out
                  ERROR_VARIABLE err TIMEOUT 240)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${name} failed (${result}):\n${out}\n${err}")
  endif()
  set(step_output "${out}" PARENT_SCOPE)
endfunction()

run_step("install" ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})
foreach(file bin/varnost bin/qxhost include/quarnel/Quarnel.h include/quarnel/QXMain.h
             lib/libquarnel.a lib/cmake/Quarnel/QuarnelConfig.cmake lib/pkgconfig/quarnel.pc)
  if(NOT EXISTS ${prefix}/${file})
    message(FATAL_ERROR "not installed: ${file}")
  endif()
endforeach()

# Runs a tool under the installed host stand-in with QxExit(kQx_EndOnWarning):
# END_TOOL(1) last, the stand-in's status 0.
function(check_tool tool)
  execute_process(COMMAND ${prefix}/bin/qxhost --timeout 30 ${tool} warning
                  RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err TIMEOUT 60)
  if(NOT result EQUAL 0 OR NOT out MATCHES "^START_TOOL\\([^\n]*\\)\nTR\\(13:about to warn\\)\nEND_TOOL\\(1\\)\n$")
    message(FATAL_ERROR "${tool} under the host stand-in: status ${result}\n${out}\n${err}")
  endif()
endfunction()

# The CMake package, from a project that enables the C language only.
run_step("configure the C tool" ${CMAKE_COMMAND} -S ${C_TOOL_DIR} -B ${WORK_DIR}/cmake_build
         -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_C_COMPILER=${C_COMPILER} -DCMAKE_BUILD_TYPE=Release)
run_step("build the C tool" ${CMAKE_COMMAND} --build ${WORK_DIR}/cmake_build)
check_tool(${WORK_DIR}/cmake_build/probe_tool)

# The pkg-config file, with the C compiler alone.
find_program(PKG_CONFIG NAMES pkg-config pkgconf)
if(PKG_CONFIG)
  set(ENV{PKG_CONFIG_PATH} ${prefix}/lib/pkgconfig)
  run_step("pkg-config" ${PKG_CONFIG} --cflags --libs quarnel)
  string(STRIP "${step_output}" flags)
  separate_arguments(flags UNIX_COMMAND "${flags}")
  run_step("compile with pkg-config flags" ${C_COMPILER} ${C_TOOL_DIR}/probe_tool.c
           -o ${WORK_DIR}/pc_probe_tool ${flags})
  check_tool(${WORK_DIR}/pc_probe_tool)
endif()
message(STATUS "installed package used from C: ok")
