#!/usr/bin/env bash
# Builds the library and qelctl (preset "package"), installs them into a
# temporary prefix and builds and runs an application against that install
# twice, found with CMake's find_package and with pkg-config; then makes the
# Debian packages (build/package/*.deb), installs them on this machine with
# apt, builds the application against the system's install, and removes the
# packages again. Last, the application adds qel's source tree as a
# subproject, with nothing but the compiler. The Debian packages must each
# carry their own description, the project's metadata and a copyright file,
# python3-qel must run from the system's install, gstreamer1.0-qel's qelsrc
# must stream in a pipeline, and the development package must carry the API
# reference.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh dpkg-dev file

build=build/package
cmake --preset package
cmake --build --preset package
version="$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")"

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
scratch="$(mktemp -d)"
packages=()
cleanup() {
  if ((${#packages[@]})); then
    $sudo apt-get purge -y -qq "${packages[@]}" >/dev/null || true
  fi
  rm -rf "$scratch"
}
trap cleanup EXIT
step() { echo "== $1"; }

step "cmake --install into a temporary prefix"
prefix="$scratch/prefix"
cmake --install "$build" --prefix "$prefix"
libdir="$(find "$prefix" -name 'libqel.so.*.*' -printf '%h\n')"
readelf -d "$libdir/libqel.so" | grep "SONAME.*\[libqel\.so\.${version%%.*}\]" >/dev/null
"$prefix/bin/qelctl" --version | grep -x "qelctl $version" >/dev/null
[ -f "$prefix/share/doc/libqel-dev/html/index.html" ] ||
  { echo "the install has no API reference" >&2; exit 1; }

consumer() {  # consumer NAME [cmake arguments...]: builds and runs the CMake consumer
  local dir="$scratch/$1"
  shift
  cmake -S tests/package -B "$dir" -G Ninja "$@" >/dev/null
  cmake --build "$dir"
  "$dir/consumer"
}
step "find_package(qel 1.2) from the prefix"
consumer cmake-prefix -DCMAKE_PREFIX_PATH="$prefix"
step "find_package(qel 2) is refused"
if cmake -S tests/package -B "$scratch/cmake-v2" -DCMAKE_PREFIX_PATH="$prefix" \
  -DQEL_MIN_VERSION=2 >/dev/null 2>&1; then
  echo "find_package(qel 2) accepted version $version" >&2
  exit 1
fi

pkgconfig_consumer() {  # builds and runs the consumer with pkg-config's flags
  [ "$(pkg-config --modversion qel)" = "$version" ]
  # shellcheck disable=SC2046
  cc -std=c11 -Wall -o "$scratch/$1" tests/package/consumer.c $(pkg-config --cflags --libs qel) \
    -Wl,-rpath,"$(pkg-config --variable=libdir qel)"
  "$scratch/$1"
}
step "pkg-config from the prefix"
PKG_CONFIG_PATH="$libdir/pkgconfig" pkgconfig_consumer pkgconfig-prefix

step "Debian packages"
rm -f "$build"/*.deb
(cd "$build" && cpack -G DEB >/dev/null)
homepage="$(sed -n 's/^set(QEL_DEB_HOMEPAGE "\(.*\)")$/\1/p' cmake/packaging.cmake)"
maintainer="$(sed -n 's/^set(QEL_DEB_MAINTAINER "\(.*\)")$/\1/p' cmake/packaging.cmake)"
for deb in "$build"/*.deb; do
  package="$(dpkg-deb -f "$deb" Package)"
  echo "$(basename "$deb"): $(dpkg-deb -f "$deb" Depends)"
  [ "$(dpkg-deb -f "$deb" Homepage)" = "$homepage" ]
  [ "$(dpkg-deb -f "$deb" Maintainer)" = "$maintainer" ]
  dpkg-deb -f "$deb" Description | sed -n 1p >>"$scratch/synopses"
  copyright="$(dpkg-deb --fsys-tarfile "$deb" | tar -xO "./usr/share/doc/$package/copyright")"
  [ "${copyright%%$'\n'*}" = "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/" ]
  packages+=("$package")
done
[ "${#packages[@]}" -eq 5 ]
[ "$(sort -u "$scratch/synopses" | wc -l)" -eq 5 ]
# The runtime package brings the cameras' udev rule and runs ldconfig by trigger.
runtime_deb="$(ls "$build"/libqel[0-9]*.deb)"
dpkg-deb -c "$runtime_deb" | grep ' \./usr/lib/udev/rules\.d/70-qel-camera\.rules$' >/dev/null
# The development package brings the API reference.
dpkg-deb -c "$build"/libqel-dev_*.deb |
  grep ' \./usr/share/doc/libqel-dev/html/index\.html$' >/dev/null
[ "$(dpkg-deb -I "$runtime_deb" triggers)" = "activate-noawait ldconfig" ]
# The tool's package brings its manual page and bash completion.
dpkg-deb -c "$build"/qelctl_*.deb | grep ' \./usr/share/man/man1/qelctl\.1\.gz$' >/dev/null
dpkg-deb -c "$build"/qelctl_*.deb |
  grep ' \./usr/share/bash-completion/completions/qelctl$' >/dev/null
# The GStreamer package puts the plugin where GStreamer looks for it.
gst_plugins="$(pkg-config --variable=pluginsdir gstreamer-1.0)"
dpkg-deb -c "$build"/gstreamer1.0-qel_*.deb | grep " \.$gst_plugins/libgstqel\.so$" >/dev/null
$sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$(realpath "$build")"/*.deb >/dev/null
step "find_package, pkg-config and qelctl from the system's install"
consumer cmake-system
pkgconfig_consumer pkgconfig-system
qelctl --version | grep -x "qelctl $version" >/dev/null
zcat /usr/share/man/man1/qelctl.1.gz | grep "list, open and control QEL cameras" >/dev/null
qelctl --rig list
step "python3-qel from the system's install"
listed="$(cd "$scratch" && env -u QEL_LIBRARY QEL_PLATFORM=rig /usr/bin/python3 -m qel list)"
[[ "$listed" == *"QEL5#0000ABCD"* ]]

step "gstreamer1.0-qel from the system's install"
# A registry of its own, so that the plugin is found afresh.
export GST_REGISTRY_1_0="$scratch/registry.bin"
gst-inspect-1.0 qelsrc | grep "QEL camera source" >/dev/null
gst-launch-1.0 -q qelsrc rig=true num-buffers=5 ! fakesink
unset GST_REGISTRY_1_0
$sudo apt-get purge -y -qq "${packages[@]}" >/dev/null
packages=()

step "add_subdirectory: the library alone, needing no test or tool framework"
sub="$scratch/subproject"
cmake -S tests/package/subproject -B "$sub" -G Ninja --no-warn-unused-cli -DQEL_SOURCE_DIR="$PWD" \
  -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON -DCMAKE_DISABLE_FIND_PACKAGE_benchmark=ON \
  -DCMAKE_DISABLE_FIND_PACKAGE_CLI11=ON -DCMAKE_DISABLE_FIND_PACKAGE_PNG=ON >/dev/null
cmake --build "$sub"
"$sub/consumer"
echo "package: all consumers built and ran"
