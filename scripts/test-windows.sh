#!/usr/bin/env bash
# Cross-builds qel.dll, qelctl.exe and the test suite for Windows with
# mingw-w64 and runs the tests under Wine, in a Wine prefix of its own inside
# the build directory.
#
#   scripts/test-windows.sh [x64|x86] [ctest arguments...]
#
# x64 (the default) builds the preset "windows" and runs it under 64-bit Wine;
# x86 builds "windows-x86" and runs it under 32-bit Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
arch=x64
case "${1:-}" in x64 | x86) arch="$1"; shift ;; esac
source scripts/wine-env.sh
qel_windows_setup "$arch"

cmake --preset "$QEL_PRESET"
cmake --build --preset "$QEL_PRESET"
qel_wine_can_run "$arch" || exit 0
qel_wine_start "build/$QEL_PRESET" "$arch"
ctest --preset "$QEL_PRESET" "$@"
