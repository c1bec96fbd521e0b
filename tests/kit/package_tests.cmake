# SPDX-License-Identifier: MIT
# The shared library and the Debian packages, registered in a shared build
# (included by CMakeLists.txt): this very build is the first of the two the
# packages are made from, so its library, tools and manual pages are built
# once, by the build itself (make test-shared configures it as the packages
# want it: prefix /usr and so the multiarch library folder, optimisation, and
# debug information, which the ABI check reads and the packages strip).
if(NOT QUARNEL_INSTALL OR NOT QUARNEL_BUILD_TOOLS)
  return()
endif()
if(NOT CMAKE_INSTALL_PREFIX STREQUAL "/usr")
  message(STATUS "package tests not registered: a shared build for the prefix /usr makes "
                 "the packages (make test-shared)")
  return()
endif()

# The multiarch library folder the packages and the layout tests use.
set(QX_LIBRARY_ARCH ${CMAKE_LIBRARY_ARCHITECTURE})
if(NOT QX_LIBRARY_ARCH)
  set(QX_LIBRARY_ARCH x86_64-linux-gnu)
endif()

# The second build: the same source, configured as this build in a folder of
# its own, building only what is packaged (no tests, no benchmarks). A
# sibling of this build's folder, of the same depth, so that a compiler
# launcher that makes source paths relative to the build folder (ccache's
# base folder) gives both builds the same paths. The settings it takes from
# this build (those that are set) are written to an initial cache.
set(QX_AGAIN_BUILD ${CMAKE_BINARY_DIR}_in_another_folder)
string(TOUPPER "${CMAKE_BUILD_TYPE}" qx_config)
set(qx_settings "# The settings of ${CMAKE_BINARY_DIR} that the packages depend on.\n")
foreach(entry
    CMAKE_C_COMPILER:FILEPATH CMAKE_CXX_COMPILER:FILEPATH
    CMAKE_C_COMPILER_LAUNCHER:STRING CMAKE_CXX_COMPILER_LAUNCHER:STRING
    CMAKE_BUILD_TYPE:STRING CMAKE_C_FLAGS:STRING CMAKE_CXX_FLAGS:STRING
    CMAKE_C_FLAGS_${qx_config}:STRING CMAKE_CXX_FLAGS_${qx_config}:STRING
    CMAKE_EXE_LINKER_FLAGS:STRING CMAKE_SHARED_LINKER_FLAGS:STRING
    CMAKE_INSTALL_PREFIX:PATH CMAKE_INSTALL_LIBDIR:PATH CMAKE_INSTALL_DOCDIR:PATH
    BUILD_SHARED_LIBS:BOOL QUARNEL_HARDENING:BOOL QUARNEL_STATIC_CXX_RUNTIME:BOOL
    QUARNEL_BUILD_TOOLS:BOOL QUARNEL_INSTALL:BOOL QUARNEL_PACKAGE_CONTACT:STRING)
  string(REPLACE ":" ";" entry ${entry})
  list(GET entry 0 name)
  list(GET entry 1 type)
  if(NOT DEFINED ${name})
    continue()
  endif()
  string(APPEND qx_settings "set(${name} [==[${${name}}]==] CACHE ${type} \"\" FORCE)\n")
endforeach()
string(APPEND qx_settings "set(QUARNEL_BUILD_TESTS OFF CACHE BOOL \"\" FORCE)\n"
                          "set(QUARNEL_BUILD_BENCH OFF CACHE BOOL \"\" FORCE)\n")
set(QX_AGAIN_SETTINGS ${CMAKE_CURRENT_BINARY_DIR}/second_build_settings.cmake)
file(WRITE ${QX_AGAIN_SETTINGS} "${qx_settings}")

set(QX_KIT_VARIABLES -DSOURCE_DIR=${PROJECT_SOURCE_DIR}
    -DC_COMPILER=${CMAKE_C_COMPILER} -DCXX_COMPILER=${CMAKE_CXX_COMPILER}
    -DLIBRARY_ARCH=${QX_LIBRARY_ARCH} -DVERSION=${PROJECT_VERSION})

# The longest test of the pass, on which the packages wait: a high cost
# starts it first.
add_test(NAME package.SecondBuildInAnotherFolder
  COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${PROJECT_SOURCE_DIR} -DBUILD_DIR=${QX_AGAIN_BUILD}
          -DSETTINGS=${QX_AGAIN_SETTINGS} -P ${CMAKE_CURRENT_SOURCE_DIR}/shared_build.cmake)
set_tests_properties(package.SecondBuildInAnotherFolder PROPERTIES TIMEOUT 1200 COST 10000
  FIXTURES_SETUP quarnel_second_build)

find_program(QX_NM nm)
add_test(NAME package.SharedLibraryExportsOnlyThePublicInterface
  COMMAND ${CMAKE_COMMAND} -DLIBRARY=$<TARGET_FILE:quarnel>
          "-DHEADER_DIRS=${PROJECT_SOURCE_DIR}/include$<SEMICOLON>${QUARNEL_GENERATED_INCLUDE}"
          -DC_COMPILER=${CMAKE_C_COMPILER} -DNM=${QX_NM}
          -DWORK_DIR=${CMAKE_CURRENT_BINARY_DIR}/exported_symbols
          -P ${CMAKE_CURRENT_SOURCE_DIR}/exported_symbols.cmake)
set_tests_properties(package.SharedLibraryExportsOnlyThePublicInterface PROPERTIES TIMEOUT 120)

add_test(NAME package.AbiCompatibleWithBaseline
  COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${PROJECT_SOURCE_DIR} -DLIBRARY=$<TARGET_FILE:quarnel>
          -P ${CMAKE_CURRENT_SOURCE_DIR}/abi_check.cmake)
set_tests_properties(package.AbiCompatibleWithBaseline PROPERTIES TIMEOUT 300 COST 500
  SKIP_REGULAR_EXPRESSION "ABI check skipped")

add_test(NAME package.DebianPackagesInstallAndLink
  COMMAND ${CMAKE_COMMAND} ${QX_KIT_VARIABLES} -DBUILD_DIR=${CMAKE_BINARY_DIR}
          -DAGAIN_DIR=${QX_AGAIN_BUILD} -DWORK_DIR=${CMAKE_CURRENT_BINARY_DIR}/deb_work
          -P ${CMAKE_CURRENT_SOURCE_DIR}/deb_package_test.cmake)
set_tests_properties(package.DebianPackagesInstallAndLink PROPERTIES TIMEOUT 900 COST 5000
  FIXTURES_REQUIRED quarnel_second_build RESOURCE_LOCK quarnel_second_build
  SKIP_REGULAR_EXPRESSION "package test skipped")

# Installs from the second build and reconfigures its library folder (this
# build's own is never changed): after the packages. The second build
# configures its library folder again each time.
add_test(NAME package.PkgConfigFindsItsPrefixInEveryLayout
  COMMAND ${CMAKE_COMMAND} ${QX_KIT_VARIABLES} -DBUILD_DIR=${QX_AGAIN_BUILD}
          -DWORK_DIR=${CMAKE_CURRENT_BINARY_DIR}/pc_work
          -P ${CMAKE_CURRENT_SOURCE_DIR}/pkgconfig_layout_test.cmake)
set_tests_properties(package.PkgConfigFindsItsPrefixInEveryLayout PROPERTIES TIMEOUT 300
  FIXTURES_REQUIRED quarnel_second_build RESOURCE_LOCK quarnel_second_build
  DEPENDS package.DebianPackagesInstallAndLink
  SKIP_REGULAR_EXPRESSION "layout test skipped")
