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
# binaries are stripped.
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
set(CPACK_DEBIAN_DOC_DESCRIPTION "tool author's guide and examples of the Quarnel environment
The guide to writing a Quarnel tool in C or C++, the reference of every
KORA command the library sends, two example tools with their CMake
project, five example Petri nets for varnost and a PNML net for pnconv.")

if(BUILD_SHARED_LIBS)
  # The library's package makes the system refresh its library cache through
  # dpkg's trigger.
  file(WRITE ${PROJECT_BINARY_DIR}/debian/runtime/triggers "activate-noawait ldconfig\n")
  set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA ${PROJECT_BINARY_DIR}/debian/runtime/triggers)
  # The headers and the link libquarnel.so belong to exactly this library.
  set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS "${QUARNEL_DEB_RUNTIME} (= ${PROJECT_VERSION})")
  # The tools link the library of the same build, which dpkg-shlibdeps finds
  # in the build folder but knows no package of: the dependency is said here.
  set(CPACK_DEBIAN_TOOLS_PACKAGE_DEPENDS "${QUARNEL_DEB_RUNTIME} (= ${PROJECT_VERSION})")
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
Copyright: 2026 the Varnost authors
License: Expat
 ${QUARNEL_LICENSE_TEXT}
")
# The date is the configure time, or SOURCE_DATE_EPOCH when it is set.
string(TIMESTAMP QUARNEL_DEB_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
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
