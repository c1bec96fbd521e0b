# SPDX-License-Identifier: MIT
# quarnel.pc finds its prefix in every library-folder layout: the shared
# build is installed
# - with the multiarch library folder lib/<arch> to a fresh prefix, and
# - reconfigured with an absolute library folder inside the prefix /opt/quarnel,
#   under DESTDIR, the tree then moved elsewhere;
# and in each the guide's pkg-config line builds hello_c, which then runs
# under the build's host stand-in on the installed library; in the multiarch
# layout the CMake package's Quarnel::qxhost is the installed qxhost.
# Variables: SOURCE_DIR, BUILD_DIR (the shared build), WORK_DIR, C_COMPILER,
# LIBRARY_ARCH (the multiarch folder name).
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/../common/script_steps.cmake)

find_program(PKG_CONFIG NAMES pkg-config pkgconf)
if(NOT PKG_CONFIG)
  message(STATUS "pkg-config layout test skipped: pkg-config not installed")
  return()
endif()
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})
set(QX_HOST ${BUILD_DIR}/bin/qxhost)
include(${CMAKE_CURRENT_LIST_DIR}/../common/tool_conversation.cmake)

# Builds hello_c with the guide's line against the quarnel.pc of the folder
# pc_dir and runs it; the library is taken from lib_dir.
function(check_guide_line label pc_dir lib_dir)
  set(ENV{PKG_CONFIG_PATH} ${pc_dir})
  set(ENV{LD_LIBRARY_PATH} ${lib_dir})
  set(dir ${WORK_DIR}/${label})
  file(COPY ${SOURCE_DIR}/examples/tool/hello.c DESTINATION ${dir})
  run_step("${label}: the guide's pkg-config line" sh -c
           "${C_COMPILER} -o hello_c hello.c $(pkg-config --cflags --libs quarnel)"
           WORKING_DIRECTORY ${dir})
  check_example(${dir}/hello_c HelloC "hello from C")
endfunction()

# The CMake package of cmake_dir gives Quarnel::qxhost at qxhost.
function(check_qxhost_target label cmake_dir qxhost)
  run_step("${label}: Quarnel::qxhost" ${CMAKE_COMMAND} -S ${CMAKE_CURRENT_LIST_DIR}/qxhost_target
           -B ${WORK_DIR}/${label}_qxhost_target -DQuarnel_DIR=${cmake_dir} -DEXPECTED=${qxhost})
endfunction()

# The build as configured: prefix /usr, library folder lib/<arch>, installed
# to another prefix.
set(multiarch ${WORK_DIR}/multiarch)
foreach(component runtime dev tools)
  run_step("install ${component}" ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${multiarch}
           --component ${component})
endforeach()
check_guide_line(multiarch ${multiarch}/lib/${LIBRARY_ARCH}/pkgconfig
                 ${multiarch}/lib/${LIBRARY_ARCH})
check_qxhost_target(multiarch ${multiarch}/lib/${LIBRARY_ARCH}/cmake/Quarnel
                    ${multiarch}/bin/qxhost)

# An absolute library folder, installed under DESTDIR, and the tree moved.
run_step("configure with an absolute library folder" ${CMAKE_COMMAND} ${BUILD_DIR}
         -DCMAKE_INSTALL_LIBDIR=/opt/quarnel/lib64)
foreach(component runtime dev tools)
  run_step("install ${component}" ${CMAKE_COMMAND} -E env DESTDIR=${WORK_DIR}/stage
           ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix /opt/quarnel --component ${component})
endforeach()
file(RENAME ${WORK_DIR}/stage/opt/quarnel ${WORK_DIR}/moved)
check_guide_line(absolute ${WORK_DIR}/moved/lib64/pkgconfig ${WORK_DIR}/moved/lib64)
run_step("pkg-config --variable=prefix" ${PKG_CONFIG} --variable=prefix quarnel)
string(STRIP "${step_output}" prefix)
get_filename_component(prefix ${prefix} REALPATH)
if(NOT prefix STREQUAL "${WORK_DIR}/moved")
  message(FATAL_ERROR "prefix of the moved tree: ${prefix}")
endif()
message(STATUS "quarnel.pc: multiarch and absolute library folders, DESTDIR, moved tree; Quarnel::qxhost: ok")
