# Cross-builds qel.dll, qelctl.exe and the test programs for Windows with
# Debian's mingw-w64 (the posix thread model: GCC's win32 model has no
# std::mutex or std::thread), for the architecture that the including
# toolchain file names (QEL_MINGW_TRIPLE, CMAKE_SYSTEM_PROCESSOR).
# Everything links statically, so that the programs and the DLL need only DLLs
# of the system. Wine runs the tests.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${QEL_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QEL_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${QEL_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${QEL_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")

# CTest, and gtest_discover_tests, run the programs through Wine (which runs
# 32-bit programs with the wine32 package of the i386 architecture).
# For x64 the 64-bit loader itself: Debian's wine command prefers the 32-bit
# one whenever wine32 is installed, even where it cannot run.
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64" AND EXISTS /usr/lib/wine/wine64)
  set(QEL_WINE /usr/lib/wine/wine64)
else()
  find_program(QEL_WINE wine)
endif()
# Through wine-run.sh, which runs them with Wine's heap checks on and starts
# again a program that Wine ended before it ran.
if(QEL_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh ${QEL_WINE})
endif()
