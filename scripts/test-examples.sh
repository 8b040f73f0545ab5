#!/usr/bin/env bash
# Builds examples/ as a project of its own against the library installed from
# a preset's build (default), the way a user builds against an installed qel,
# and runs every example on the virtual rig.
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${1:-default}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cmake --install "build/$preset" --prefix "$work/prefix" >/dev/null
cmake -S examples -B "$work/build" -G Ninja -DCMAKE_PREFIX_PATH="$work/prefix" \
  -DCMAKE_C_FLAGS="-Wall -Wextra -Werror" -DCMAKE_CXX_FLAGS="-Wall -Wextra -Werror" >/dev/null
cmake --build "$work/build"
head -c 1000 /dev/urandom >"$work/image.bin"
export QEL_PLATFORM=rig LD_LIBRARY_PATH="$work/prefix/lib:$work/prefix/lib/x86_64-linux-gnu"
cd "$work"
for example in grab callbacks several_cameras wrapper; do
  echo "== $example"
  "build/$example"
done
echo "== firmware_rewrite"
build/firmware_rewrite image.bin
test -s grab.raw
echo "examples: all ran"
