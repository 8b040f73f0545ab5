# CPack: on Linux four Debian packages (cpack -G DEB), on Windows one SDK
# archive for the build's architecture (cpack -G ZIP). Run cpack in the build
# directory after building.

# The project's metadata, for every package and each copyright file.
set(QEL_DEB_HOMEPAGE "https://github.com/qel-camera/qel")
set(QEL_DEB_MAINTAINER "qel maintainers <maintainers@qel-camera.org>")
set(QEL_COPYRIGHT_YEARS 2026)
set(QEL_COPYRIGHT_HOLDER "qel maintainers")
# The repository states no licence of its own; these name the terms until its
# owners choose one.
set(QEL_LICENSE_NAME "qel")
set(QEL_LICENSE_TEXT " All rights reserved by the qel maintainers. No licence to copy, modify or
 distribute this software is granted beyond what they grant in writing.")

set(CPACK_PACKAGE_NAME qel)
set(CPACK_PACKAGE_VENDOR "qel")
set(CPACK_PACKAGE_CONTACT "${QEL_DEB_MAINTAINER}")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_STRIP_FILES ON)

if(WIN32)
  set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
  # qel-1.4.0.0-windows-x64.zip, unpacking into a folder of the same name:
  # bin/ (qel.dll, qelctl.exe), lib/ (libqel.dll.a, qel.lib, the CMake and
  # pkg-config packages), include/qel/, docs/ (the API reference, when built
  # with QEL_BUILD_DOCS) and README.txt.
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME qel-${PROJECT_VERSION}-windows-${QEL_WINDOWS_ARCH})
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
  set(CPACK_ARCHIVE_COMPONENT_INSTALL OFF)
  set(CPACK_COMPONENTS_ALL runtime development tools)
