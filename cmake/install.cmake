# SPDX-License-Identifier: MIT
# The library as an installable package: the tools, the public headers, the
# library, a CMake package (find_package(Quarnel) -> Quarnel::quarnel) and a
# pkg-config file (quarnel.pc). Both packages are relocatable: they find the
# prefix from their own place.
#
# Every rule names one of four components, which are also the Debian packages
# (cmake/packaging.cmake):
#   tools    varnost, pnconv, qxhost and their manual pages        quarnel-tools
#   runtime  libquarnel.so.1.1.0 and libquarnel.so.1               libquarnel1
#   dev      headers, libquarnel.a, libquarnel_main.a, libquarnel.so,
#            the CMake and pkg-config files, quarnel(7)            libquarnel-dev
#   doc      guide, command reference, examples, LICENSE, CHANGELOG.md
#                                                                  quarnel-doc
include(CMakePackageConfigHelpers)

# What a program linking the static archive needs beyond its headers and the
# unwind-table option (set beside the library target): the C++ runtime, so
# that a program linked by the C compiler works: the libraries the C++ compiler
# links implicitly and the C compiler does not. The shared library names them
# itself.
set(QUARNEL_CXX_RUNTIME ${CMAKE_CXX_IMPLICIT_LINK_LIBRARIES})
if(CMAKE_C_IMPLICIT_LINK_LIBRARIES)
  list(REMOVE_ITEM QUARNEL_CXX_RUNTIME ${CMAKE_C_IMPLICIT_LINK_LIBRARIES})
endif()
list(REMOVE_DUPLICATES QUARNEL_CXX_RUNTIME)
set(QUARNEL_STATIC_ARCHIVE quarnel)
if(BUILD_SHARED_LIBS)
  set(QUARNEL_STATIC_ARCHIVE quarnel_static)
endif()
target_link_libraries(${QUARNEL_STATIC_ARCHIVE} INTERFACE
  $<INSTALL_INTERFACE:${QUARNEL_CXX_RUNTIME}>)
set(QUARNEL_PC_RUNTIME "")
foreach(lib IN LISTS QUARNEL_CXX_RUNTIME)
  string(APPEND QUARNEL_PC_RUNTIME " -l${lib}")
endforeach()
# pkg-config: Libs links the library's kind of this build; the C++ runtime
# goes there too for a static build (the C compiler links it), and always in
# Libs.private for "pkg-config --static".
set(QUARNEL_PC_LIBS "")
if(NOT BUILD_SHARED_LIBS)
  set(QUARNEL_PC_LIBS "${QUARNEL_PC_RUNTIME}")
endif()
set(QUARNEL_PC_LIBS_PRIVATE "${QUARNEL_PC_RUNTIME}")
# An instrumented library needs the sanitizer runtimes in every program.
if(QUARNEL_SANITIZE)
  foreach(lib IN LISTS QUARNEL_LIBRARIES)
    target_link_options(${lib} INTERFACE $<INSTALL_INTERFACE:-fsanitize=address,undefined>)
  endforeach()
  string(APPEND QUARNEL_PC_LIBS " -fsanitize=address,undefined")
endif()

set(QUARNEL_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Quarnel)

