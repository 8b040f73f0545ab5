# Checks that qel.dll exports exactly the names of src/qel.def, and that the
# list names exactly the functions of the sources' export tables.
# cmake -DOBJDUMP=... -DDLL=... -DDEF=... -DSOURCES=<src dir> -P check_exports.cmake

cmake_policy(SET CMP0057 NEW)  # if(... IN_LIST ...)

execute_process(COMMAND ${OBJDUMP} -p ${DLL} OUTPUT_VARIABLE dump RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "objdump failed on ${DLL}")
endif()
string(REGEX MATCH "\\[Ordinal/Name Pointer\\] Table[^\n]*\n(([^\n]+\n)*)" table "${dump}")
string(REGEX MATCHALL "\\] [A-Za-z0-9_]+" exported "${CMAKE_MATCH_1}")
list(TRANSFORM exported REPLACE "\\] " "")
list(SORT exported)

include(${CMAKE_CURRENT_LIST_DIR}/../../cmake/def_exports.cmake)
qel_def_exports(${DEF} listed)
list(SORT listed)

# The exports are defined from their tables (core/exports.h for the
# library, platform/virtual/qelsim_exports.h for the rig): X(result, name, ...).
file(GLOB_RECURSE tables ${SOURCES}/*exports.h)
set(defined)
foreach(table IN LISTS tables)
  file(READ ${table} text)
  string(REGEX MATCHALL "X\\([^,()]+,[ \t\r\n]*[A-Za-z0-9_]+[ \t\r\n]*," matches "${text}")
  foreach(match IN LISTS matches)
    string(REGEX REPLACE "^X\\([^,()]+,[ \t\r\n]*([A-Za-z0-9_]+).*$" "\\1" name "${match}")
    list(APPEND defined ${name})
  endforeach()
endforeach()
list(REMOVE_ITEM defined name)  # the tables' own comment: X(result, name, ...)
list(REMOVE_DUPLICATES defined)
list(SORT defined)

if(NOT exported STREQUAL listed)
  message(FATAL_ERROR "qel.dll exports\n  ${exported}\nbut qel.def lists\n  ${listed}")
endif()
if(NOT listed STREQUAL defined)
  message(FATAL_ERROR "qel.def lists\n  ${listed}\nbut the sources define\n  ${defined}")
endif()
list(LENGTH exported count)
message(STATUS "qel.dll exports the ${count} names of qel.def, undecorated")

# Only known DLLs of the system, which the loader takes from the system
# directory whatever lies beside the application: no compiler runtime, and no
# DLL such as hid.dll that a planted copy could stand in for.
set(known_dlls advapi32.dll combase.dll gdi32.dll kernel32.dll msvcrt.dll ole32.dll oleaut32.dll
  rpcrt4.dll sechost.dll setupapi.dll shell32.dll shlwapi.dll user32.dll)
string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${dump}")
foreach(import IN LISTS imports)
  string(REGEX REPLACE "DLL Name: " "" import "${import}")
  string(STRIP "${import}" import)
  string(TOLOWER "${import}" import)
  if(NOT import IN_LIST known_dlls)
    message(FATAL_ERROR "qel.dll imports ${import}, which is not a known DLL of the system")
  endif()
endforeach()
