# SPDX-License-Identifier: MIT
# quarnel_read_exports(<out> <library> <nm>): the names of the symbols a
# shared library exports (nm -D, defined ones), without the markers some
# linkers add to every shared object. Fails the script when nm fails.
function(quarnel_read_exports out library nm)
  execute_process(COMMAND ${nm} -D --defined-only ${library} RESULT_VARIABLE result
                  OUTPUT_VARIABLE listing ERROR_VARIABLE error)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "nm -D ${library} failed: ${error}")
  endif()
  string(REPLACE "\n" ";" lines "${listing}")
  set(names "")
  foreach(line IN LISTS lines)
    # "ADDRESS TYPE NAME": the names the dynamic linker can bind to.
    if(line MATCHES "^[0-9a-f]+ [A-Za-z] ([^ @]+)")
      list(APPEND names ${CMAKE_MATCH_1})
    endif()
  endforeach()
  list(REMOVE_ITEM names _init _fini _edata _end __bss_start)
  set(${out} ${names} PARENT_SCOPE)
endfunction()
