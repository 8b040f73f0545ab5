#!/usr/bin/env bash
# Builds examples/ as a project of its own against the library installed from
# a preset's build (default), the way a user builds against an installed qel,
# and runs every example on the virtual rig (the RTSP server with the
# installed qelsrc, and an rtspsrc client).
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
# The RTSP server, serving the installed qelsrc; a client takes one frame.
if [ -x build/rtsp_server ]; then
  echo "== rtsp_server"
  GST_PLUGIN_PATH="$(dirname "$(find "$work/prefix" -name libgstqel.so)")"
  export GST_PLUGIN_PATH GST_REGISTRY_1_0="$work/registry.bin"
  port=$((20000 + RANDOM % 20000))
  build/rtsp_server "$port" "device=1" &
  server=$!
  trap 'kill "$server" 2>/dev/null || true; rm -rf "$work"' EXIT
  for _ in $(seq 50); do
    (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && break
    sleep 0.1
  done
  timeout 60 gst-launch-1.0 -q rtspsrc location="rtsp://127.0.0.1:$port/camera" \
    ! rtpjpegdepay ! jpegdec ! videoconvert ! pngenc snapshot=true ! filesink location=rtsp.png
  kill "$server"
  wait "$server" || true
  file rtsp.png | grep -q "PNG image data, 1280 x 720"
fi
echo "examples: all ran"
