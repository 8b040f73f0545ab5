#!/usr/bin/env bash
# Builds examples/ as a project of its own against the library installed from
# a preset's build (default), the way a user builds against an installed qel,
# and runs every example on the virtual rig (the RTSP server with the
# installed qelsrc, and an rtspsrc client), then the README's GStreamer
# recipes.
set -euo pipefail
cd "$(dirname "$0")/.."
repo="$PWD"
# The recipes' encoder (x264enc), the decoder that plays the recording back
# (avdec_h264), and GStreamer from Python.
scripts/setup.sh gstreamer1.0-plugins-ugly gstreamer1.0-libav python3-gi \
  gir1.2-gst-plugins-base-1.0 python3-numpy
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
  file rtsp.png | grep "PNG image data, 1280 x 720" >/dev/null

  # The README's recipes: the recording plays back whole, the Matroska file
  # holds the camera's JPEG frames, the snapshot has the mode asked for, and
  # the appsink snippet hands Python a frame.
  echo "== GStreamer recipes"
  gst-launch-1.0 -q -e qelsrc rig=true num-buffers=100 ! videoconvert ! x264enc ! mp4mux \
    ! filesink location=rig.mp4
  # Played back as small grey frames: the decoder sees the camera's first
  # mode, and the frames are there. When the encoder falls behind, frames are
  # dropped at the camera, and MP4's edit list can then clip the last one or
  # two B-frames on playback; all 100 are pushed and encoded.
  gst-launch-1.0 -v filesrc location=rig.mp4 ! qtdemux ! h264parse ! avdec_h264 ! videoscale \
    ! videoconvert ! video/x-raw,format=GRAY8,width=192,height=108 ! filesink location=played \
    | grep "avdec_h264.*src: caps = video/x-raw.*width=(int)1920, height=(int)1080" >/dev/null
  played=$(($(stat -c %s played) / (192 * 108)))
  # (Separate commands: under set -e, the first of an && list may fail unseen.)
  test $((played * 192 * 108)) -eq "$(stat -c %s played)"
  test "$played" -ge 95
  gst-launch-1.0 -q -e qelsrc device=1 num-buffers=10 ! image/jpeg,width=1280,height=720 \
    ! matroskamux ! filesink location=rig.mkv
  gst-launch-1.0 -q filesrc location=rig.mkv ! matroskademux ! jpegdec ! fakesink
  gst-launch-1.0 -q qelsrc device=1 shutter=500 num-buffers=1 ! video/x-raw,width=656,height=408 \
    ! videoconvert ! pngenc ! filesink location=snapshot.png
  file snapshot.png | grep "PNG image data, 656 x 408" >/dev/null
  awk '/^```python$/ {block = ""; inside = 1; next}
       /^```$/ && inside {inside = 0; if (block ~ /Gst.init/) printf "%s", block; next}
       inside {block = block $0 "\n"}' "$repo/README.md" >appsink.py
  # Debian's python, whose python3-gi this is.
  /usr/bin/python3 appsink.py | grep "(408, 656, 2)"
fi
echo "examples: all ran"
