# The library as an installable package: the tools, the public headers,
# libquarnel.a, a CMake package (find_package(Quarnel) -> Quarnel::quarnel)
# and a pkg-config file (quarnel.pc). Both packages are relocatable: they find
# the prefix from their own place.
include(CMakePackageConfigHelpers)

# What a program linking the installed library needs beyond its headers and
# the unwind-table option (set beside the library target): the C++ runtime, so
# that a program linked by the C compiler works: the libraries the C++
# compiler links implicitly and the C compiler does not.
set(QUARNEL_CXX_RUNTIME ${CMAKE_CXX_IMPLICIT_LINK_LIBRARIES})
if(CMAKE_C_IMPLICIT_LINK_LIBRARIES)
  list(REMOVE_ITEM QUARNEL_CXX_RUNTIME ${CMAKE_C_IMPLICIT_LINK_LIBRARIES})
endif()
list(REMOVE_DUPLICATES QUARNEL_CXX_RUNTIME)
target_link_libraries(quarnel INTERFACE $<INSTALL_INTERFACE:${QUARNEL_CXX_RUNTIME}>)
set(QUARNEL_PC_LIBS "")
foreach(lib IN LISTS QUARNEL_CXX_RUNTIME)
  string(APPEND QUARNEL_PC_LIBS " -l${lib}")
endforeach()
# An instrumented library needs the sanitizer runtimes in every program.
if(QUARNEL_SANITIZE)
  target_link_options(quarnel INTERFACE $<INSTALL_INTERFACE:-fsanitize=address,undefined>)
  string(APPEND QUARNEL_PC_LIBS " -fsanitize=address,undefined")
endif()

set(QUARNEL_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Quarnel)

install(TARGETS quarnel EXPORT QuarnelTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/quarnel
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} FILES_MATCHING PATTERN "*.h")
foreach(program varnost qxhost)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()

install(EXPORT QuarnelTargets NAMESPACE Quarnel:: DESTINATION ${QUARNEL_CMAKE_DIR})
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/QuarnelConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/QuarnelConfig.cmake INSTALL_DESTINATION ${QUARNEL_CMAKE_DIR})
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/QuarnelConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
# quarnel_add_conversation_test, which finds the installed qxhost from its own
# place in the prefix.
file(RELATIVE_PATH QUARNEL_QXHOST_FROM_CMAKE_DIR ${CMAKE_INSTALL_PREFIX}/${QUARNEL_CMAKE_DIR}
     ${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/qxhost)
configure_file(${CMAKE_CURRENT_LIST_DIR}/QuarnelConversationTest.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/QuarnelConversationTest.cmake @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/QuarnelConfig.cmake
  ${CMAKE_CURRENT_BINARY_DIR}/QuarnelConfigVersion.cmake
  ${CMAKE_CURRENT_BINARY_DIR}/QuarnelConversationTest.cmake DESTINATION ${QUARNEL_CMAKE_DIR})

configure_file(${CMAKE_CURRENT_LIST_DIR}/quarnel.pc.in ${CMAKE_CURRENT_BINARY_DIR}/quarnel.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/quarnel.pc
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

# The tool author's kit: the guide and the command reference, the manual
# pages, the example tools' sources and the example nets.
set(QUARNEL_DOC_DIR ${CMAKE_INSTALL_DATAROOTDIR}/doc/quarnel)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs/ DESTINATION ${QUARNEL_DOC_DIR})
install(FILES ${PROJECT_SOURCE_DIR}/man/varnost.1 ${PROJECT_SOURCE_DIR}/man/qxhost.1
  DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${PROJECT_SOURCE_DIR}/man/quarnel.7 DESTINATION ${CMAKE_INSTALL_MANDIR}/man7)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/tool DESTINATION ${QUARNEL_DOC_DIR}/examples)
file(GLOB QUARNEL_EXAMPLE_NETS ${PROJECT_SOURCE_DIR}/examples/*.mat
  ${PROJECT_SOURCE_DIR}/examples/*.mat.ref)
install(FILES ${QUARNEL_EXAMPLE_NETS} DESTINATION ${QUARNEL_DOC_DIR}/examples)
