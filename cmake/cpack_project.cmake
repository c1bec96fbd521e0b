# SPDX-License-Identifier: MIT
# Read by cpack before it installs the project for a package
# (CPACK_PROJECT_CONFIG_FILE): a package is installed in a fixed prefix, so
# quarnel.pc gets plain paths there (cmake/pkgconfig_file.cmake) instead of
# the relocatable form of a plain install.
if(CPACK_PACKAGING_INSTALL_PREFIX)
  set(ENV{QUARNEL_PC_FIXED_PREFIX} "${CPACK_PACKAGING_INSTALL_PREFIX}")
else()
  set(ENV{QUARNEL_PC_FIXED_PREFIX} /usr)
endif()
