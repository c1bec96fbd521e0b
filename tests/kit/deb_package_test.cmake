# SPDX-License-Identifier: MIT
# The Debian packages as a distribution would ship them and a tool author
# would use them:
# - cpack -G DEB in the shared build gives quarnel-tools, libquarnel1,
#   libquarnel-dev and quarnel-doc; lintian reports no error on any of them;
# - each holds its copyright file and changelog, libquarnel-dev depends on
#   libquarnel1 of the same version, man pages are compressed;
# - unpacked with dpkg -x into a scratch root, the packages build the C probe
#   with the CMake package (shared and static kinds), the example tools in C
#   and C++ with the CMake package, hello_c with the guide's pkg-config line
#   and hello_cxx with pkg-config and the C++ compiler;
# - each of those runs under the packaged qxhost, the shared ones on the
#   packaged libquarnel.so.1, and so does the packaged varnost.
# Skipped where cpack, dpkg-deb or lintian is missing.
# Variables: SOURCE_DIR, BUILD_DIR (the shared build), WORK_DIR, C_COMPILER,
# CXX_COMPILER, VERSION, LIBRARY_ARCH (the multiarch folder name).
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/../common/script_steps.cmake)

get_filename_component(cmake_bin ${CMAKE_COMMAND} DIRECTORY)
find_program(CPACK cpack HINTS ${cmake_bin})
find_program(DPKG_DEB dpkg-deb)
find_program(LINTIAN lintian)
find_program(PKG_CONFIG NAMES pkg-config pkgconf)
foreach(tool CPACK DPKG_DEB LINTIAN PKG_CONFIG)
  if(NOT ${tool})
    message(STATUS "package test skipped: ${tool} not installed")
    return()
  endif()
endforeach()

