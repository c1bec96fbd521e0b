# SPDX-License-Identifier: MIT
# Configures and builds the project as its Debian packages are made: the
# shared library (with the static archive beside it), the tools and the
# manual pages, for the prefix /usr and the multiarch library folder, with
# optimisation and debug information (stripped when packaged; the ABI check
# reads the types from it), without tests or
# benchmarks. The package tests use this build folder.
# Variables: SOURCE_DIR, BUILD_DIR, C_COMPILER, CXX_COMPILER, LIBRARY_ARCH
# (the multiarch folder name), LAUNCHER (compiler launcher,
# may be empty).
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/../common/script_steps.cmake)

set(launch "")
# ccache's base folder would make source paths relative to the build folder,
# and so the objects depend on its depth: absolute paths, which the build maps
# out of every object, keep two builds in two folders alike.
set(ENV{CCACHE_BASEDIR} "")
if(LAUNCHER)
  set(launch -DCMAKE_C_COMPILER_LAUNCHER=${LAUNCHER} -DCMAKE_CXX_COMPILER_LAUNCHER=${LAUNCHER})
endif()
# The library folder is given each time: the layout test changes it.
run_step("configure" ${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${BUILD_DIR}
         -DCMAKE_C_COMPILER=${C_COMPILER} -DCMAKE_CXX_COMPILER=${CXX_COMPILER} ${launch}
         -DBUILD_SHARED_LIBS=ON -DQUARNEL_BUILD_TESTS=OFF -DQUARNEL_BUILD_BENCH=OFF
         -DCMAKE_BUILD_TYPE=RelWithDebInfo "-DCMAKE_C_FLAGS_RELWITHDEBINFO=-O2 -g -DNDEBUG"
         "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -g -DNDEBUG" -DCMAKE_INSTALL_PREFIX=/usr
         -DCMAKE_INSTALL_LIBDIR=lib/${LIBRARY_ARCH})
# A loaded machine compiles slowly: the build is bounded by the test alone.
set(QX_STEP_TIMEOUT 900)
run_step("build" ${CMAKE_COMMAND} --build ${BUILD_DIR} -j2)
message(STATUS "shared build ready in ${BUILD_DIR}")
