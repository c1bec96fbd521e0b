# SPDX-License-Identifier: MIT
# Builds that do not depend on where they are made: two builds of the same
# source in two folders give the same objects, libraries, programs and
# packages.
# - The source and build folders are mapped out of debug information,
#   __FILE__ and the like (the build folder last: it may lie inside the
#   source folder, and the last matching map wins).
# - Programs find the build's shared library through a RUNPATH relative to
#   their own place ($ORIGIN), never through the build folder's path; the
#   install removes it.
# - Dates of generated files come from SOURCE_DATE_EPOCH when it is set (see
#   packaging.cmake); archives are made in deterministic mode (the default of
#   the GNU tools here), and packaged files are stripped (install.cmake).
add_compile_options("-ffile-prefix-map=${PROJECT_SOURCE_DIR}=."
                    "-ffile-prefix-map=${PROJECT_BINARY_DIR}=.")
set(CMAKE_BUILD_RPATH_USE_ORIGIN ON)
