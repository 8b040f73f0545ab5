# 32-bit Windows (x86): see mingw-w64.cmake.
set(CMAKE_SYSTEM_PROCESSOR x86)
set(QEL_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
