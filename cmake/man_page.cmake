# SPDX-License-Identifier: MIT
# Makes an installable manual page from its source page: the version field of
# the source's .TH line, "Quarnel", becomes "Quarnel VERSION"; the page is
# then compressed as distributions ship pages (gzip -9, no name or time
# stamp), beside the uncompressed one.
# Variables: SOURCE, OUTPUT, VERSION, GZIP.
file(READ ${SOURCE} page)
string(REGEX MATCH "(^|\n)\\.TH [^\n]*\"Quarnel\"" header "${page}")
if(NOT header)
  message(FATAL_ERROR "${SOURCE}: no .TH line with the field \"Quarnel\"")
endif()
string(REPLACE "\"Quarnel\"" "\"Quarnel ${VERSION}\"" versioned "${header}")
string(REPLACE "${header}" "${versioned}" page "${page}")
file(WRITE ${OUTPUT} "${page}")
execute_process(COMMAND ${GZIP} -9nkf ${OUTPUT} RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cannot compress ${OUTPUT}")
endif()
