# SPDX-License-Identifier: MIT
# Debian packages, one per install component, made by "cpack -G DEB" in a
# build folder configured for them (README.md, "Packages"):
#   quarnel-tools   varnost, pnconv and qxhost                  (tools)
#   libquarnel1     the shared library                          (runtime)
#   libquarnel-dev  headers, archives, CMake and pkg-config     (dev)
#   quarnel-doc     guide, command reference, examples          (doc)
# Each holds /usr/share/doc/PACKAGE/copyright and changelog.gz, installed only
# when that component is installed alone (as CPack does), never by a plain
# cmake --install. Dependencies on system libraries come from dpkg-shlibdeps;
# binaries and archives are stripped. cmake/deb_finish.cmake then completes
# each package (Multi-Arch, compressed documentation) and makes it again with
# dpkg-deb, so that two builds of one source give the same packages.
set(QUARNEL_PACKAGE_CONTACT "the Varnost authors <varnost-authors@example.org>"
    CACHE STRING "Maintainer of the Debian packages: Name <address>")
set(QUARNEL_DEB_RUNTIME libquarnel${PROJECT_VERSION_MAJOR})

set(CPACK_PACKAGE_NAME quarnel)
set(CPACK_PACKAGE_VENDOR "the Varnost authors")
set(CPACK_PACKAGE_CONTACT "${QUARNEL_PACKAGE_CONTACT}")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${QUARNEL_PACKAGE_CONTACT}")
set(CPACK_DEBIAN_PACKAGE_SOURCE quarnel)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
# A program built against this version runs with any later one of the same
# SONAME; the symbols file (below) gives each symbol's own first version.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
# Folders the install creates get the usual mode, whatever the umask.
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE
    GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

# The date of every generated file: SOURCE_DATE_EPOCH when it is set, else the
# date of the last commit of a git checkout, else the time of configuration.
set(QUARNEL_SOURCE_DATE_EPOCH "$ENV{SOURCE_DATE_EPOCH}")
if(QUARNEL_SOURCE_DATE_EPOCH STREQUAL "")
  find_package(Git QUIET)
  if(GIT_FOUND AND EXISTS ${PROJECT_SOURCE_DIR}/.git)
    execute_process(COMMAND ${GIT_EXECUTABLE} -C ${PROJECT_SOURCE_DIR} log -1 --format=%ct
                    OUTPUT_VARIABLE QUARNEL_SOURCE_DATE_EPOCH OUTPUT_STRIP_TRAILING_WHITESPACE
                    RESULT_VARIABLE QUARNEL_GIT_RESULT ERROR_QUIET)
    if(NOT QUARNEL_GIT_RESULT EQUAL 0)
      set(QUARNEL_SOURCE_DATE_EPOCH "")
    endif()
  endif()
endif()
if(QUARNEL_SOURCE_DATE_EPOCH STREQUAL "")
  string(TIMESTAMP QUARNEL_SOURCE_DATE_EPOCH "%s" UTC)
endif()
set(CPACK_QUARNEL_SOURCE_DATE_EPOCH ${QUARNEL_SOURCE_DATE_EPOCH})
set(CPACK_POST_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/deb_finish.cmake)
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_LIST_DIR}/cpack_project.cmake)

set(CPACK_COMPONENTS_ALL dev doc)
if(BUILD_SHARED_LIBS)
  list(APPEND CPACK_COMPONENTS_ALL runtime)
endif()
if(TARGET varnost OR TARGET pnconv OR TARGET qxhost)
  list(APPEND CPACK_COMPONENTS_ALL tools)
endif()

set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME quarnel-tools)
set(CPACK_DEBIAN_TOOLS_PACKAGE_SECTION science)
set(CPACK_DEBIAN_TOOLS_DESCRIPTION "Petri net converters and host stand-in of the Quarnel tools
varnost converts a place/transition Petri net given as integer matrices
into a PEP low-level net file, by hand or under the Quarnel host.
pnconv converts place/transition nets between PNML, PEP and matrix
files, and writes PROD and Graphviz DOT files.
qxhost starts a Quarnel tool as the host does and prints and checks its
KORA conversation.")

set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME ${QUARNEL_DEB_RUNTIME})
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_RUNTIME_DESCRIPTION "tool-side library of the Quarnel environment
The library every Quarnel tool links: process main and end of a run,
framework command line, trace, the KORA command language, channels over
FIFO pairs or TCP sockets, process launching and a model-building API.
.
This package holds the shared library.")

