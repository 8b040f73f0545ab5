# stb's image writer and reader (Debian's libstb-dev), used header-only: the
# rig encodes its MJPG frames with it and qelctl saves PNG and JPEG files, in
# the native and the Windows build alike. The headers hold plain C and no
# platform code, so the cross build takes them from the build machine.
find_path(QEL_STB_INCLUDE_DIR stb_image_write.h
  PATHS /usr/include /usr/local/include
  PATH_SUFFIXES stb
  NO_CMAKE_FIND_ROOT_PATH)
if(NOT QEL_STB_INCLUDE_DIR)
  message(FATAL_ERROR "stb_image_write.h not found: install libstb-dev (scripts/setup.sh)")
endif()
add_library(qel_stb INTERFACE)
target_include_directories(qel_stb SYSTEM INTERFACE ${QEL_STB_INCLUDE_DIR})
