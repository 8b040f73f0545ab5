#!/usr/bin/env bash
# Sets everything up and runs the demo against the virtual camera rig: list
# the devices and their formats, open cameras, stream and save frames, change
# settings, read device information and defect tables, rewrite firmware.
#
# The rig lives inside each qelctl process and starts afresh with every run,
# so a setting changed in one run is read back in that same run, and a saved
# picture shows a setting only when its grab makes it (grab --set). The rig's
# clock runs virtually (--virtual-time): opening a camera costs no real 3 s.
# Every run names the rig (--rig), which the attached cameras would otherwise
# be where the library has a hardware backend.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake --preset release >/dev/null
cmake --build --preset release --target qelctl
qelctl=build/release/tools/qelctl/qelctl

# Saved frames and the firmware image go to a directory of their own.
out="$(mktemp -d "${TMPDIR:-/tmp}/qelctl-demo.XXXXXX")"

step() {
  echo
  echo "== $1"
}
run() {
  echo "\$ qelctl --rig $*"
  "$qelctl" --rig "$@"
}

step "library version"
run version
step "video devices; a device's position is its key"
run list --serial
step "capture formats of the QEL5 camera"
run formats 0
step "open the QEL5 camera and stream 60 frames"
run --virtual-time grab 0 --frames 60
step "the QEL2 camera at 656x408, 120 frames per second"
run --virtual-time grab 1 --size 656x408 --rate 120 --frames 120
step "change settings, read them back"
run --virtual-time set 0 led=32 exposure=-5 shutter=500 analog-gain=7 digital-gain=2000
step "every setting of the QEL2 camera"
run --virtual-time get 1
step "device information, opening the camera by its serial text"
run --virtual-time info QEL5#0000ABCD
step "a 16-bit register: write and read back"
run --virtual-time register 0 0x0D 0x0007 --word
step "save a frame: YUY2 as PNG with the LED on, MJPG as the JPEG image the camera delivered"
run --virtual-time grab 0 --frames 5 --set led=32 --save "$out/frame.png"
run --virtual-time grab 0 --format MJPG --size 960x540 --frames 5 --save "$out/frame.jpg"
run --virtual-time --json grab 1 --size 656x408 --frames 3 --save "$out"
step "the colour bar, switched on before the frames"
run --virtual-time grab 1 --size 656x408 --frames 3 --set colorbar=on --save "$out/colorbar.png"
step "defect table of camera number 1 at size index 0, set and shown"
run --virtual-time defects set 0 --camera 1 --size-index 0 10,10 1000,100 1000,600
step "firmware rewrite of a 256 KiB image"
head -c 262144 /dev/urandom >"$out/firmware.bin"
run --virtual-time rewrite 0 "$out/firmware.bin"

echo
echo "saved frames and the image are in $out:"
echo "  $out/frame.png  1920x1080, $out/frame.jpg  960x540:"
echo "    a colour gradient (blue on the left, red on the right, greener towards the bottom),"
echo "    a light grey band across it, the frame number in large black digits on a white box"
echo "    in the middle, and a square in the top right corner: the LED, red in frame.png"
echo "    (grabbed with --set led=32), dark grey (off) in frame.jpg"
echo "  $out/colorbar.png  656x408: the colour bar (--set colorbar=on), eight vertical bars:"
echo "    white, yellow, cyan, green, magenta, red, blue, black"