set(CPACK_DEBIAN_DEV_PACKAGE_NAME libquarnel-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEV_DESCRIPTION "tool-side library of the Quarnel environment (development files)
The library every Quarnel tool links: process main and end of a run,
framework command line, trace, the KORA command language, channels over
FIFO pairs or TCP sockets, process launching and a model-building API.
.
This package holds the C and C++ headers, the static archive, the
archive with the tools' main, the CMake package, the pkg-config file
and the quarnel(7) manual page.")

set(CPACK_DEBIAN_DOC_PACKAGE_NAME quarnel-doc)
set(CPACK_DEBIAN_DOC_PACKAGE_SECTION doc)
set(CPACK_DEBIAN_DOC_PACKAGE_ARCHITECTURE all)
# The library and its development files install beside those of other
# architectures (every architecture-dependent file lies in the multiarch
# library folder; the rest is the same on all); the programs and the
# documentation serve every architecture.
set(CPACK_QUARNEL_MULTIARCH ${QUARNEL_DEB_RUNTIME}=same libquarnel-dev=same
    quarnel-tools=foreign quarnel-doc=foreign)
set(CPACK_QUARNEL_RUNTIME_PACKAGE ${QUARNEL_DEB_RUNTIME})
# Files of the documentation policy compresses: larger than 4 kB.
set(CPACK_QUARNEL_COMPRESS_DOC quarnel-doc)
# The licence's text is in each package's copyright file.
set(CPACK_QUARNEL_DOC_DROP usr/share/doc/quarnel/LICENSE)
set(CPACK_DEBIAN_DOC_DESCRIPTION "tool author's guide and examples of the Quarnel environment
The guide to writing a Quarnel tool in C or C++, the reference of every
KORA command the library sends, two example tools with their CMake
project, five example Petri nets for varnost and a PNML net for pnconv.")

if(BUILD_SHARED_LIBS)
  # The library's package makes the system refresh its library cache through
  # dpkg's trigger (no maintainer script), and lists its symbols, made after
  # each link of the library (CMakeLists.txt, cmake/symbols_file.cmake).
  file(WRITE ${PROJECT_BINARY_DIR}/debian/runtime/triggers "activate-noawait ldconfig\n")
  set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA ${PROJECT_BINARY_DIR}/debian/runtime/triggers
      ${PROJECT_BINARY_DIR}/debian/runtime/symbols)
  # The headers and the link libquarnel.so belong to exactly this library.
  set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS "${QUARNEL_DEB_RUNTIME} (= ${PROJECT_VERSION})")
  # quarnel_add_conversation_test runs qxhost, of the tools' package.
  set(CPACK_DEBIAN_DEV_PACKAGE_RECOMMENDS "quarnel-tools (>= ${PROJECT_VERSION})")
  # The tools link the library of the same build, which dpkg-shlibdeps finds
  # in the build folder but knows no package of: the dependency is said here,
  # as the symbols file would give it (a program needs the library at least
  # as new as itself).
  set(CPACK_DEBIAN_TOOLS_PACKAGE_DEPENDS "${QUARNEL_DEB_RUNTIME} (>= ${PROJECT_VERSION})")
  get_target_property(QUARNEL_LIBRARY_DIR quarnel LIBRARY_OUTPUT_DIRECTORY)
  if(NOT QUARNEL_LIBRARY_DIR)
    set(QUARNEL_LIBRARY_DIR ${PROJECT_BINARY_DIR})
  endif()
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${QUARNEL_LIBRARY_DIR})
endif()

# The copyright file of every package (machine-readable, with the licence of
# LICENSE) and a Debian changelog that points to CHANGELOG.md.
set(QUARNEL_DEB_DIR ${PROJECT_BINARY_DIR}/debian)
file(READ ${PROJECT_SOURCE_DIR}/LICENSE QUARNEL_LICENSE_TEXT)
# The copyright line of the project's licence: its years and holders.
if(NOT QUARNEL_LICENSE_TEXT MATCHES "\nCopyright \\(c\\) ([^\n]+)\n")
  message(FATAL_ERROR "${PROJECT_SOURCE_DIR}/LICENSE: no line \"Copyright (c) YEARS HOLDERS\"")
endif()
set(QUARNEL_COPYRIGHT "${CMAKE_MATCH_1}")
string(REGEX REPLACE "^MIT License\n\nCopyright \\(c\\) [^\n]*\n\n" "" QUARNEL_LICENSE_TEXT
       "${QUARNEL_LICENSE_TEXT}")
string(REGEX REPLACE "\n$" "" QUARNEL_LICENSE_TEXT "${QUARNEL_LICENSE_TEXT}")
string(REGEX REPLACE "\n\n" "\n.\n" QUARNEL_LICENSE_TEXT "${QUARNEL_LICENSE_TEXT}")
string(REGEX REPLACE "\n" "\n " QUARNEL_LICENSE_TEXT "${QUARNEL_LICENSE_TEXT}")
file(WRITE ${QUARNEL_DEB_DIR}/copyright
"Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
Upstream-Name: quarnel
Upstream-Contact: ${QUARNEL_PACKAGE_CONTACT}

Files: *
Copyright: ${QUARNEL_COPYRIGHT}
License: Expat
 ${QUARNEL_LICENSE_TEXT}
")
# Dated QUARNEL_SOURCE_DATE_EPOCH (above), so that it is the same in every
# build of one source and on every architecture.
set(QUARNEL_SAVED_EPOCH "$ENV{SOURCE_DATE_EPOCH}")
set(ENV{SOURCE_DATE_EPOCH} ${QUARNEL_SOURCE_DATE_EPOCH})
string(TIMESTAMP QUARNEL_DEB_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
set(ENV{SOURCE_DATE_EPOCH} "${QUARNEL_SAVED_EPOCH}")
file(WRITE ${QUARNEL_DEB_DIR}/changelog
"quarnel (${PROJECT_VERSION}) unstable; urgency=medium

  * Version ${PROJECT_VERSION}; its changes are listed in
    /usr/share/doc/quarnel/CHANGELOG.md (package quarnel-doc).

 -- ${QUARNEL_PACKAGE_CONTACT}  ${QUARNEL_DEB_DATE}
")
execute_process(COMMAND ${QUARNEL_GZIP} -9nf ${QUARNEL_DEB_DIR}/changelog
                RESULT_VARIABLE QUARNEL_GZIP_RESULT)
if(NOT QUARNEL_GZIP_RESULT EQUAL 0)
  message(FATAL_ERROR "cannot compress ${QUARNEL_DEB_DIR}/changelog")
endif()
foreach(component IN LISTS CPACK_COMPONENTS_ALL)
  string(TOUPPER ${component} upper)
  install(FILES ${QUARNEL_DEB_DIR}/copyright ${QUARNEL_DEB_DIR}/changelog.gz
    DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${CPACK_DEBIAN_${upper}_PACKAGE_NAME}
    COMPONENT ${component} EXCLUDE_FROM_ALL)
endforeach()

include(CPack)
