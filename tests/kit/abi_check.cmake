# SPDX-License-Identifier: MIT
# The shared library keeps the ABI of SONAME libquarnel.so.1: abidiff compares
# it with the ABI of 1.1.0 stored in cmake/abi/libquarnel.so.1.abi and fails
# on an incompatible change (a function or datum gone, a changed signature,
# record or size of exported data); additions pass and are reported. Only the
# types of the public headers count, and no path of either build: the stored
# ABI holds no file locations or compilation folders, and the names of the
# translation units it holds are not compared.
# Skipped where abidiff is not installed.
#
# The stored ABI is made from a shared build with debug information, from the
# project's root folder:
#   abidw --no-corpus-path --no-comp-dir-path --no-show-locs --drop-private-types \
#     --headers-dir include --out-file cmake/abi/libquarnel.so.1.abi \
#     BUILD/libquarnel.so.1.1.0
# (abidiff 2.2 stops on an assertion when given the headers of the stored
# side: only the library's side is given them.)
# Variables: SOURCE_DIR, LIBRARY (the shared library of a build with debug
# information), BASELINE (another stored ABI, optional).
cmake_minimum_required(VERSION 3.25)

find_program(ABIDIFF abidiff)
if(NOT ABIDIFF)
  message(STATUS "ABI check skipped: abidiff not installed")
  return()
endif()
set(library ${LIBRARY})
set(baseline ${SOURCE_DIR}/cmake/abi/libquarnel.so.1.abi)
if(BASELINE)
  set(baseline ${BASELINE})
endif()
execute_process(COMMAND ${ABIDIFF} --fail-no-debug-info --drop-private-types
                        --headers-dir2 ${SOURCE_DIR}/include ${baseline} ${library}
                RESULT_VARIABLE result OUTPUT_VARIABLE report ERROR_VARIABLE err TIMEOUT 240)
# abidiff's status is a set of bits: 1 error, 2 usage, 4 a change of the ABI,
# 8 a removed symbol. A change (4) is compatible only when it adds: a changed
# function or datum (a record member, the size of g_tmpTrace) breaks the
# programs built against the stored ABI as surely as a removed one.
if(NOT result MATCHES "^[0-9]+$")
  message(FATAL_ERROR "abidiff did not run (${result}):\n${err}")
endif()
math(EXPR failed "${result} & 11")
if(report MATCHES "(^|[ \n])[1-9][0-9]* (Removed|Changed)")
  set(failed 1)
endif()
if(failed)
  message(FATAL_ERROR "the ABI of ${library} is not compatible with ${baseline} "
                      "(abidiff status ${result}):\n${report}\n${err}")
endif()
if(result)
  message(STATUS "compatible additions to the ABI:\n${report}")
endif()
message(STATUS "the ABI of ${library} is compatible with ${baseline}")