else()
  # libqel1 (the shared library), libqel-dev (headers, CMake and pkg-config
  # files, the API reference), qelctl and python3-qel (the Python package, in Debian's
  # dist-packages); apt install ./*.deb installs them.
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEB_COMPONENT_INSTALL ON)
  set(CPACK_COMPONENTS_ALL runtime development tools python)
  # gstreamer1.0-qel (qelsrc in the system's plugin directory), where the
  # plugin is built.
  if(TARGET gstqel)
    list(APPEND CPACK_COMPONENTS_ALL gstreamer)
  endif()
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${QEL_DEB_HOMEPAGE}")
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${QEL_DEB_MAINTAINER}")
  # Each package's description: a synopsis line, then the long text (CPack
  # indents it). CPack would put the project's summary line before each
  # unless that is its default.
  set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${CMAKE_PROJECT_NAME} built using CMake")
  set(CPACK_DEBIAN_RUNTIME_DESCRIPTION "control library for QEL USB industrial cameras
qel lists the cameras of the QEL family (QEL, QEL2, QEL5) and other video
devices, opens them, delivers their frames and reads and changes their
settings (gain, exposure, shutter, LED, GPIO, registers, pixel defects),
and rewrites their firmware.

This package holds the shared library.")
  set(CPACK_DEBIAN_DEVELOPMENT_DESCRIPTION "control library for QEL USB industrial cameras - development files
qel lists, opens and controls the cameras of the QEL family and delivers
their frames.

This package holds the C headers and the CMake and pkg-config files needed
to build applications against the library, and the API reference (HTML).")
  set(CPACK_DEBIAN_TOOLS_DESCRIPTION "command-line tool for QEL USB industrial cameras
qelctl lists the video devices and their capture formats, grabs frames and
saves them as PNG, JPEG or raw files, reads and changes a camera's settings,
registers and pixel-defect tables, and rewrites its firmware, one command
per call.")
  set(CPACK_DEBIAN_PYTHON_DESCRIPTION "Python 3 bindings of the qel camera control library
The qel module opens QEL USB industrial cameras as objects, delivers their
frames as numpy arrays and exposes their settings as properties, over the
qel shared library (through ctypes; no compiled extension). It also runs as
python3 -m qel.")
  set(CPACK_DEBIAN_GSTREAMER_DESCRIPTION "GStreamer source element for QEL USB industrial cameras
qelsrc delivers the frames of a QEL camera (or another video device the qel
library opens) into GStreamer pipelines, for recording, encoding and
streaming: YUY2 as video/x-raw and MJPG as image/jpeg, timestamped with the
time of capture, with the camera's settings as element properties.")
  set(QEL_DEB_RUNTIME libqel${PROJECT_VERSION_MAJOR})
  set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME ${QEL_DEB_RUNTIME})
  set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
  set(CPACK_DEBIAN_RUNTIME_PACKAGE_SHLIBDEPS ON)
  # A shlibs file: applications built against 1.x take any later 1.x.
  set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
  set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
  # ldconfig runs through dpkg's trigger when the library comes or goes; the
  # maintainer scripts reload udev for the camera access rule.
  set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA
    ${PROJECT_SOURCE_DIR}/packaging/debian/libqel/postinst
    ${PROJECT_SOURCE_DIR}/packaging/debian/libqel/postrm
    ${PROJECT_SOURCE_DIR}/packaging/debian/libqel/triggers)
  set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_STRICT_PERMISSION ON)
  set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME libqel-dev)
  set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
  set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS "${QEL_DEB_RUNTIME} (= ${PROJECT_VERSION})")
  set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME qelctl)
  set(CPACK_DEBIAN_TOOLS_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_TOOLS_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_TOOLS_PACKAGE_DEPENDS "${QEL_DEB_RUNTIME} (= ${PROJECT_VERSION})")
  set(CPACK_DEBIAN_PYTHON_PACKAGE_NAME python3-qel)
  set(CPACK_DEBIAN_PYTHON_PACKAGE_SECTION python)
  set(CPACK_DEBIAN_PYTHON_PACKAGE_ARCHITECTURE all)
  # Any build of the library's major version serves the pure-Python package.
  set(CPACK_DEBIAN_PYTHON_PACKAGE_DEPENDS
    "python3:any, python3-numpy, ${QEL_DEB_RUNTIME} (>= ${PROJECT_VERSION})")
  set(CPACK_DEBIAN_GSTREAMER_PACKAGE_NAME gstreamer1.0-qel)
  set(CPACK_DEBIAN_GSTREAMER_PACKAGE_SECTION video)
  set(CPACK_DEBIAN_GSTREAMER_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_GSTREAMER_PACKAGE_DEPENDS "${QEL_DEB_RUNTIME} (= ${PROJECT_VERSION})")
  # dpkg-shlibdeps finds libqel in the package being made, not the system.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${PROJECT_BINARY_DIR})

  # Access to the cameras' hidraw and video nodes (the file says why).
  install(FILES packaging/udev/70-qel-camera.rules DESTINATION lib/udev/rules.d
    COMPONENT runtime)
  install(DIRECTORY python/qel/ DESTINATION lib/python3/dist-packages/qel COMPONENT python
    FILES_MATCHING PATTERN "*.py" PATTERN "py.typed" PATTERN "__pycache__" EXCLUDE)
  # /usr/share/doc/<package>/copyright in each package; the library and qelctl
  # carry stb's code as well.
  configure_file(cmake/package/copyright.in ${PROJECT_BINARY_DIR}/copyright/qel @ONLY)
  file(READ ${PROJECT_BINARY_DIR}/copyright/qel QEL_COPYRIGHT)
  file(READ cmake/package/copyright-stb.in QEL_COPYRIGHT_STB)
  file(WRITE ${PROJECT_BINARY_DIR}/copyright/qel-stb "${QEL_COPYRIGHT}${QEL_COPYRIGHT_STB}")
  foreach(component_package_text IN ITEMS "runtime;${QEL_DEB_RUNTIME};qel-stb"
      "development;libqel-dev;qel" "tools;qelctl;qel-stb" "python;python3-qel;qel"
      "gstreamer;gstreamer1.0-qel;qel")
    list(GET component_package_text 0 component)
    list(GET component_package_text 1 package)
    list(GET component_package_text 2 text)
    install(FILES ${PROJECT_BINARY_DIR}/copyright/${text} RENAME copyright
      DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${package} COMPONENT ${component})
  endforeach()
endif()

include(CPack)
