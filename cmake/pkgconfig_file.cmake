# SPDX-License-Identifier: MIT
# Install-time part of quarnel.pc: fills in the way from the pkg-config folder
# to the prefix and to the headers, for the prefix the install is made to
# (cmake --install --prefix, CPack's staging), and installs the file. Relative
# to ${pcfiledir}, they stay right under DESTDIR and in a moved tree.
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
file(RELATIVE_PATH QUARNEL_PC_TO_PREFIX "${pc_dir}" "${CMAKE_INSTALL_PREFIX}")
file(RELATIVE_PATH to_include "${pc_dir}" "${include_dir}")
set(QUARNEL_PC_INCLUDEDIR "\${pcfiledir}/${to_include}")
if(NOT IS_ABSOLUTE "${QX_INCLUDE_DIR}")
  set(QUARNEL_PC_INCLUDEDIR "\${prefix}/${QX_INCLUDE_DIR}")
endif()
configure_file("${QX_PC_TEMPLATE}" "${QX_PC_OUTPUT}" @ONLY)
file(INSTALL DESTINATION "${pc_dir}" TYPE FILE FILES "${QX_PC_OUTPUT}")
