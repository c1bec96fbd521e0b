# SPDX-License-Identifier: MIT
# The shared library keeps the ABI of SONAME libquarnel.so.1: abidiff compares
# it with the ABI of 1.1.0 stored in cmake/abi/libquarnel.so.1.abi and fails
# on an incompatible change (a function or datum gone, a changed signature,
# record or size of exported data); additions pass and are reported. Only the
# types of the public headers count, and no path of either build: the stored
# ABI holds neither file locations nor compilation folders.
# Skipped where abidiff is not installed.
#
# The stored ABI is made from a shared build with debug information, from the
# project's root folder:
#   abidw --no-corpus-path --no-comp-dir-path --no-show-locs --drop-private-types \
#     --headers-dir include --out-file cmake/abi/libquarnel.so.1.abi \
#     BUILD/libquarnel.so.1.1.0
# Variables: SOURCE_DIR, BUILD_DIR (the shared build).
cmake_minimum_required(VERSION 3.25)

find_program(ABIDIFF abidiff)
if(NOT ABIDIFF)
  message(STATUS "ABI check skipped: abidiff not installed")
  return()
endif()
file(GLOB library ${BUILD_DIR}/libquarnel.so.*.*.*)
set(baseline ${SOURCE_DIR}/cmake/abi/libquarnel.so.1.abi)
execute_process(COMMAND ${ABIDIFF} --no-show-locs --drop-private-types --fail-no-debug-info
                        --headers-dir1 ${SOURCE_DIR}/include --headers-dir2 ${SOURCE_DIR}/include
                        ${baseline} ${library}
                RESULT_VARIABLE result OUTPUT_VARIABLE report ERROR_VARIABLE err TIMEOUT 240)
# abidiff's status is a set of bits: 1 error, 2 usage, 4 a change of the ABI,
# 8 an incompatible change.
if(NOT result MATCHES "^[0-9]+$")
  message(FATAL_ERROR "abidiff did not run (${result}):\n${err}")
endif()
math(EXPR failed "${result} & 11")
if(failed)
  message(FATAL_ERROR "the ABI of ${library} is not compatible with ${baseline} "
                      "(abidiff status ${result}):\n${report}\n${err}")
endif()
if(result)
  message(STATUS "compatible additions to the ABI:\n${report}")
endif()
message(STATUS "the ABI of ${library} is compatible with ${baseline}")
