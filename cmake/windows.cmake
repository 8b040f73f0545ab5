# The Windows build (see mingw-w64.cmake): the hardware backend in the
# library, qel.dll with its export list, version resource and import
# libraries, and the test framework and the command-line parser cross-built
# or staged for it.

file(GLOB QEL_WIN32_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/src/platform/win32/*.cpp)
target_sources(qel_objects PRIVATE ${QEL_WIN32_SOURCES})

# Only the system's known DLLs are imported (the loader takes those from the
# system directory whatever the application's directory holds); hid.dll is
# none, and the backend loads it at run time from the system directory.
set(QEL_WIN32_LIBRARIES ole32 oleaut32 strmiids uuid setupapi)
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(QEL_OLE32_MTA ${CMAKE_CURRENT_BINARY_DIR}/libole32_mta.a)
  execute_process(COMMAND ${CMAKE_DLLTOOL} -k -d ${CMAKE_CURRENT_LIST_DIR}/windows/ole32_mta_x86.def
    -l ${QEL_OLE32_MTA} RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "${CMAKE_DLLTOOL} could not make ${QEL_OLE32_MTA}")
  endif()
  list(APPEND QEL_WIN32_LIBRARIES ${QEL_OLE32_MTA})
endif()
target_link_libraries(qel PRIVATE ${QEL_WIN32_LIBRARIES})
if(TARGET qel_static)
  target_link_libraries(qel_static PUBLIC ${QEL_WIN32_LIBRARIES})
endif()

# qel.dll exports exactly the names in src/qel.def, undecorated; the import
# library is libqel.dll.a. The C and C++ runtimes are linked in (-static, see
# the toolchain file), so the DLL needs only DLLs of the system.
target_sources(qel PRIVATE ${PROJECT_SOURCE_DIR}/src/qel.def)
# A 32-bit link would export the stdcall names both plain and decorated
# (QelClose@4), and a MinGW client would bind to the decorated one.
# The .def file's plain names are bound to the decorated symbols by the
# linker's stdcall fixup, asked for here so that it does not warn.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  target_link_options(qel PRIVATE -Wl,--kill-at -Wl,--enable-stdcall-fixup)
endif()
set_target_properties(qel PROPERTIES PREFIX "" OUTPUT_NAME qel IMPORT_PREFIX lib IMPORT_SUFFIX .dll.a)

# The version resource of a program or DLL, from the project's version.
enable_language(RC)
function(qel_version_resource target description filename filetype)
  set(QEL_RC_DESCRIPTION "${description}")
  set(QEL_RC_NAME ${target})
  set(QEL_RC_FILENAME ${filename})
  set(QEL_RC_FILETYPE ${filetype})
  configure_file(${PROJECT_SOURCE_DIR}/cmake/windows/version.rc.in
    ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc @ONLY)
  target_sources(${target} PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc)
endfunction()
qel_version_resource(qel "QEL camera control library" qel.dll VFT_DLL)

# The import libraries: qel.lib for Microsoft's linker, made from
# src/qel.def with llvm-dlltool, and on x86 MinGW's libqel.dll.a made anew
# with the decorated names (see windows/import_libraries.cmake).
find_program(QEL_LLVM_DLLTOOL NAMES llvm-dlltool llvm-dlltool-14)
if(QEL_LLVM_DLLTOOL)
  set(QEL_MSVC_IMPLIB ${CMAKE_CURRENT_BINARY_DIR}/qel.lib)
else()
  message(WARNING "llvm-dlltool not found: no qel.lib for Microsoft's linker")
endif()
# The architecture's name, as the archives and their README give it.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(QEL_WINDOWS_ARCH x86)
else()
  set(QEL_WINDOWS_ARCH x64)
endif()
add_custom_command(TARGET qel POST_BUILD
  COMMAND ${CMAKE_COMMAND} -DDEF=${PROJECT_SOURCE_DIR}/src/qel.def
    -DOUT_DIR=$<TARGET_LINKER_FILE_DIR:qel> -DX86=$<STREQUAL:${QEL_WINDOWS_ARCH},x86> -DLLVM_DLLTOOL=${QEL_LLVM_DLLTOOL}
    -DDLLTOOL=${CMAKE_DLLTOOL} -DNM=${CMAKE_NM} "-DOBJECTS=$<TARGET_OBJECTS:qel_objects>"
    -P ${PROJECT_SOURCE_DIR}/cmake/windows/import_libraries.cmake
  BYPRODUCTS ${QEL_MSVC_IMPLIB}
  VERBATIM)

# GoogleTest from Debian's source package, built with the cross compiler. The
# find_package(GTest) of the tests then finds the targets through the config
# file in cmake/windows/.
if(QEL_BUILD_TESTS)
  set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  set(GTest_DIR ${CMAKE_CURRENT_LIST_DIR}/windows CACHE PATH "" FORCE)
endif()

# CLI11 is header-only; its headers are staged alone, since the host's
# include directory must not be searched by the cross compiler.
if(QEL_BUILD_TOOLS)
  set(QEL_CLI11_STAGE ${CMAKE_BINARY_DIR}/cli11-include)
  file(MAKE_DIRECTORY ${QEL_CLI11_STAGE})
  file(CREATE_LINK /usr/include/CLI ${QEL_CLI11_STAGE}/CLI SYMBOLIC)
  set(CLI11_DIR ${CMAKE_CURRENT_LIST_DIR}/windows CACHE PATH "" FORCE)
endif()
