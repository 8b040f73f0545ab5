#!/usr/bin/env bash
# Runs the Python package's tests and its examples against the native build
# of a preset (default) on the virtual rig: the tests choose it through
# qel.sim, the examples and the installed package through QEL_PLATFORM=rig.
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${1:-default}"
# python3-opencv (172 packages, about a minute to install) is for the OpenCV
# example alone; without it that example says SKIPPED.
scripts/setup.sh python3-numpy python3-pytest python3-setuptools python3-wheel python3-pip \
  python3-venv python3-opencv
export QEL_LIBRARY="$PWD/build/$preset/libqel.so.1"
/usr/bin/python3 -m pytest -q -p no:cacheprovider python/tests
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
for example in grab numpy_frames opencv_bgr; do
  (cd "$work" && QEL_PLATFORM=rig PYTHONPATH="$OLDPWD/python" /usr/bin/python3 \
    "$OLDPWD/examples/$example.py")
done
# Installed as the README tells (a virtual environment that sees Debian's
# numpy and setuptools; no package index), it runs with only QEL_LIBRARY (and
# QEL_PLATFORM, for the rig) set.
/usr/bin/python3 -m venv --system-site-packages "$work/venv"
"$work/venv/bin/pip" install -q --no-build-isolation ./python
rm -rf python/build python/*.egg-info
listed="$(cd "$work" && QEL_PLATFORM=rig "$work/venv/bin/python" -m qel list)"
[[ "$listed" == *"QEL5#0000ABCD"* ]]
