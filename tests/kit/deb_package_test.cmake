# SPDX-License-Identifier: MIT
# The Debian packages as a distribution would ship them and a tool author
# would use them:
# - cpack -G DEB in the shared build gives quarnel-tools, libquarnel1,
#   libquarnel-dev and quarnel-doc, and the same packages, byte for byte,
#   from a second build of the source in another folder (AGAIN_DIR);
# - lintian --pedantic reports no error and no warning on them;
# - their Multi-Arch fields, relations, symbols and shlibs files are those a
#   distribution wants, the library's package has no maintainer script;
# - every ELF file in them is hardened and stripped and holds no build folder;
# - each holds its copyright file and changelog, man pages and documentation
#   are compressed;
# - unpacked with dpkg -x into a scratch root, the packages build the C probe
#   with the CMake package (shared and static kinds), the example tools in C
#   and C++ with the CMake package, hello_c with the guide's pkg-config line
#   and hello_cxx with pkg-config and the C++ compiler;
# - each of those runs under the packaged qxhost, the shared ones on the
#   packaged libquarnel.so.1, and so does the packaged varnost; a program
#   with its own main and no identity links against the shared library.
# Skipped where cpack, dpkg-deb or lintian is missing.
# Variables: SOURCE_DIR, BUILD_DIR (the shared build), AGAIN_DIR (the same
# source built again in another folder), WORK_DIR, C_COMPILER, CXX_COMPILER,
# VERSION, LIBRARY_ARCH (the multiarch folder name).
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
set(packages quarnel-tools libquarnel1 libquarnel-dev quarnel-doc)
# Makes the packages of the build folder build_dir into WORK_DIR/name and
# sets deb_<package> for each, and files to all of them.
function(make_packages build_dir name)
  file(MAKE_DIRECTORY ${WORK_DIR}/${name})
  run_step("cpack in ${build_dir}" ${CPACK} -G DEB --config ${build_dir}/CPackConfig.cmake
           -B ${WORK_DIR}/${name})
  set(all "")
  foreach(package IN LISTS packages)
    file(GLOB deb ${WORK_DIR}/${name}/${package}_${VERSION}_*.deb)
    if(NOT deb)
      file(GLOB made ${WORK_DIR}/${name}/*.deb)
      message(FATAL_ERROR "no package ${package} ${VERSION}; made: ${made}")
    endif()
    list(APPEND all ${deb})
    set(deb_${package} ${deb} PARENT_SCOPE)
  endforeach()
  set(files ${all} PARENT_SCOPE)
endfunction()
# Both builds date their files alike: from SOURCE_DATE_EPOCH when the
# environment gives it, else from the checkout's last commit.
make_packages(${BUILD_DIR} debs)

# Reproducible: the same source built again in another folder (AGAIN_DIR,
# built by the test package.SecondBuildInAnotherFolder) gives the same
# packages, byte for byte; the files that differ are named.
set(first_files ${files})
make_packages(${AGAIN_DIR} debs_again)
foreach(first again IN ZIP_LISTS first_files files)
  file(SHA256 ${first} first_sum)
  file(SHA256 ${again} again_sum)
  if(NOT first_sum STREQUAL again_sum)
    foreach(deb first again)
      file(MAKE_DIRECTORY ${WORK_DIR}/differ/${deb})
      run_step("dpkg-deb -x" ${DPKG_DEB} -x ${${deb}} ${WORK_DIR}/differ/${deb})
    endforeach()
    file(GLOB_RECURSE contents RELATIVE ${WORK_DIR}/differ/first ${WORK_DIR}/differ/first/*)
    set(differing "")
    foreach(file IN LISTS contents)
      file(SHA256 ${WORK_DIR}/differ/first/${file} a)
      set(b "")
      if(EXISTS ${WORK_DIR}/differ/again/${file})
        file(SHA256 ${WORK_DIR}/differ/again/${file} b)
      endif()
      if(NOT a STREQUAL b)
        string(APPEND differing "\n  ${file}")
      endif()
    endforeach()
    message(FATAL_ERROR "two builds in two folders give different packages:\n  ${first}\n  "
                        "${again}\nfiles that differ:${differing}")
  endif()
endforeach()

# lintian, pedantic: no error and no warning (the informational and pedantic
# tags that remain are printed in the test's output).
execute_process(COMMAND ${LINTIAN} --pedantic --display-info ${files} RESULT_VARIABLE result
                OUTPUT_VARIABLE out ERROR_VARIABLE err TIMEOUT 240)
message(STATUS "lintian:\n${out}")
if(out MATCHES "(^|\n)[EW]: ")
  message(FATAL_ERROR "lintian reports errors or warnings:\n${out}\n${err}")
endif()

# The control fields and files: Multi-Arch, relations, the symbols file and
# shlibs with ">=" dependencies, the library's cache refreshed by dpkg's
# trigger alone.
function(check_field package field expected)
  run_step("dpkg-deb -f" ${DPKG_DEB} -f ${deb_${package}} ${field})
  string(STRIP "${step_output}" value)
  if(NOT value MATCHES "${expected}")
    message(FATAL_ERROR "${package}: ${field}: ${value}, expected ${expected}")
  endif()
endfunction()
string(REPLACE "." "\\." version_re "${VERSION}")
check_field(libquarnel1 Multi-Arch "^same$")
check_field(libquarnel-dev Multi-Arch "^same$")
check_field(quarnel-tools Multi-Arch "^foreign$")
check_field(quarnel-doc Multi-Arch "^foreign$")
check_field(libquarnel-dev Depends "libquarnel1 \\(= ${version_re}\\)")
check_field(libquarnel-dev Recommends "quarnel-tools")
check_field(quarnel-tools Depends "libc6.*libquarnel1 \\(>= ${version_re}\\)|libquarnel1 \\(>= ${version_re}\\).*libc6")
check_field(quarnel-tools Depends "libexpat1")
check_field(quarnel-tools Maintainer "^the Varnost authors <")
run_step("dpkg-deb --ctrl-tarfile" ${DPKG_DEB} -I ${deb_libquarnel1})
if(step_output MATCHES "postinst|postrm" OR NOT step_output MATCHES " triggers")
  message(FATAL_ERROR "libquarnel1: maintainer scripts or no triggers:\n${step_output}")
endif()
run_step("the symbols file" ${DPKG_DEB} -I ${deb_libquarnel1} symbols)
if(NOT step_output MATCHES "^libquarnel\\.so\\.1 libquarnel1 #MINVER#\n" OR
   NOT step_output MATCHES "\n QxMain@Base ${version_re}\n")
  message(FATAL_ERROR "libquarnel1's symbols file:\n${step_output}")
endif()
run_step("the shlibs file" ${DPKG_DEB} -I ${deb_libquarnel1} shlibs)
if(NOT step_output MATCHES "^libquarnel 1 libquarnel1 \\(>= ${version_re}\\)")
  message(FATAL_ERROR "libquarnel1's shlibs file:\n${step_output}")
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
             usr/share/doc/quarnel/README.md)
  if(NOT EXISTS ${root}/${file})
    message(FATAL_ERROR "not packaged: ${file}")
  endif()
endforeach()

# Every ELF file of the packages, whatever it is, is hardened as the
# distribution's build flags make it: RELRO and BIND_NOW (a read-only GOT),
# the stack protector, the checked variants of the C library's functions
# (when it calls any function that has one), and programs position-independent.
# Debug information is stripped and no build folder is left in them.
find_program(READELF readelf REQUIRED)
file(GLOB_RECURSE packaged LIST_DIRECTORIES false ${root}/*)
set(elf_count 0)
foreach(file IN LISTS packaged)
  if(IS_SYMLINK ${file})
    continue()
  endif()
  file(READ ${file} magic LIMIT 4 HEX)
  if(NOT magic STREQUAL "7f454c46")
    continue()
  endif()
  math(EXPR elf_count "${elf_count} + 1")
  run_step("readelf ${file}" ${READELF} -hldW --dyn-syms -S ${file})
  set(elf "${step_output}")
  set(missing "")
  if(NOT elf MATCHES "GNU_RELRO")
    list(APPEND missing RELRO)
  endif()
  if(NOT elf MATCHES "\\(FLAGS\\)[^\n]*BIND_NOW" AND NOT elf MATCHES "\\(FLAGS_1\\)[^\n]*NOW")
    list(APPEND missing BIND_NOW)
  endif()
  if(NOT elf MATCHES " __stack_chk_fail")
    list(APPEND missing "stack protector")
  endif()
  if(NOT elf MATCHES " __[a-z_]+_chk(@|\n)" AND
     elf MATCHES " (memcpy|memmove|memset|strcpy|strcat|sprintf|snprintf|vsnprintf|fprintf|printf|read|fgets)(@|\n)")
    list(APPEND missing FORTIFY)
  endif()
  if(elf MATCHES "Type: +EXEC")
    list(APPEND missing PIE)
  endif()
  if(elf MATCHES "\\.debug_")
    list(APPEND missing "stripped debug information")
  endif()
  file(STRINGS ${file} build_paths REGEX "${WORK_DIR}|${BUILD_DIR}|${AGAIN_DIR}|${SOURCE_DIR}")
  if(build_paths)
    list(APPEND missing "no build folder (${build_paths})")
  endif()
  if(missing)
    message(FATAL_ERROR "${file}: not hardened: ${missing}\n${elf}")
  endif()
endforeach()
if(elf_count LESS 3)
  message(FATAL_ERROR "only ${elf_count} ELF files in the packages")
endif()

# The documentation compressed as policy asks, the example tool's sources not
# (CHANGELOG.md once it is larger than 4 kB).
if(NOT EXISTS ${root}/usr/share/doc/quarnel/CHANGELOG.md AND
   NOT EXISTS ${root}/usr/share/doc/quarnel/CHANGELOG.md.gz)
  message(FATAL_ERROR "not packaged: usr/share/doc/quarnel/CHANGELOG.md")
endif()
foreach(file usr/share/doc/quarnel/guide.md.gz usr/share/doc/quarnel/commands.md.gz
             usr/share/doc/quarnel/examples/dme2.mat.gz usr/share/doc/quarnel/examples/tool/hello.c)
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
# The identity a tool defines reaches the shared library: -version, and the
# kit name the workspace paths are made of.
foreach(kind shared static)
  run_step("probe_${kind} -version" ${WORK_DIR}/probe_build/probe_${kind} -version)
  if(NOT step_output MATCHES "^Probe 0.3 \\[\\(c\\) probe, 2 lines, no rights\\]\n")
    message(FATAL_ERROR "probe_${kind} -version printed: ${step_output}")
  endif()
  run_step("probe_${kind} -kit_name" ${WORK_DIR}/probe_build/probe_${kind} -kit_name)
  if(NOT step_output STREQUAL "MIRLAN\n")
    message(FATAL_ERROR "probe_${kind} -kit_name printed: ${step_output}")
  endif()
endforeach()

set(doc ${root}/usr/share/doc/quarnel)
run_step("configure the examples" ${CMAKE_COMMAND} -S ${doc}/examples/tool
         -B ${WORK_DIR}/examples_build -DCMAKE_PREFIX_PATH=${root}/usr
         -DCMAKE_C_COMPILER=${C_COMPILER} -DCMAKE_CXX_COMPILER=${CXX_COMPILER})
run_step("build the examples" ${CMAKE_COMMAND} --build ${WORK_DIR}/examples_build)
check_link(${WORK_DIR}/examples_build/hello_cxx shared)
check_example(${WORK_DIR}/examples_build/hello_cxx HelloCxx "hello from C++")

# The development files without the tools: the conversation tests of the
# examples are left out with a warning, and the project configures.
set(bare_root ${WORK_DIR}/root_without_tools)
foreach(deb ${deb_libquarnel1} ${deb_libquarnel-dev})
  run_step("dpkg-deb -x ${deb}" ${DPKG_DEB} -x ${deb} ${bare_root})
endforeach()
run_step("configure the examples without qxhost" ${CMAKE_COMMAND} -S ${doc}/examples/tool
         -B ${WORK_DIR}/examples_without_tools -DCMAKE_PREFIX_PATH=${bare_root}/usr
         -DCMAKE_C_COMPILER=${C_COMPILER} -DCMAKE_CXX_COMPILER=${CXX_COMPILER})
if(NOT step_error MATCHES "hello_c.fifo.: skipped, the host stand-in")
  message(FATAL_ERROR "no warning for the conversation tests without qxhost:\n${step_error}")
endif()

# pkg-config: the guide's line for hello_c, and hello_cxx with the C++
# compiler, from the examples' folder.
# The packaged quarnel.pc names the packages' fixed prefix plainly; the
# scratch root stands for the system's root (PKG_CONFIG_SYSROOT_DIR).
file(STRINGS ${libdir}/pkgconfig/quarnel.pc pc_paths REGEX "^(prefix|libdir|includedir)=")
if(NOT pc_paths STREQUAL "prefix=/usr;libdir=\${prefix}/lib/${LIBRARY_ARCH};includedir=\${prefix}/include")
  message(FATAL_ERROR "the packaged quarnel.pc: ${pc_paths}")
endif()
set(ENV{PKG_CONFIG_PATH} ${libdir}/pkgconfig)
set(ENV{PKG_CONFIG_SYSROOT_DIR} ${root})
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
# A program with its own main and no identity links against the shared
# library: the library needs nothing from the program.
file(COPY ${CMAKE_CURRENT_LIST_DIR}/own_main.c DESTINATION ${WORK_DIR}/pc_examples)
run_step("a program with its own main" sh -c
         "${C_COMPILER} -o own_main own_main.c $(pkg-config --cflags --libs quarnel)"
         WORKING_DIRECTORY ${WORK_DIR}/pc_examples)
check_link(${WORK_DIR}/pc_examples/own_main shared)
run_step("own_main" ${WORK_DIR}/pc_examples/own_main)
if(NOT step_output STREQUAL "DEFAULT|DEFAULT||\n" OR NOT step_error MATCHES "^#\\(DEFAULT\\):own main\n")
  message(FATAL_ERROR "own_main printed:\n${step_output}\n${step_error}")
endif()
# The guide's line for a static link where the shared library is installed.
run_step("the guide's static link" sh -c
         "${C_COMPILER} -o hello_c_static hello.c $(pkg-config --cflags quarnel) -L\"$(pkg-config --variable=libdir quarnel)\" -lquarnel_main -l:libquarnel.a -lstdc++ -lm"
         WORKING_DIRECTORY ${WORK_DIR}/pc_examples)
check_link(${WORK_DIR}/pc_examples/hello_c_static static)
check_example(${WORK_DIR}/pc_examples/hello_c_static HelloC "hello from C")
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
