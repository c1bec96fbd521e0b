# SPDX-License-Identifier: MIT
# Install-time part of a stripped install (cmake --install --strip, CPack's
# packages), after CMake's own strip of the programs and the shared library:
# - the static archives lose their debug information as those do, in
#   deterministic mode (no dates, owners or modes of their own), so that what
#   is packaged holds no build paths and two builds give the same archives;
# - every file loses the compiler's .comment and .note sections, which say
#   nothing a program or linker needs (as distributions strip them).
# Nothing happens in a plain install.
# Variables: QX_STRIP (the strip program), QX_DIR (the files' folder,
# absolute or relative to the prefix), QX_FILES (file names), QX_ARCHIVES
# (true for static archives).
if(NOT CMAKE_INSTALL_DO_STRIP OR NOT QX_STRIP)
  return()
endif()
set(dir "${QX_DIR}")
if(NOT IS_ABSOLUTE "${dir}")
  set(dir "${CMAKE_INSTALL_PREFIX}/${dir}")
endif()
set(options --remove-section=.comment --remove-section=.note)
if(QX_ARCHIVES)
  list(APPEND options --strip-debug --enable-deterministic-archives)
endif()
foreach(name IN LISTS QX_FILES)
  set(file "$ENV{DESTDIR}${dir}/${name}")
  execute_process(COMMAND "${QX_STRIP}" ${options} "${file}"
                  RESULT_VARIABLE result ERROR_VARIABLE error)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "cannot strip ${file}: ${error}")
  endif()
endforeach()
