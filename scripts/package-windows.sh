#!/usr/bin/env bash
# Makes the Windows SDK archive of an architecture and checks it as a user
# of it would: unpacks it, checks that qel.dll exports exactly the names of
# src/qel.def, undecorated, and imports only DLLs of the system, compiles a C
# application against it with the matching mingw-w64 compiler and runs it
# under Wine, and links a second one through qel.lib with LLVM's
# Microsoft-compatible compiler and linker and runs that too; builds the
# archive's examples as their CMake project with the mingw-w64 toolchain and
# runs one of them on the rig.
#
#   scripts/package-windows.sh [x64|x86]    (x64 is the default)
#
# The archive is left in build/windows (x64) or build/windows-x86 (x86).
set -euo pipefail
cd "$(dirname "$0")/.."
arch="${1:-x64}"
source scripts/wine-env.sh
qel_windows_setup "$arch"
scripts/setup.sh unzip clang lld mono-mcs

build="build/$QEL_PRESET"
# The archive carries the API reference in docs/.
cmake --preset "$QEL_PRESET" -DQEL_BUILD_DOCS=ON >/dev/null
cmake --build --preset "$QEL_PRESET" --target qel qelctl qel_dotnet docs
rm -f "$build"/qel-*.zip
(cd "$build" && cpack -G ZIP >/dev/null)
version="$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")"
archive="$build/qel-$version-windows-$arch.zip"
echo "== $archive"

scratch="$(mktemp -d)"
unzip -q "$archive" -d "$scratch"
sdk="$(echo "$scratch"/qel-*)"
for file in bin/qel.dll bin/qelctl.exe lib/libqel.dll.a lib/qel.lib include/qel/qel.h \
  include/qel/qelsim.h include/qel/qel_version.h lib/cmake/qel/qelConfig.cmake \
  lib/cmake/qel/qelConfigVersion.cmake lib/cmake/qel/qelTargets.cmake lib/pkgconfig/qel.pc \
  include/qel/qel.hpp docs/index.html README.txt examples/CMakeLists.txt examples/grab.c \
  examples/wrapper.cpp bin/Qel.Net.dll bindings/dotnet/Camera.cs \
  bindings/dotnet/Qel.Net.dll.config; do
  [ -f "$sdk/$file" ] || { echo "the archive has no $file" >&2; exit 1; }
done

echo "== the exports and imports of qel.dll"
cmake -DOBJDUMP="$QEL_MINGW_TRIPLE-objdump" -DDLL="$sdk/bin/qel.dll" -DDEF=src/qel.def \
  -DSOURCES=src -P tests/win32/check_exports.cmake

echo "== a C application linked with $QEL_MINGW_TRIPLE-gcc through libqel.dll.a"
app="$scratch/mingw"
mkdir "$app"
"$QEL_MINGW_TRIPLE-gcc" -std=c11 -Wall -Werror tests/package/consumer.c -I"$sdk/include" \
  -L"$sdk/lib" -lqel -o "$app/consumer.exe"
cp "$sdk/bin/qel.dll" "$app/"

echo "== a C application linked with lld-link through qel.lib"
msvc="$scratch/msvc"
mkdir "$msvc"
# The program runs without a C runtime; kernel32's ExitProcess ends it.
if [ "$arch" = x86 ]; then
  target=i686-pc-windows-msvc machine=i386 exit_process=ExitProcess@4
else
  target=x86_64-pc-windows-msvc machine=i386:x86-64 exit_process=ExitProcess
fi
printf 'LIBRARY kernel32.dll\nEXPORTS\n  %s\n' "$exit_process" >"$msvc/kernel32.def"
llvm-dlltool -m "$machine" -k -d "$msvc/kernel32.def" -l "$msvc/kernel32.lib"
clang --target="$target" -ffreestanding -fno-stack-protector -O0 -Wall -Werror \
  -I"$sdk/include" -c tests/package/msvc_client.c -o "$msvc/msvc_client.obj"
lld-link /nologo /subsystem:console /entry:Start /nodefaultlib /out:"$msvc/msvc_client.exe" \
  "$msvc/msvc_client.obj" "$sdk/lib/qel.lib" "$msvc/kernel32.lib"
cp "$sdk/bin/qel.dll" "$msvc/"

echo "== the examples' CMake project built against the unpacked archive"
# The cross toolchain searches for packages only below its own root: the
# archive's package is named directly (Visual Studio needs only the prefix).
cmake -S "$sdk/examples" -B "$scratch/examples" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64-${QEL_MINGW_TRIPLE%%-*}.cmake" \
  -Dqel_DIR="$sdk/lib/cmake/qel" -DCMAKE_C_FLAGS=-Werror -DCMAKE_CXX_FLAGS=-Werror >/dev/null
cmake --build "$scratch/examples"

if ! qel_wine_can_run "$arch"; then
  rm -rf "$scratch"
  exit 0
fi
qel_wine_start "$build" "$arch"
echo "== running them under Wine ($arch)"
(cd "$app" && "$QEL_WINE" consumer.exe </dev/null)
(cd "$msvc" && "$QEL_WINE" msvc_client.exe </dev/null) && echo "msvc_client: ok"
(cd "$sdk/bin" && "$QEL_WINE" qelctl.exe --version </dev/null | tr -d '\r' | grep -x "qelctl $version")
(cd "$scratch/examples" && QEL_PLATFORM=rig "$QEL_WINE" wrapper.exe </dev/null | tr -d '\r' |
  grep "refused (code 3)")
rm -rf "$scratch"
echo "package-windows ($arch): the archive's DLL, import libraries and tool work"
