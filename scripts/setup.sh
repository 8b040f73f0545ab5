#!/usr/bin/env bash
# Installs what building and testing qel needs, from Debian's packages, and
# any further packages named as arguments.
set -euo pipefail
packages=(cmake ninja-build g++ pkg-config libgtest-dev libgmock-dev libbenchmark-dev
          libcli11-dev libstb-dev doxygen libboost-dev libturbojpeg0-dev
          # qelsrc: GStreamer's headers and check library, and the elements its tests use.
          libgstreamer1.0-dev libgstreamer-plugins-base1.0-dev gstreamer1.0-plugins-base
          gstreamer1.0-plugins-good gstreamer1.0-tools file
          # the RTSP server example
          libgstrtspserver-1.0-dev "$@")
missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
    missing+=("$package")
done
if ((${#missing[@]})); then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  export DEBIAN_FRONTEND=noninteractive
  # Packages of the i386 architecture (32-bit Wine) need it enabled.
  if [[ " ${missing[*]}" == *":i386"* ]] && ! dpkg --print-foreign-architectures | grep -qx i386
  then
    $sudo dpkg --add-architecture i386
  fi
  $sudo apt-get update -qq
  $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
