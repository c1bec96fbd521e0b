# SPDX-License-Identifier: MIT
# Installs the build into a fresh prefix and uses it as a tool author would:
# - the prefix holds the tools, headers, library, both packages, the guide,
#   the command reference, the manual pages and the example sources;
# - the C probe tool is built with the CMake package from a C-only project and
#   with the pkg-config flags and the plain C compiler;
# - the example tools (C and C++) are built from the INSTALLED example sources
#   with find_package(Quarnel), hello_c once more with the pkg-config line of
#   the guide;
# and every tool runs under the installed host stand-in, whose printed
# conversation is checked whole. The examples' own conversation tests
# (quarnel_add_conversation_test) run with CTest, and a project of
# CONVERSATION_DIR checks that a conversation that differs from its script
# fails its test, that STRICT makes a model fault fail it, that
# QXHOST_OPTIONS reach qxhost, that Quarnel::qxhost runs in a test of the
# project's own, and that a call without a script stops the configuration.
# Variables: BUILD_DIR, LIBDIR (its library folder, relative to the prefix),
# C_TOOL_DIR, CONVERSATION_DIR, WORK_DIR, C_COMPILER, CXX_COMPILER.
cmake_minimum_required(VERSION 3.25)

set(prefix ${WORK_DIR}/prefix)
set(doc ${prefix}/share/doc/quarnel)
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})

include(${CMAKE_CURRENT_LIST_DIR}/../common/script_steps.cmake)

run_step("install" ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})
foreach(file bin/varnost bin/qxhost include/quarnel/Quarnel.h include/quarnel/QXMain.h
             include/quarnel/QXKoraParse.h include/quarnel/QXVersion.h include/quarnel/QXExport.h
             ${LIBDIR}/libquarnel.a ${LIBDIR}/libquarnel_main.a
             ${LIBDIR}/cmake/Quarnel/QuarnelConfig.cmake
             ${LIBDIR}/cmake/Quarnel/QuarnelConversationTest.cmake ${LIBDIR}/pkgconfig/quarnel.pc
             share/doc/quarnel/README.md share/doc/quarnel/guide.md
             share/doc/quarnel/commands.md share/doc/quarnel/LICENSE share/doc/quarnel/CHANGELOG.md
             share/doc/quarnel/examples/tool/CMakeLists.txt
             share/doc/quarnel/examples/tool/hello.c share/doc/quarnel/examples/tool/hello.cc
             share/doc/quarnel/examples/tool/hello_fifo.script
             share/doc/quarnel/examples/peterson.mat share/doc/quarnel/examples/peterson.mat.ref
             share/man/man1/varnost.1.gz share/man/man1/qxhost.1.gz share/man/man7/quarnel.7.gz)
  if(NOT EXISTS ${prefix}/${file})
    message(FATAL_ERROR "not installed: ${file}")
  endif()
endforeach()

# The Debian packages' own files come only with a component-wise install.
if(EXISTS ${prefix}/share/doc/quarnel-tools OR EXISTS ${prefix}/share/doc/libquarnel-dev)
  message(FATAL_ERROR "a plain install holds files of the Debian packages")
endif()

# Programs installed from a shared build find the installed library here: an
# install carries no RUNPATH.
set(ENV{LD_LIBRARY_PATH} ${prefix}/${LIBDIR})
set(QX_HOST ${prefix}/bin/qxhost)
include(${CMAKE_CURRENT_LIST_DIR}/../common/tool_conversation.cmake)

# The CMake package, from a project that enables the C language only.
run_step("configure the C tool" ${CMAKE_COMMAND} -S ${C_TOOL_DIR} -B ${WORK_DIR}/cmake_build
         -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_C_COMPILER=${C_COMPILER} -DCMAKE_BUILD_TYPE=Release)
run_step("build the C tool" ${CMAKE_COMMAND} --build ${WORK_DIR}/cmake_build)
check_probe(${WORK_DIR}/cmake_build/probe_tool)

# The example tools, from the installed sources.
run_step("configure the examples" ${CMAKE_COMMAND} -S ${doc}/examples/tool
         -B ${WORK_DIR}/examples_build -DCMAKE_PREFIX_PATH=${prefix}
         -DCMAKE_C_COMPILER=${C_COMPILER} -DCMAKE_CXX_COMPILER=${CXX_COMPILER}
         -DCMAKE_BUILD_TYPE=Release "-DCMAKE_C_FLAGS=-Wall -Wextra -Werror"
         "-DCMAKE_CXX_FLAGS=-Wall -Wextra -Werror")
run_step("build the examples" ${CMAKE_COMMAND} --build ${WORK_DIR}/examples_build)

# The model records the examples create live until the process ends and the
# interface has no way to free them: in an instrumented build the leak check
# would report each one.
set(ENV{ASAN_OPTIONS} "detect_leaks=0")
check_example(${WORK_DIR}/examples_build/hello_c HelloC "hello from C")
check_example(${WORK_DIR}/examples_build/hello_cxx HelloCxx "hello from C++")

