# SPDX-License-Identifier: MIT
# Hardening, as distributions build their packages: the stack protector for
# functions with arrays or address-taken locals, the checked variants of the
# C library's string and memory functions (_FORTIFY_SOURCE=2, which needs
# optimisation: not in Debug builds), a read-only GOT after start-up
# (-z relro -z now) and position-independent programs. QUARNEL_HARDENING=OFF
# leaves them out.
#
# Flags given by the builder win: CFLAGS, CXXFLAGS and LDFLAGS of the
# environment (dpkg-buildflags) land in CMAKE_<LANG>_FLAGS and
# CMAKE_*_LINKER_FLAGS, and a family of flags named there is not added again,
# whether it is turned on, off or set to another level.
option(QUARNEL_HARDENING "Build with the stack protector, FORTIFY, RELRO, BIND_NOW and PIE" ON)
if(NOT QUARNEL_HARDENING)
  return()
endif()

set(qx_given_flags "${CMAKE_C_FLAGS} ${CMAKE_CXX_FLAGS}")
set(qx_given_link_flags "${CMAKE_EXE_LINKER_FLAGS} ${CMAKE_SHARED_LINKER_FLAGS}")
if(NOT qx_given_flags MATCHES "-f(no-)?stack-protector")
  add_compile_options(-fstack-protector-strong)
endif()
# Not under the sanitizers (QUARNEL_SANITIZE, the fuzz targets): they check
# every access themselves, and the checked variants would hide the calls
# from their interceptors.
if(NOT qx_given_flags MATCHES "_FORTIFY_SOURCE" AND NOT QUARNEL_SANITIZE AND NOT QUARNEL_FUZZ)
  add_compile_options($<$<NOT:$<CONFIG:Debug>>:-D_FORTIFY_SOURCE=2>)
endif()
if(NOT qx_given_link_flags MATCHES "relro")
  add_link_options(LINKER:-z,relro)
endif()
if(NOT qx_given_link_flags MATCHES "-z,?(now|lazy)|-z (now|lazy)")
  add_link_options(LINKER:-z,now)
endif()
# Every object position-independent; programs linked as PIE (policy CMP0083).
set(CMAKE_POSITION_INDEPENDENT_CODE ON)
include(CheckPIESupported)
check_pie_supported()
