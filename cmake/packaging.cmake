# CPack: on Linux three Debian packages (cpack -G DEB), on Windows one SDK
# archive for the build's architecture (cpack -G ZIP). Run cpack in the build
# directory after building.
set(CPACK_PACKAGE_NAME qel)
set(CPACK_PACKAGE_VENDOR "qel")
set(CPACK_PACKAGE_CONTACT "qel maintainers <qel@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_STRIP_FILES ON)

if(WIN32)
  # qel-1.3.0.0-windows-x64.zip, unpacking into a folder of the same name:
  # bin/ (qel.dll, qelctl.exe), lib/ (libqel.dll.a, qel.lib, the CMake and
  # pkg-config packages), include/qel/ and README.txt.
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME qel-${PROJECT_VERSION}-windows-${QEL_WINDOWS_ARCH})
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
  set(CPACK_ARCHIVE_COMPONENT_INSTALL OFF)
  set(CPACK_COMPONENTS_ALL runtime development tools)
else()
  # libqel1 (the shared library), libqel-dev (headers, CMake and pkg-config
  # files) and qelctl; apt install ./*.deb installs them.
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEB_COMPONENT_INSTALL ON)
  set(CPACK_COMPONENTS_ALL runtime development tools)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://localhost/qel")
  set(QEL_DEB_RUNTIME libqel${PROJECT_VERSION_MAJOR})
  set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME ${QEL_DEB_RUNTIME})
  set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
  set(CPACK_DEBIAN_RUNTIME_PACKAGE_SHLIBDEPS ON)
  # ldconfig runs when the shared library is installed and removed.
  set(CPACK_DEBIAN_RUNTIME_PACKAGE_GENERATE_SHLIBS ON)
  set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME libqel-dev)
  set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
  set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS "${QEL_DEB_RUNTIME} (= ${PROJECT_VERSION})")
  set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME qelctl)
  set(CPACK_DEBIAN_TOOLS_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_TOOLS_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_TOOLS_PACKAGE_DEPENDS "${QEL_DEB_RUNTIME} (= ${PROJECT_VERSION})")
  # dpkg-shlibdeps finds libqel in the package being made, not the system.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${PROJECT_BINARY_DIR})
endif()

include(CPack)