# The library. The shared one: its file and SONAME link in runtime, the
# development link libquarnel.so in dev.
install(TARGETS ${QUARNEL_LIBRARIES} quarnel_main EXPORT QuarnelTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT dev
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT dev)
# What a stripped install strips beyond CMake's own strip (strip_installed.cmake).
function(quarnel_strip_installed component dir files archives)
  install(CODE "
    set(QX_STRIP \"${CMAKE_STRIP}\")
    set(QX_DIR \"${dir}\")
    set(QX_FILES \"${files}\")
    set(QX_ARCHIVES ${archives})
    include(\"${CMAKE_CURRENT_FUNCTION_LIST_DIR}/strip_installed.cmake\")" COMPONENT ${component})
endfunction()
quarnel_strip_installed(dev ${CMAKE_INSTALL_LIBDIR}
  "$<TARGET_FILE_NAME:${QUARNEL_STATIC_ARCHIVE}>$<SEMICOLON>$<TARGET_FILE_NAME:quarnel_main>" ON)
if(BUILD_SHARED_LIBS)
  quarnel_strip_installed(runtime ${CMAKE_INSTALL_LIBDIR} "$<TARGET_FILE_NAME:quarnel>" OFF)
endif()
install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/quarnel
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT dev FILES_MATCHING PATTERN "*.h")
install(FILES ${QUARNEL_GENERATED_INCLUDE}/quarnel/QXVersion.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/quarnel COMPONENT dev)
# The tools, each with its manual page (cmake/man_pages.cmake makes the pages,
# compressed).
foreach(program varnost pnconv qxhost)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tools)
    install(FILES ${QUARNEL_MAN_DIR}/${program}.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
      COMPONENT tools)
    quarnel_strip_installed(tools ${CMAKE_INSTALL_BINDIR} "$<TARGET_FILE_NAME:${program}>" OFF)
  endif()
endforeach()

install(EXPORT QuarnelTargets NAMESPACE Quarnel:: DESTINATION ${QUARNEL_CMAKE_DIR}
  COMPONENT dev)
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/QuarnelConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/QuarnelConfig.cmake INSTALL_DESTINATION ${QUARNEL_CMAKE_DIR})
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/QuarnelConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
# quarnel_add_conversation_test, which finds the installed qxhost from its own
# place in the prefix. Both folders taken whole, so that an absolute library
# or program folder is not glued onto the prefix.
cmake_path(ABSOLUTE_PATH QUARNEL_CMAKE_DIR BASE_DIRECTORY ${CMAKE_INSTALL_PREFIX}
           OUTPUT_VARIABLE QUARNEL_CMAKE_FULL_DIR)
file(RELATIVE_PATH QUARNEL_QXHOST_FROM_CMAKE_DIR ${QUARNEL_CMAKE_FULL_DIR}
     ${CMAKE_INSTALL_FULL_BINDIR}/qxhost)
configure_file(${CMAKE_CURRENT_LIST_DIR}/QuarnelConversationTest.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/QuarnelConversationTest.cmake @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/QuarnelConfig.cmake
  ${CMAKE_CURRENT_BINARY_DIR}/QuarnelConfigVersion.cmake
  ${CMAKE_CURRENT_BINARY_DIR}/QuarnelConversationTest.cmake DESTINATION ${QUARNEL_CMAKE_DIR}
  COMPONENT dev)

# quarnel.pc finds the prefix from its own folder. The way from the pkg-config
# folder up to the prefix depends on the library folder (lib,
# lib/x86_64-linux-gnu, or an absolute one) and, for an absolute one, on the
# prefix given at install time: it is computed when installing (see
# pkgconfig_file.cmake), so DESTDIR and a moved tree keep it right.
set(QUARNEL_PC_TEMPLATE ${CMAKE_CURRENT_BINARY_DIR}/quarnel.pc.template)
set(QUARNEL_PC_PREFIX "@QUARNEL_PC_PREFIX@")
set(QUARNEL_PC_LIBDIR "@QUARNEL_PC_LIBDIR@")
set(QUARNEL_PC_INCLUDEDIR "@QUARNEL_PC_INCLUDEDIR@")
configure_file(${CMAKE_CURRENT_LIST_DIR}/quarnel.pc.in ${QUARNEL_PC_TEMPLATE} @ONLY)
install(CODE "
  set(QX_PC_TEMPLATE \"${QUARNEL_PC_TEMPLATE}\")
  set(QX_PC_OUTPUT \"${CMAKE_CURRENT_BINARY_DIR}/quarnel.pc\")
  set(QX_PC_DIR \"${CMAKE_INSTALL_LIBDIR}/pkgconfig\")
  set(QX_INCLUDE_DIR \"${CMAKE_INSTALL_INCLUDEDIR}\")
  include(\"${CMAKE_CURRENT_LIST_DIR}/pkgconfig_file.cmake\")" COMPONENT dev)

# The library's manual page goes with the development files.
install(FILES ${QUARNEL_MAN_DIR}/quarnel.7.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man7
  COMPONENT dev)

# The tool author's kit: the guide and the command reference, the example
# tools' sources and the example nets, the licence and the history.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs/ DESTINATION ${CMAKE_INSTALL_DOCDIR}
  COMPONENT doc)
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE ${PROJECT_SOURCE_DIR}/CHANGELOG.md
  DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT doc)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/tool DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples
  COMPONENT doc)
file(GLOB QUARNEL_EXAMPLE_NETS ${PROJECT_SOURCE_DIR}/examples/*.mat
  ${PROJECT_SOURCE_DIR}/examples/*.mat.ref ${PROJECT_SOURCE_DIR}/examples/*.pnml
  ${PROJECT_SOURCE_DIR}/examples/README)
install(FILES ${QUARNEL_EXAMPLE_NETS} DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples
  COMPONENT doc)

include(${CMAKE_CURRENT_LIST_DIR}/packaging.cmake)
