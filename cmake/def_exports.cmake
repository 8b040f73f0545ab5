# qel_def_exports(<def file> <variable>): the names a module-definition file
# exports, in its order (comments and keywords dropped). Used by the scripts
# that make the import libraries and that check the DLL's export table.
function(qel_def_exports def variable)
  file(STRINGS ${def} lines)
  set(names)
  set(in_exports OFF)
  foreach(line IN LISTS lines)
    string(REGEX REPLACE ";.*" "" line "${line}")
    string(STRIP "${line}" line)
    if(line STREQUAL "EXPORTS")
      set(in_exports ON)
    elseif(in_exports AND line MATCHES "^[A-Za-z0-9_]+$")
      list(APPEND names ${line})
    endif()
  endforeach()
  set(${variable} ${names} PARENT_SCOPE)
endfunction()
