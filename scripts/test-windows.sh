#!/usr/bin/env bash
# Cross-builds qel.dll, qelctl.exe and the test suite for 64-bit Windows with
# mingw-w64 and runs the tests under Wine, in a Wine prefix of its own inside
# the build directory.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh g++-mingw-w64-x86-64-posix mingw-w64-tools wine wine64 googletest

cmake --preset windows
cmake --build --preset windows

# Wine without a display, quiet, without the .NET and HTML engines it would
# offer to install, and without its debugger: a test program that crashes
# must end with a failure code (after the debugger has run, it may end with 0).
export WINEPREFIX="$PWD/build/windows/wine-prefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"
unset DISPLAY
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
# A server left running for this prefix (a persistent one never exits, and
# would keep wineserver -w waiting) is stopped first.
wineserver -k >/dev/null 2>&1 || true
wineboot --init >/dev/null 2>&1 </dev/null
wineserver -w
# A persistent server and Wine's background services, started with every
# standard stream detached: otherwise the services, which outlive the test
# that started them, inherit CTest's output pipe and CTest waits for ever.
wineserver -p </dev/null >/dev/null 2>&1
wine cmd /c exit </dev/null >/dev/null 2>&1

ctest --preset windows "$@"
