# The Windows build (see mingw-w64-x86_64.cmake): the hardware backend in the
# library, qel.dll with its export list and import library, and the test
# framework and the command-line parser cross-built or staged for it.

file(GLOB QEL_WIN32_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/src/platform/win32/*.cpp)
target_sources(qel_objects PRIVATE ${QEL_WIN32_SOURCES})

# Only the system's known DLLs are imported (the loader takes those from the
# system directory whatever the application's directory holds); hid.dll is
# none, and the backend loads it at run time from the system directory.
set(QEL_WIN32_LIBRARIES ole32 oleaut32 strmiids uuid setupapi)
target_link_libraries(qel PRIVATE ${QEL_WIN32_LIBRARIES})
target_link_libraries(qel_static PUBLIC ${QEL_WIN32_LIBRARIES})

# qel.dll exports exactly the names in src/qel.def, undecorated; the import
# library is libqel.dll.a. The C and C++ runtimes are linked in (-static, see
# the toolchain file), so the DLL needs only DLLs of the system.
target_sources(qel PRIVATE ${PROJECT_SOURCE_DIR}/src/qel.def)
# A 32-bit link would export the stdcall names both plain and decorated
# (QelClose@4), and a MinGW client would bind to the decorated one.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  target_link_options(qel PRIVATE -Wl,--kill-at)
endif()
set_target_properties(qel PROPERTIES PREFIX "" OUTPUT_NAME qel IMPORT_PREFIX lib IMPORT_SUFFIX .dll.a)

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