# The conversation tests: the examples' own, then a project that runs a tool
# built elsewhere.
run_step("the examples' conversation tests" ${CMAKE_CTEST_COMMAND}
         --test-dir ${WORK_DIR}/examples_build --output-on-failure)
if(NOT step_output MATCHES "100% tests passed, 0 tests failed out of 4")
  message(FATAL_ERROR "the examples' conversation tests:\n${step_output}")
endif()
# The project enables no language, and so CMake knows no multiarch folder to
# search: when the library folder is one (lib/<arch>), it is given, as a
# language's detection would give it.
set(conversation_build ${WORK_DIR}/conversation_build)
set(library_arch "")
if(LIBDIR MATCHES "^lib/([^/]+)$")
  set(library_arch -DCMAKE_LIBRARY_ARCHITECTURE=${CMAKE_MATCH_1})
endif()
run_step("configure the conversation project" ${CMAKE_COMMAND} -S ${CONVERSATION_DIR}
         -B ${conversation_build} -DCMAKE_PREFIX_PATH=${prefix} ${library_arch})
run_step("a conversation that follows its script" ${CMAKE_CTEST_COMMAND}
         --test-dir ${conversation_build} -R follows --output-on-failure)
execute_process(COMMAND ${CMAKE_CTEST_COMMAND} --test-dir ${conversation_build} -R differs
                        --output-on-failure
                RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err TIMEOUT 60)
if(result EQUAL 0 OR NOT out MATCHES "RT\\(36:a net of 9 places")
  message(FATAL_ERROR "a conversation that differs from its script (${result}):\n${out}\n${err}")
endif()
run_step("a model fault without STRICT, options for the tool, a test of its own"
         ${CMAKE_CTEST_COMMAND} --test-dir ${conversation_build} -R "fault_lenient|options_tool|own_test"
         --output-on-failure)
if(NOT step_output MATCHES "100% tests passed, 0 tests failed out of 3")
  message(FATAL_ERROR "the conversation project's tests:\n${step_output}")
endif()
# STRICT fails on the model fault; --expect-timeout of QXHOST_OPTIONS bounds
# the wait, far below the shell tool's 30 seconds.
foreach(test fault_strict options_wait)
  set(expect_fault_strict "1 model fault with --strict")
  set(expect_options_wait "within 0.5 s")
  execute_process(COMMAND ${CMAKE_CTEST_COMMAND} --test-dir ${conversation_build} -R ${test}
                          --output-on-failure
                  RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err TIMEOUT 20)
  if(result EQUAL 0 OR NOT out MATCHES "${expect_${test}}")
    message(FATAL_ERROR "${test} (${result}):\n${out}\n${err}")
  endif()
endforeach()
execute_process(COMMAND ${CMAKE_COMMAND} -S ${CONVERSATION_DIR} -B ${conversation_build}
                        -DMISSING_SCRIPT=ON
                RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err TIMEOUT 60)
if(result EQUAL 0 OR NOT err MATCHES "quarnel_add_conversation_test: SCRIPT is missing")
  message(FATAL_ERROR "a conversation test without a script (${result}):\n${out}\n${err}")
endif()

# The pkg-config file, with the C compiler alone: the probe, and the example's
# line of the guide run as written, from the example's folder.
find_program(PKG_CONFIG NAMES pkg-config pkgconf)
if(PKG_CONFIG)
  set(ENV{PKG_CONFIG_PATH} ${prefix}/${LIBDIR}/pkgconfig)
  run_step("pkg-config" ${PKG_CONFIG} --cflags --libs quarnel)
  string(STRIP "${step_output}" flags)
  separate_arguments(flags UNIX_COMMAND "${flags}")
  run_step("compile with pkg-config flags" ${C_COMPILER} ${C_TOOL_DIR}/probe_tool.c
           -o ${WORK_DIR}/pc_probe_tool ${flags})
  check_probe(${WORK_DIR}/pc_probe_tool)

  file(COPY ${doc}/examples/tool/hello.c DESTINATION ${WORK_DIR}/pc_example)
  run_step("the guide's pkg-config line" sh -c
           "${C_COMPILER} -o hello_c hello.c $(pkg-config --cflags --libs quarnel)"
           WORKING_DIRECTORY ${WORK_DIR}/pc_example)
  example_conversation(model HelloC)
  check_run("hello_c built with pkg-config" COMMAND --std-out ${WORK_DIR}/pc_example/hello_c
    EXPECT "START_TOOL(1:C,2,1,2,6,2,3,6:HelloC,3:1.0,23:(c) the Varnost authors)"
           "TR(12:hello from C)" ${model} "END_TOOL(0)")
endif()
message(STATUS "installed package used from C and C++: ok")
