# SPDX-License-Identifier: MIT
# Install-time part of quarnel.pc: fills in the prefix, library and header
# folders for the prefix the install is made to, and installs the file.
# - A relocatable install (cmake --install, with or without --prefix and
#   DESTDIR): each folder relative to ${pcfiledir}, so that the file stays
#   right under DESTDIR and in a moved tree.
# - An install for a fixed prefix, as a package is (cpack, which sets the
#   environment variable QUARNEL_PC_FIXED_PREFIX to the package's prefix,
#   cmake/cpack_project.cmake): plain paths, prefix=/usr.
# Variables: QX_PC_TEMPLATE, QX_PC_OUTPUT, QX_PC_DIR (the library folder's
# pkgconfig, absolute or relative to the prefix), QX_INCLUDE_DIR (likewise).
function(qx_from_prefix out path)
  if(IS_ABSOLUTE "${path}")
    set(${out} "${path}" PARENT_SCOPE)
  else()
    set(${out} "${CMAKE_INSTALL_PREFIX}/${path}" PARENT_SCOPE)
  endif()
endfunction()
qx_from_prefix(pc_dir "${QX_PC_DIR}")
qx_from_prefix(include_dir "${QX_INCLUDE_DIR}")
cmake_path(GET QX_PC_DIR PARENT_PATH lib_dir)
if(DEFINED ENV{QUARNEL_PC_FIXED_PREFIX})
  set(QUARNEL_PC_PREFIX "$ENV{QUARNEL_PC_FIXED_PREFIX}")
  set(QUARNEL_PC_LIBDIR "${lib_dir}")
  set(QUARNEL_PC_INCLUDEDIR "${QX_INCLUDE_DIR}")
  if(NOT IS_ABSOLUTE "${lib_dir}")
    set(QUARNEL_PC_LIBDIR "\${prefix}/${lib_dir}")
  endif()
  if(NOT IS_ABSOLUTE "${QX_INCLUDE_DIR}")
    set(QUARNEL_PC_INCLUDEDIR "\${prefix}/${QX_INCLUDE_DIR}")
  endif()
else()
  file(RELATIVE_PATH to_prefix "${pc_dir}" "${CMAKE_INSTALL_PREFIX}")
  file(RELATIVE_PATH to_include "${pc_dir}" "${include_dir}")
  set(QUARNEL_PC_PREFIX "\${pcfiledir}/${to_prefix}")
  set(QUARNEL_PC_LIBDIR "\${pcfiledir}/..")
  set(QUARNEL_PC_INCLUDEDIR "\${pcfiledir}/${to_include}")
  if(NOT IS_ABSOLUTE "${QX_INCLUDE_DIR}")
    set(QUARNEL_PC_INCLUDEDIR "\${prefix}/${QX_INCLUDE_DIR}")
  endif()
endif()
configure_file("${QX_PC_TEMPLATE}" "${QX_PC_OUTPUT}" @ONLY)
file(INSTALL DESTINATION "${pc_dir}" TYPE FILE FILES "${QX_PC_OUTPUT}")
