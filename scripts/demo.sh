#!/usr/bin/env bash
# Sets everything up and runs the demo against the virtual camera rig.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake --preset release >/dev/null
cmake --build --preset release --target qelctl
qelctl=build/release/tools/qelctl/qelctl
echo "== library version"
"$qelctl" version
echo "== video devices"
"$qelctl" list
echo "== video devices with serial texts"
"$qelctl" list --serial
