# The API reference: Doxygen HTML from the public headers, into
# <build>/docs/html, made by the target "docs". Doxygen is set to fail on any
# warning (docs/Doxyfile.in), so an export without documentation fails the
# target. With QEL_BUILD_DOCS the reference is part of every build and is
# installed with the development files.
option(QEL_BUILD_DOCS "Build the API reference with the library and install it" OFF)

find_package(Doxygen QUIET)
set(QEL_DOCS_DIR ${PROJECT_BINARY_DIR}/docs)
set(QEL_DOCS_HTML ${QEL_DOCS_DIR}/html)

if(DOXYGEN_FOUND)
  set(QEL_DOCS_HEADERS
    ${PROJECT_SOURCE_DIR}/include/qel/qel.h
    ${PROJECT_SOURCE_DIR}/include/qel/qelsim.h
    ${PROJECT_SOURCE_DIR}/include/qel/qel.hpp
    ${QEL_GENERATED_INCLUDE}/qel/qel_version.h)
  set(QEL_DOCS_SOURCES ${QEL_DOCS_HEADERS} ${PROJECT_SOURCE_DIR}/docs/mainpage.md)
  list(JOIN QEL_DOCS_SOURCES "\" \"" QEL_DOCS_INPUT)
  set(QEL_DOCS_INPUT "\"${QEL_DOCS_INPUT}\"")
  configure_file(docs/Doxyfile.in ${QEL_DOCS_DIR}/Doxyfile @ONLY)
  # The stamp is written only when Doxygen succeeded, so a run that warned is
  # run again by the next build rather than taken as done.
  add_custom_command(OUTPUT ${QEL_DOCS_DIR}/html.stamp
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${QEL_DOCS_HTML} ${QEL_DOCS_DIR}/html.stamp
    COMMAND Doxygen::doxygen ${QEL_DOCS_DIR}/Doxyfile
    COMMAND ${CMAKE_COMMAND} -E touch ${QEL_DOCS_DIR}/html.stamp
    DEPENDS ${QEL_DOCS_SOURCES} ${PROJECT_SOURCE_DIR}/docs/Doxyfile.in
    WORKING_DIRECTORY ${QEL_DOCS_DIR}
    COMMENT "API reference (Doxygen) into ${QEL_DOCS_HTML}"
    VERBATIM)
  if(QEL_BUILD_DOCS)
    add_custom_target(docs ALL DEPENDS ${QEL_DOCS_DIR}/html.stamp)
  else()
    add_custom_target(docs DEPENDS ${QEL_DOCS_DIR}/html.stamp)
  endif()
elseif(QEL_BUILD_DOCS)
  message(FATAL_ERROR "QEL_BUILD_DOCS needs Doxygen (Debian: apt-get install doxygen)")
else()
  add_custom_target(docs
    COMMAND ${CMAKE_COMMAND} -E echo
            "The API reference needs Doxygen, which was not found (Debian: apt-get install doxygen)"
    COMMAND ${CMAKE_COMMAND} -E false
    VERBATIM)
endif()
