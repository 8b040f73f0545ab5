#!/usr/bin/env bash
# The kernel lab: the Linux backend against the kernel's real drivers.
# Boots Debian's stock kernel in QEMU (software emulation, one vCPU, 1 GiB)
# on this machine's own files and runs the lab's tests inside (tests/kernel/):
# a USB gadget camera on dummy_hcd seen through usbhid and hidraw, vivid's
# V4L2 capture, uhid, and the whole camera (video and HID functions) over
# loopback USB/IP through uvcvideo. Reports them with ctest's summary.
#
#   scripts/test-kernel.sh [PRESET]      # the build directory build/PRESET (default)
#
# Installs what it needs with apt-get and keeps the kernel and initramfs in
# /var/cache/qel-kernel-lab (QEL_KERNEL_LAB_CACHE) between runs. Where the
# machine cannot run the lab (not x86_64 Linux, no root, no QEMU, no kernel
# package or modules) it prints SKIPPED and the reason and exits 0, or 1 when
# QEL_KERNEL_LAB_REQUIRED=1. Every step has a time-out.
set -uo pipefail
cd "$(dirname "$0")/.."
preset=${1:-default}
build=build/$preset
cache=${QEL_KERNEL_LAB_CACHE:-/var/cache/qel-kernel-lab}
started=$EPOCHREALTIME

step() { awk -v a="$started" -v b="$EPOCHREALTIME" -v t="$*" 'BEGIN { printf "[kernel lab %5.1fs] %s\n", b - a, t }'; }
skip() {
  echo "SKIPPED: kernel lab: $*"
  [ "${QEL_KERNEL_LAB_REQUIRED:-0}" = 1 ] && exit 1
  exit 0
}
fail() {
  echo "FAILED: kernel lab: $*"
  exit 1
}

[ "$(uname -s)/$(uname -m)" = Linux/x86_64 ] || skip "needs x86_64 Linux, this is $(uname -s)/$(uname -m)"
sudo=""
if [ "$(id -u)" -ne 0 ]; then
  sudo -n true 2>/dev/null || skip "needs root or sudo without a password (apt-get, the kernel cache)"
  sudo="sudo -n"
fi

# QEMU, busybox for the initramfs, kmod for the guest's module index, cpio;
# usbip for the USB/IP link (run inside the VM from this machine's files).
packages=(qemu-system-x86 busybox-static kmod cpio usbip)
timeout 900 scripts/setup.sh "${packages[@]}" >/dev/null ||
  skip "the packages it needs could not be installed (${packages[*]})"
command -v qemu-system-x86_64 >/dev/null || skip "no qemu-system-x86_64"
step "packages ready"

boot=$(timeout 900 $sudo scripts/kernel-lab/prepare.sh "$cache" | tail -1)
case ${PIPESTATUS[0]} in
  0) ;;
  3) skip "$boot" ;;
  124) fail "preparing the kernel took longer than 900 s" ;;
  *) fail "preparing the kernel failed: $boot" ;;
esac
step "kernel and initramfs ready in $boot"

if [ ! -f "$build/build.ninja" ]; then
  timeout 600 cmake --preset "$preset" >/dev/null || fail "cmake --preset $preset failed"
fi
timeout 1800 cmake --build --preset "$preset" --target gadget_camera kernel_usb_hid_test \
  kernel_vivid_test kernel_usbip_camera_test || fail "the lab's programs did not build"
[ -f "$build/kernel-lab/CTestTestfile.cmake" ] || skip "$build has no kernel lab (the Linux backend is off)"
step "programs built"

$sudo scripts/kernel-lab/boot.sh "$boot" . 900 scripts/kernel-lab/guest.sh "$build"
status=$?
step "VM done"
[ $status -eq 0 ] || fail "the tests in the VM failed (exit code $status)"
echo "kernel lab: passed"
