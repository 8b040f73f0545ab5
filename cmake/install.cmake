# What cmake --install puts into the prefix: the library (with its SONAME
# link, or on Windows the DLL and its import libraries), the public headers,
# qelctl, and the CMake and pkg-config packages, each in a component the
# Debian packages are made from (runtime, development, tools).
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(QEL_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/qel)

install(TARGETS qel EXPORT qelTargets
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime
          NAMELINK_COMPONENT development
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development)
install(FILES include/qel/qel.h include/qel/qel.hpp include/qel/qelsim.h
              ${QEL_GENERATED_INCLUDE}/qel/qel_version.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/qel COMPONENT development)

if(TARGET qelctl)
  # Finds the library beside it in any prefix, not only in the system's.
  file(RELATIVE_PATH QEL_BIN_TO_LIB ${CMAKE_INSTALL_FULL_BINDIR} ${CMAKE_INSTALL_FULL_LIBDIR})
  set_target_properties(qelctl PROPERTIES INSTALL_RPATH "$ORIGIN/${QEL_BIN_TO_LIB}")
  install(TARGETS qelctl RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tools)
endif()

# The API reference (QEL_BUILD_DOCS, cmake/docs.cmake), with the development
# files: the SDK's docs/ folder on Windows, /usr/share/doc/libqel-dev/html in the
# Debian package.
if(QEL_BUILD_DOCS)
  if(WIN32)
    set(QEL_DOCS_DESTINATION docs)
  else()
    set(QEL_DOCS_DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/libqel-dev/html)
  endif()
  install(DIRECTORY ${QEL_DOCS_HTML}/ DESTINATION ${QEL_DOCS_DESTINATION} COMPONENT development)
endif()

# find_package(qel [version] REQUIRED) and the target qel::qel.
install(EXPORT qelTargets NAMESPACE qel:: DESTINATION ${QEL_CMAKE_DIR} COMPONENT development)
configure_package_config_file(cmake/package/qelConfig.cmake.in
  ${PROJECT_BINARY_DIR}/qelConfig.cmake INSTALL_DESTINATION ${QEL_CMAKE_DIR})
# A newer library of the same major version serves a request for an older
# one; the major version is the SONAME's.
write_basic_package_version_file(${PROJECT_BINARY_DIR}/qelConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/qelConfig.cmake ${PROJECT_BINARY_DIR}/qelConfigVersion.cmake
  DESTINATION ${QEL_CMAKE_DIR} COMPONENT development)

# pkg-config --cflags --libs qel. The paths are relative to the .pc file's
# place, so that an unpacked archive or a moved prefix still works.
file(RELATIVE_PATH QEL_PC_TO_PREFIX ${CMAKE_INSTALL_FULL_LIBDIR}/pkgconfig ${CMAKE_INSTALL_PREFIX})
string(REGEX REPLACE "/$" "" QEL_PC_TO_PREFIX "${QEL_PC_TO_PREFIX}")
configure_file(cmake/package/qel.pc.in ${PROJECT_BINARY_DIR}/qel.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/qel.pc
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT development)

# The Windows SDK adds Microsoft's import library and a README on linking.
if(WIN32)
  if(QEL_MSVC_IMPLIB)
    install(FILES ${QEL_MSVC_IMPLIB} DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development)
  endif()
  set(QEL_MINGW_COMPILER ${CMAKE_C_COMPILER_TARGET}gcc)
  if(QEL_MINGW_TRIPLE)
    set(QEL_MINGW_COMPILER ${QEL_MINGW_TRIPLE}-gcc)
  endif()
  configure_file(cmake/windows/README.txt.in ${PROJECT_BINARY_DIR}/README.txt @ONLY NEWLINE_STYLE CRLF)
  install(FILES ${PROJECT_BINARY_DIR}/README.txt DESTINATION . COMPONENT development)
  # The examples' CMake project, which Visual Studio opens as it is.
  install(DIRECTORY examples/ DESTINATION examples COMPONENT development)
  # The .NET binding: its source, and its assembly where the build machine
  # has Mono's compiler (the assembly runs on any platform's .NET).
  install(DIRECTORY bindings/dotnet/ DESTINATION bindings/dotnet COMPONENT development)
  find_program(QEL_MCS mcs)
  if(QEL_MCS)
    file(GLOB QEL_DOTNET_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/bindings/dotnet/*.cs)
    add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/Qel.Net.dll
      COMMAND ${QEL_MCS} -nologo -warnaserror -target:library
              -out:${PROJECT_BINARY_DIR}/Qel.Net.dll ${QEL_DOTNET_SOURCES}
      DEPENDS ${QEL_DOTNET_SOURCES} VERBATIM)
    add_custom_target(qel_dotnet ALL DEPENDS ${PROJECT_BINARY_DIR}/Qel.Net.dll)
    install(FILES ${PROJECT_BINARY_DIR}/Qel.Net.dll DESTINATION ${CMAKE_INSTALL_BINDIR}
      COMPONENT development)
  endif()
endif()
