#!/usr/bin/env bash
# Inside the lab's VM (boot.sh), as root: loads the drivers the lab's tests
# meet, then runs them with ctest in BUILD_DIR/kernel-lab.
#
#   guest.sh BUILD_DIR
#
# The VM has no udev: every module is loaded here, hid_generic among them (no
# hidraw node appears without it).
set -uo pipefail
build=$1
started=$EPOCHREALTIME
step() { awk -v a="$started" -v b="$EPOCHREALTIME" -v t="$*" 'BEGIN { printf "[lab %5.1fs] %s\n", b - a, t }'; }

# dummy_hcd: two controller pairs, one per gadget camera. vivid: one instance
# with its default nodes (video, VBI, metadata and touch capture, outputs).
# usbip_vudc and vhci_hcd: the composite camera over loopback USB/IP.
modules=("dummy_hcd num=2" libcomposite usb_f_hid usb_f_uvc usbhid hid_generic uvcvideo
  "vivid n_devs=1" uhid usbip_vudc vhci_hcd)
for m in "${modules[@]}"; do
  # shellcheck disable=SC2086  # the module's parameters are separate words
  timeout 60 modprobe $m || { echo "lab: modprobe $m failed"; exit 1; }
done
mountpoint -q /sys/kernel/config || mount -t configfs none /sys/kernel/config
step "modules loaded"

cd "$build/kernel-lab" || exit 1
# Through a pipe: the console is a terminal, and the log wants no colours.
timeout 600 ctest --output-on-failure --timeout 180 | cat
status=${PIPESTATUS[0]}
step "tests done"
exit $status
