# SPDX-License-Identifier: MIT
# Makes the symbols file of the library's Debian package from what the built
# library exports (nm -D), after each link of the shared library:
# - a symbol of the stored list (cmake/abi/libquarnel1.symbols) keeps the
#   version that first had it, so that a program needs the package only as
#   new as the symbols it uses;
# - a symbol the list does not know yet is new in this version;
# - a symbol of the list that the library no longer exports fails the build
#   while the SONAME is the one of the list: removing a symbol breaks every
#   program that uses it, and takes a new SONAME.
# Variables: LIBRARY, NM, BASELINE, OUTPUT, SONAME, PACKAGE, VERSION.
cmake_minimum_required(VERSION 3.25)

include(${CMAKE_CURRENT_LIST_DIR}/read_exports.cmake)
quarnel_read_exports(exported ${LIBRARY} ${NM})

# The stored list: "SONAME PACKAGE #MINVER#", then " NAME@Base VERSION" lines
# (a line starting with "*" is a field, "#" a comment).
file(STRINGS ${BASELINE} stored)
list(POP_FRONT stored header)
if(NOT header MATCHES "^([^ ]+) ([^ ]+) #MINVER#$")
  message(FATAL_ERROR "${BASELINE}: first line is not \"SONAME PACKAGE #MINVER#\": ${header}")
endif()
set(stored_soname ${CMAKE_MATCH_1})
set(known "")
set(gone "")
foreach(line IN LISTS stored)
  if(line MATCHES "^ ([^@ ]+)@Base ([^ ]+)$")
    set(name ${CMAKE_MATCH_1})
    list(APPEND known ${name})
    set(since_${name} ${CMAKE_MATCH_2})
    if(NOT name IN_LIST exported)
      list(APPEND gone ${name})
    endif()
  elseif(NOT line MATCHES "^[*#]" AND NOT line STREQUAL "")
    message(FATAL_ERROR "${BASELINE}: cannot read the line: ${line}")
  endif()
endforeach()
if(gone AND stored_soname STREQUAL SONAME)
  string(REPLACE ";" "\n  " gone "${gone}")
  message(FATAL_ERROR "${LIBRARY} no longer exports symbols of ${SONAME} "
                      "(listed in ${BASELINE}):\n  ${gone}\n"
                      "Removing a symbol breaks the programs that use it: keep it, or change "
                      "the SONAME (the project's major version).")
endif()

list(SORT exported)
string(REGEX REPLACE "[0-9]+$" "" dev_package "${PACKAGE}")
set(text "${SONAME} ${PACKAGE} #MINVER#\n* Build-Depends-Package: ${dev_package}-dev\n")
set(new "")
foreach(name IN LISTS exported)
  set(since ${VERSION})
  if(name IN_LIST known AND stored_soname STREQUAL SONAME)
    set(since ${since_${name}})
  elseif(NOT name IN_LIST known)
    list(APPEND new ${name})
  endif()
  string(APPEND text " ${name}@Base ${since}\n")
endforeach()
if(new)
  string(REPLACE ";" " " new "${new}")
  message(STATUS "symbols new in ${VERSION}, to be added to ${BASELINE}: ${new}")
endif()
file(WRITE ${OUTPUT}.new "${text}")
file(COPY_FILE ${OUTPUT}.new ${OUTPUT} ONLY_IF_DIFFERENT)
file(REMOVE ${OUTPUT}.new)