file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR}/debs)
run_step("cpack" ${CPACK} -G DEB --config ${BUILD_DIR}/CPackConfig.cmake -B ${WORK_DIR}/debs)
set(packages quarnel-tools libquarnel1 libquarnel-dev quarnel-doc)
set(files "")
foreach(package IN LISTS packages)
  file(GLOB deb ${WORK_DIR}/debs/${package}_${VERSION}_*.deb)
  if(NOT deb)
    file(GLOB made ${WORK_DIR}/debs/*.deb)
    message(FATAL_ERROR "no package ${package} ${VERSION}; made: ${made}")
  endif()
  list(APPEND files ${deb})
  set(deb_${package} ${deb})
endforeach()

# lintian: no error (warnings are reported in the test's output).
execute_process(COMMAND ${LINTIAN} ${files} RESULT_VARIABLE result OUTPUT_VARIABLE out
                ERROR_VARIABLE err TIMEOUT 240)
message(STATUS "lintian:\n${out}")
if(out MATCHES "(^|\n)E: ")
  message(FATAL_ERROR "lintian reports errors:\n${out}\n${err}")
endif()

# The control fields.
run_step("dpkg-deb -f" ${DPKG_DEB} -f ${deb_libquarnel-dev} Depends)
if(NOT step_output MATCHES "libquarnel1 \\(= ${VERSION}\\)")
  message(FATAL_ERROR "libquarnel-dev depends on: ${step_output}")
endif()
run_step("dpkg-deb -f" ${DPKG_DEB} -f ${deb_quarnel-tools} Maintainer Depends)
if(NOT step_output MATCHES "Maintainer: the Varnost authors <" OR
   NOT step_output MATCHES "libc6" OR NOT step_output MATCHES "libquarnel1 \\(= ${VERSION}\\)" OR
   NOT step_output MATCHES "libexpat1")
  message(FATAL_ERROR "quarnel-tools: ${step_output}")
endif()

# Unpacked into a scratch root.
set(root ${WORK_DIR}/root)
foreach(deb IN LISTS files)
  run_step("dpkg-deb -x ${deb}" ${DPKG_DEB} -x ${deb} ${root})
endforeach()
set(libdir ${root}/usr/lib/${LIBRARY_ARCH})
foreach(package IN LISTS packages)
  foreach(file copyright changelog.gz)
    if(NOT EXISTS ${root}/usr/share/doc/${package}/${file})
      message(FATAL_ERROR "${package} has no ${file}")
    endif()
  endforeach()
endforeach()
foreach(file usr/bin/varnost usr/bin/pnconv usr/bin/qxhost usr/share/man/man1/varnost.1.gz
             usr/share/man/man1/pnconv.1.gz
             usr/share/man/man7/quarnel.7.gz usr/include/quarnel/QXVersion.h
             usr/lib/${LIBRARY_ARCH}/libquarnel.so.${VERSION} usr/lib/${LIBRARY_ARCH}/libquarnel.a
             usr/lib/${LIBRARY_ARCH}/libquarnel_main.a
             usr/share/doc/quarnel/LICENSE usr/share/doc/quarnel/CHANGELOG.md)
  if(NOT EXISTS ${root}/${file})
    message(FATAL_ERROR "not packaged: ${file}")
  endif()
endforeach()

# The packaged programs find the packaged library.
set(ENV{LD_LIBRARY_PATH} ${libdir})
set(QX_HOST ${root}/usr/bin/qxhost)
include(${CMAKE_CURRENT_LIST_DIR}/../common/tool_conversation.cmake)
run_step("qxhost --version" ${QX_HOST} --version)
if(NOT step_output STREQUAL "qxhost ${VERSION}\n")
  message(FATAL_ERROR "qxhost --version printed: ${step_output}")
endif()

# A tool linked with the shared library needs libquarnel.so.1; one linked
# with the static archive does not.
function(check_link tool kind)
  execute_process(COMMAND readelf -d ${tool} OUTPUT_VARIABLE dynamic RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "readelf -d ${tool} failed")
  endif()
  string(FIND "${dynamic}" "[libquarnel.so.1]" needed)
  if(kind STREQUAL "shared" AND needed EQUAL -1 OR kind STREQUAL "static" AND NOT needed EQUAL -1)
    message(FATAL_ERROR "${tool} is not linked as ${kind}:\n${dynamic}")
  endif()
endfunction()

# The CMake package: the C probe in both kinds, and the installed examples.
run_step("configure the C probe" ${CMAKE_COMMAND} -S ${CMAKE_CURRENT_LIST_DIR}/package_consumer
         -B ${WORK_DIR}/probe_build -DCMAKE_PREFIX_PATH=${root}/usr -DCMAKE_C_COMPILER=${C_COMPILER}
         -DPROBE_SOURCE=${SOURCE_DIR}/tests/e2e/c_tool/probe_tool.c -DEXPECTED_VERSION=${VERSION})
run_step("build the C probe" ${CMAKE_COMMAND} --build ${WORK_DIR}/probe_build)
check_link(${WORK_DIR}/probe_build/probe_shared shared)
check_link(${WORK_DIR}/probe_build/probe_static static)
check_probe(${WORK_DIR}/probe_build/probe_shared)
check_probe(${WORK_DIR}/probe_build/probe_static)

set(doc ${root}/usr/share/doc/quarnel)
run_step("configure the examples" ${CMAKE_COMMAND} -S ${doc}/examples/tool
         -B ${WORK_DIR}/examples_build -DCMAKE_PREFIX_PATH=${root}/usr
         -DCMAKE_C_COMPILER=${C_COMPILER} -DCMAKE_CXX_COMPILER=${CXX_COMPILER})
run_step("build the examples" ${CMAKE_COMMAND} --build ${WORK_DIR}/examples_build)
check_link(${WORK_DIR}/examples_build/hello_cxx shared)
check_example(${WORK_DIR}/examples_build/hello_cxx HelloCxx "hello from C++")

# pkg-config: the guide's line for hello_c, and hello_cxx with the C++
# compiler, from the examples' folder.
set(ENV{PKG_CONFIG_PATH} ${libdir}/pkgconfig)
file(COPY ${doc}/examples/tool/hello.c ${doc}/examples/tool/hello.cc
     DESTINATION ${WORK_DIR}/pc_examples)
run_step("the guide's pkg-config line" sh -c
         "${C_COMPILER} -o hello_c hello.c $(pkg-config --cflags --libs quarnel)"
         WORKING_DIRECTORY ${WORK_DIR}/pc_examples)
run_step("hello_cxx with pkg-config" sh -c
         "${CXX_COMPILER} -std=c++20 -o hello_cxx hello.cc $(pkg-config --cflags --libs quarnel)"
         WORKING_DIRECTORY ${WORK_DIR}/pc_examples)
check_link(${WORK_DIR}/pc_examples/hello_c shared)
check_example(${WORK_DIR}/pc_examples/hello_c HelloC "hello from C")
check_example(${WORK_DIR}/pc_examples/hello_cxx HelloCxx "hello from C++")
run_step("pkg-config --static" ${PKG_CONFIG} --static --libs quarnel)
if(NOT step_output MATCHES "-lstdc\\+\\+")
  message(FATAL_ERROR "pkg-config --static gives no C++ runtime: ${step_output}")
endif()

# The packaged converter under the packaged host stand-in.
file(COPY ${doc}/examples/peterson.mat ${doc}/examples/peterson.mat.ref
     DESTINATION ${WORK_DIR}/workspace)
run_step("varnost --version" ${root}/usr/bin/varnost --version)
if(NOT step_output STREQUAL "varnost ${VERSION}\n")
  message(FATAL_ERROR "varnost --version printed: ${step_output}")
endif()
check_run("the packaged varnost" COMMAND --workspace ${WORK_DIR}/workspace
          ${root}/usr/bin/varnost peterson.mat
  EXPECT "START_TOOL(1:C,2,1,2,6,2,3,7:Varnost,3:1.1,23:(c) the Varnost authors)" "END_TOOL(0)")
if(NOT EXISTS ${WORK_DIR}/workspace/peterson.mat.ll_net)
  message(FATAL_ERROR "the packaged varnost wrote no peterson.mat.ll_net")
endif()
message(STATUS "Debian packages: built, lintian-clean, installed and used")
