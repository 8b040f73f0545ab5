# Makes the import libraries of qel.dll after its link: qel.lib for
# Microsoft's linker (with llvm-dlltool, when given) and, on x86, MinGW's
# libqel.dll.a.
# cmake -DDEF=src/qel.def -DOUT_DIR=... -DX86=ON|OFF [-DLLVM_DLLTOOL=...]
#       [-DDLLTOOL=... -DNM=... -DOBJECTS=<the library's objects>]
#       -P import_libraries.cmake
#
# On x64 the .def file serves as it is. On x86 a stdcall function's symbol
# carries its argument bytes (_QelOpen@20) while the DLL exports the plain
# name (QelOpen): an application's reference must be bound to the plain name.
# The linker's own import library has the plain symbols, which no compiled
# call refers to; both import libraries are made instead from the .def names
# with their decorations (QelOpen@20, read from the library's objects) and -k,
# which makes each import name the plain one.
if(X86)
  execute_process(COMMAND ${NM} -g ${OBJECTS} OUTPUT_VARIABLE symbols RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "${NM} failed on the library's objects")
  endif()
  include(${CMAKE_CURRENT_LIST_DIR}/../def_exports.cmake)
  qel_def_exports(${DEF} names)
  set(decorated "LIBRARY qel.dll\nEXPORTS\n")
  foreach(name IN LISTS names)
    if(NOT symbols MATCHES " T _${name}(@[0-9]+)\n")
      message(FATAL_ERROR "the library's objects define no stdcall function ${name}")
    endif()
    string(APPEND decorated "  ${name}${CMAKE_MATCH_1}\n")
  endforeach()
  set(DEF ${OUT_DIR}/qel-x86.def)
  file(WRITE ${DEF} "${decorated}")
  execute_process(COMMAND ${DLLTOOL} -k -d ${DEF} -D qel.dll -l ${OUT_DIR}/libqel.dll.a
    RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "${DLLTOOL} failed to make libqel.dll.a")
  endif()
  set(machine i386)
  set(kill_at -k)
else()
  set(machine i386:x86-64)
endif()

if(LLVM_DLLTOOL)
  execute_process(COMMAND ${LLVM_DLLTOOL} -m ${machine} ${kill_at} -d ${DEF} -D qel.dll
    -l ${OUT_DIR}/qel.lib RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "${LLVM_DLLTOOL} failed to make qel.lib")
  endif()
endif()
