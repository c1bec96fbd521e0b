# SPDX-License-Identifier: MIT
# Configures and builds the project in BUILD_DIR with the settings of the
# initial cache SETTINGS (the shared build the packages are made from, see
# package_tests.cmake), without tests or benchmarks: what is packaged, and
# nothing else. The settings are given again each time (the layout test
# changes the library folder), so a second run builds only what changed.
# Variables: SOURCE_DIR, BUILD_DIR, SETTINGS.
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/../common/script_steps.cmake)

run_step("configure" ${CMAKE_COMMAND} -C ${SETTINGS} -S ${SOURCE_DIR} -B ${BUILD_DIR})
cmake_host_system_information(RESULT jobs QUERY NUMBER_OF_LOGICAL_CORES)
# A loaded machine compiles slowly: the build is bounded by the test alone.
set(QX_STEP_TIMEOUT 1100)
run_step("build" ${CMAKE_COMMAND} --build ${BUILD_DIR} -j${jobs})
message(STATUS "second build ready in ${BUILD_DIR}")
