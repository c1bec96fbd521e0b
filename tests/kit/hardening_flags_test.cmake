# SPDX-License-Identifier: MIT
# The hardening flags give way to the builder's: configured with CFLAGS,
# CXXFLAGS and LDFLAGS that choose their own stack protector, FORTIFY level
# and lazy binding (as dpkg-buildflags may), the build adds none of its own;
# configured with QUARNEL_HARDENING=OFF, none at all; by default, all of them.
# Only configured, never built: the compile and link commands are read from
# compile_commands.json and the link scripts.
# Variables: SOURCE_DIR, WORK_DIR, C_COMPILER, CXX_COMPILER.
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/../common/script_steps.cmake)
file(REMOVE_RECURSE ${WORK_DIR})

# Configures into WORK_DIR/name with the environment's flags given and the
# extra options, and sets commands to every compile and link command.
function(configure_with name cflags ldflags)
  set(ENV{CFLAGS} "${cflags}")
  set(ENV{CXXFLAGS} "${cflags}")
  set(ENV{LDFLAGS} "${ldflags}")
  run_step("configure ${name}" ${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${WORK_DIR}/${name}
           -DCMAKE_C_COMPILER=${C_COMPILER} -DCMAKE_CXX_COMPILER=${CXX_COMPILER}
           -DBUILD_SHARED_LIBS=ON -DQUARNEL_BUILD_TESTS=OFF -DQUARNEL_BUILD_BENCH=OFF
           -DCMAKE_BUILD_TYPE=Release ${ARGN})
  file(READ ${WORK_DIR}/${name}/compile_commands.json compiles)
  file(GLOB_RECURSE scripts ${WORK_DIR}/${name}/link.txt)
  set(links "")
  foreach(script IN LISTS scripts)
    file(READ ${script} text)
    string(APPEND links "${text}")
  endforeach()
  set(commands "${compiles}\n${links}" PARENT_SCOPE)
endfunction()

set(ours "-fstack-protector-strong" "-D_FORTIFY_SOURCE=2" "-z,relro" "-z,now")
configure_with(default "" "")
foreach(flag IN LISTS ours)
  string(FIND "${commands}" "${flag}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "the default build lacks ${flag}")
  endif()
endforeach()
foreach(name given off)
  if(name STREQUAL "given")
    configure_with(given "-O2 -fno-stack-protector -D_FORTIFY_SOURCE=3" "-Wl,-z,lazy -Wl,-z,norelro")
  else()
    configure_with(off "" "" -DQUARNEL_HARDENING=OFF)
  endif()
  foreach(flag IN LISTS ours)
    string(FIND "${commands}" "${flag}" at)
    if(NOT at EQUAL -1)
      message(FATAL_ERROR "the build adds ${flag} (${name})")
    endif()
  endforeach()
endforeach()
message(STATUS "hardening: on by default, the builder's flags win, QUARNEL_HARDENING=OFF")
