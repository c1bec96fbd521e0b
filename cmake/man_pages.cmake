# SPDX-License-Identifier: MIT
# The manual pages as installed, made at build time from the source pages in
# man/ (man_page.cmake): <build>/man/PAGE with the package's version in its
# header, and PAGE.gz.
set(QUARNEL_MAN_DIR ${PROJECT_BINARY_DIR}/man)
find_program(QUARNEL_GZIP gzip REQUIRED)
set(QUARNEL_MAN_PAGES "")
foreach(page varnost.1 pnconv.1 qxhost.1 quarnel.7)
  add_custom_command(OUTPUT ${QUARNEL_MAN_DIR}/${page} ${QUARNEL_MAN_DIR}/${page}.gz
    COMMAND ${CMAKE_COMMAND} -DSOURCE=${PROJECT_SOURCE_DIR}/man/${page}
            -DOUTPUT=${QUARNEL_MAN_DIR}/${page} -DVERSION=${PROJECT_VERSION}
            -DGZIP=${QUARNEL_GZIP} -P ${CMAKE_CURRENT_LIST_DIR}/man_page.cmake
    DEPENDS ${PROJECT_SOURCE_DIR}/man/${page} ${CMAKE_CURRENT_LIST_DIR}/man_page.cmake
    COMMENT "Manual page ${page}" VERBATIM)
  list(APPEND QUARNEL_MAN_PAGES ${QUARNEL_MAN_DIR}/${page}.gz)
endforeach()
add_custom_target(quarnel_man_pages ALL DEPENDS ${QUARNEL_MAN_PAGES})
