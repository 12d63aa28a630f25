# Checks a built module with objdump -p (run as a CTest test of Windows
# builds): it exports nothing, imports only from the allowed DLLs, and
# imports each of the REQUIRED functions (optional; dll:function, such as
# msvcrt.dll:_setjmp) from the DLL named.
#   cmake -DOBJDUMP=... -DMODULE=path/Corvane.dll -DALLOWED=a.dll,b.dll [-DREQUIRED=a.dll:f,...]
#         -P windows_module_layout.cmake
cmake_minimum_required(VERSION 3.25)
foreach(var OBJDUMP MODULE ALLOWED)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "windows_module_layout: ${var} not given")
  endif()
endforeach()
if(NOT EXISTS "${MODULE}")
  message(FATAL_ERROR "windows_module_layout: no module at ${MODULE}")
endif()

execute_process(COMMAND ${OBJDUMP} -p ${MODULE} OUTPUT_VARIABLE dump RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "windows_module_layout: ${OBJDUMP} -p ${MODULE} failed (${status})")
endif()

set(failures "")
# An export table, even an empty one, lists "Export Address Table" entries.
string(REGEX MATCHALL "\\[ *[0-9]+\\] \\+base\\[ *[0-9]+\\]" exports "${dump}")
list(LENGTH exports export_count)
if(export_count GREATER 0)
  list(APPEND failures "exports ${export_count} symbols, expected none")
endif()

string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${dump}")
string(REPLACE "," ";" allowed "${ALLOWED}")
string(TOLOWER "${allowed}" allowed_lower)
set(seen "")
foreach(line IN LISTS imports)
  string(REGEX REPLACE "DLL Name: " "" dll "${line}")
  string(STRIP "${dll}" dll)
  list(APPEND seen ${dll})
  string(TOLOWER "${dll}" dll_lower)
  if(NOT dll_lower IN_LIST allowed_lower)
    list(APPEND failures "imports from ${dll}, which is not allowed")
  endif()
endforeach()

# objdump lists each DLL's imports after its "DLL Name:" line, one per line
# as "<hint-table entry> <hint> <name>", up to the next DLL's.
set(imported "")
string(REPLACE ";" "," lines "${dump}")
string(REPLACE "\n" ";" lines "${lines}")
set(current "")
foreach(line IN LISTS lines)
  if(line MATCHES "DLL Name: (.+)$")
    string(STRIP "${CMAKE_MATCH_1}" current)
    string(TOLOWER "${current}" current)
  elseif(NOT current STREQUAL "" AND line MATCHES "^[ \t]*[0-9a-fA-F]+[ \t]+[0-9]+[ \t]+([^ \t]+)[ \t]*$")
    list(APPEND imported "${current}:${CMAKE_MATCH_1}")
  endif()
endforeach()
string(REPLACE "," ";" required "${REQUIRED}")
foreach(entry IN LISTS required)
  string(TOLOWER "${entry}" entry_lower)
  string(REGEX REPLACE ":.*" "" dll "${entry_lower}")
  string(REGEX REPLACE "^[^:]*:" "" function "${entry}")
  if(NOT "${dll}:${function}" IN_LIST imported)
    list(APPEND failures "does not import ${function} from ${dll}")
  endif()
endforeach()

if(failures)
  string(REPLACE ";" "\n  " text "${failures}")
  message(FATAL_ERROR "${MODULE}:\n  ${text}")
endif()
message(STATUS "${MODULE}: no exports; imports from ${seen}; among them ${REQUIRED}")
