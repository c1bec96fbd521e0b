# SPDX-License-Identifier: MIT
# Run by cpack after it has made the Debian packages (CPACK_POST_BUILD_SCRIPTS):
# completes what CPack's DEB generator cannot say, and makes each package again
# with dpkg-deb, in a form that depends only on its contents.
# - The Multi-Arch field of each package (CPACK_QUARNEL_MULTIARCH: a list of
#   PACKAGE=VALUE), which this generator has no variable for.
# - Documentation compressed as policy asks (gzip -9n, files of more than
#   4 kB in /usr/share/doc, but the copyright file and the example tool's
#   sources, which stay buildable where they are) in the packages of
#   CPACK_QUARNEL_COMPRESS_DOC, without the files of CPACK_QUARNEL_DOC_DROP
#   (the licence, whose text the copyright file holds); their md5sums are
#   made again.
# - No maintainer scripts of the library's package: CPack writes a postinst
#   and postrm that call ldconfig, where dpkg's ldconfig trigger (the package's
#   triggers file) already refreshes the cache.
# - dpkg-deb sorts the files, makes root the owner of each and dates the
#   archive SOURCE_DATE_EPOCH, as every file is dated before; the date comes
#   from CPACK_QUARNEL_SOURCE_DATE_EPOCH when the environment gives none.
# Variables from cpack: CPACK_PACKAGE_FILES, CPACK_QUARNEL_MULTIARCH,
# CPACK_QUARNEL_COMPRESS_DOC, CPACK_QUARNEL_DOC_DROP,
# CPACK_QUARNEL_RUNTIME_PACKAGE, CPACK_QUARNEL_SOURCE_DATE_EPOCH,
# CPACK_TEMPORARY_DIRECTORY.
find_program(QX_DPKG_DEB dpkg-deb REQUIRED)
find_program(QX_GZIP gzip REQUIRED)
if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
  set(ENV{SOURCE_DATE_EPOCH} "${CPACK_QUARNEL_SOURCE_DATE_EPOCH}")
endif()

# Runs a command with the modes of new files fixed (umask 022), so that the
# unpacked tree does not depend on the umask of whoever runs cpack.
function(qx_deb_run)
  string(JOIN "\" \"" command ${ARGN})
  execute_process(COMMAND sh -c "umask 022 && \"${command}\"" RESULT_VARIABLE result
                  OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${ARGN} failed:\n${out}${err}")
  endif()
  set(qx_deb_output "${out}" PARENT_SCOPE)
endfunction()

foreach(deb IN LISTS CPACK_PACKAGE_FILES)
  if(NOT deb MATCHES "\\.deb$")
    continue()
  endif()
  qx_deb_run(${QX_DPKG_DEB} -f ${deb} Package)
  string(STRIP "${qx_deb_output}" package)
  set(tree "${CPACK_TEMPORARY_DIRECTORY}/quarnel_deb_finish/${package}")
  file(REMOVE_RECURSE "${tree}")
  file(MAKE_DIRECTORY "${CPACK_TEMPORARY_DIRECTORY}/quarnel_deb_finish")
  qx_deb_run(${QX_DPKG_DEB} -R ${deb} ${tree})

  file(READ "${tree}/DEBIAN/control" control)
  foreach(entry IN LISTS CPACK_QUARNEL_MULTIARCH)
    if(entry MATCHES "^${package}=(.+)$")
      string(REGEX REPLACE "(^|\n)(Architecture: [^\n]*\n)" "\\1\\2Multi-Arch: ${CMAKE_MATCH_1}\n"
             control "${control}")
    endif()
  endforeach()
  if(package IN_LIST CPACK_QUARNEL_COMPRESS_DOC)
    foreach(drop IN LISTS CPACK_QUARNEL_DOC_DROP)
      file(REMOVE ${tree}/${drop})
    endforeach()
    file(GLOB_RECURSE docs LIST_DIRECTORIES false RELATIVE ${tree} ${tree}/usr/share/doc/*)
    foreach(doc IN LISTS docs)
      file(SIZE ${tree}/${doc} size)
      if(size GREATER 4096 AND NOT doc MATCHES "(/copyright|\\.gz)$" AND
         NOT doc MATCHES "/examples/tool/")
        qx_deb_run(${QX_GZIP} -9n ${tree}/${doc})
      endif()
    endforeach()
    file(GLOB_RECURSE files LIST_DIRECTORIES false RELATIVE ${tree} ${tree}/*)
    list(FILTER files EXCLUDE REGEX "^DEBIAN/")
    list(SORT files)
    set(md5sums "")
    foreach(file IN LISTS files)
      file(MD5 ${tree}/${file} md5)
      string(APPEND md5sums "${md5}  ${file}\n")
    endforeach()
    file(WRITE ${tree}/DEBIAN/md5sums "${md5sums}")
    # Installed-Size as dpkg-gencontrol counts it: KiB of each file, rounded
    # up, and one for each folder.
    set(kib 0)
    foreach(file IN LISTS files)
      file(SIZE ${tree}/${file} size)
      math(EXPR kib "${kib} + (${size} + 1023) / 1024")
    endforeach()
    file(GLOB_RECURSE dirs LIST_DIRECTORIES true ${tree}/usr/*)
    foreach(dir IN LISTS dirs)
      if(IS_DIRECTORY ${dir})
        math(EXPR kib "${kib} + 1")
      endif()
    endforeach()
    string(REGEX REPLACE "(^|\n)Installed-Size: [0-9]+" "\\1Installed-Size: ${kib}" control
           "${control}")
  endif()
  file(WRITE "${tree}/DEBIAN/control" "${control}")
  if(package STREQUAL CPACK_QUARNEL_RUNTIME_PACKAGE)
    file(REMOVE "${tree}/DEBIAN/postinst" "${tree}/DEBIAN/postrm")
  endif()

  # Every file dated SOURCE_DATE_EPOCH exactly: dpkg-deb only brings later
  # dates down to it, and files made before it (by an earlier build in the
  # same folder) would keep their own.
  qx_deb_run(find ${tree} -exec touch -h -d @$ENV{SOURCE_DATE_EPOCH} {} +)
  file(REMOVE "${deb}")
  qx_deb_run(${QX_DPKG_DEB} --root-owner-group -Zxz -b ${tree} ${deb})
  file(REMOVE_RECURSE "${tree}")
endforeach()
