// qelsrc's cost per 1920 x 1080 YUY2 frame, from the receive to the buffer
// handed on, as a ratio to one memcpy of the frame. The element streams from
// the rig's QEL5 at 60 fps; it is negotiated and opened (PAUSED: its own
// streaming thread waits for PLAYING), and this thread calls its create
// function. Before each timing, untimed, the rig has stored a new frame, so
// a timing holds the receive (QelWaitImage copying the frame into a buffer of
// the element's pool), the timestamp and the buffer's return to the pool.
// The fair baseline copies a frame out of one of three rotating buffers, as
// a receive copies out of the library's, after another thread on the other
// core has written it, as the rig's stream thread writes the frames (a copy
// of a frame in this core's own cache is faster than any receive can be);
// both are timed in alternating pairs (support/paired_ratio.h).
#include <gst/base/gstpushsrc.h>
#include <gst/gst.h>
#include <qel/qel.h>
#include <qel/qelsim.h>

#include <pthread.h>
#include <sched.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

#include "support/paired_ratio.h"

namespace {

constexpr std::size_t kFrameBytes = 1920 * 1080 * 2;
constexpr int kQel5RigDevice = 1;
constexpr int kPairs = 300;
constexpr int kWarmUpPairs = 20;

volatile unsigned char sink;

// Waits (untimed) until the rig has stored a frame the element has not read.
void WaitForNewFrame() {
  static int64_t seen = qelsim_frames_delivered(kQel5RigDevice);
  while (qelsim_frames_delivered(kQel5RigDevice) == seen) {
    std::this_thread::sleep_for(std::chrono::microseconds(100));
  }
  seen = qelsim_frames_delivered(kQel5RigDevice);
}

void PinTo(int cpu) {
  cpu_set_t set;
  CPU_ZERO(&set);
  CPU_SET(cpu, &set);
  pthread_setaffinity_np(pthread_self(), sizeof set, &set);
}

bool WaitForCaps(GstElement* src) {
  GstPad* pad = gst_element_get_static_pad(src, "src");
  bool negotiated = false;
  for (int i = 0; i < 500 && !negotiated; ++i) {
    GstCaps* caps = gst_pad_get_current_caps(pad);
    negotiated = caps != nullptr;
    if (caps != nullptr) gst_caps_unref(caps);
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  gst_object_unref(pad);
  return negotiated;
}

}  // namespace

int main(int argc, char** argv) {
  // The plugin of this build, before any installed one.
  g_setenv("GST_PLUGIN_PATH", QEL_GST_PLUGIN_DIR, FALSE);
  gst_init(&argc, &argv);
  GError* error = nullptr;
  GstElement* pipeline = gst_parse_launch(
      "qelsrc name=src rig=true ! video/x-raw,format=YUY2,width=1920,height=1080,framerate=60/1 "
      "! fakesink",
      &error);
  if (pipeline == nullptr) {
    std::printf("no pipeline: %s\n", error != nullptr ? error->message : "");
    return 1;
  }
  GstElement* src = gst_bin_get_by_name(GST_BIN(pipeline), "src");
  GstClock* clock = gst_system_clock_obtain();
  gst_element_set_clock(pipeline, clock);
  gst_element_set_state(pipeline, GST_STATE_PAUSED);
  if (!WaitForCaps(src)) {
    std::printf("qelsrc did not negotiate 1920x1080 YUY2 on the rig\n");
    return 1;
  }

  GstPushSrcClass* element = GST_PUSH_SRC_GET_CLASS(src);
  bool allDelivered = true;
  const qel::bench::TimedWork receive{WaitForNewFrame, [&] {
                                        GstBuffer* buffer = nullptr;
                                        allDelivered &= element->create(GST_PUSH_SRC(src),
                                                                        &buffer) == GST_FLOW_OK &&
                                                        gst_buffer_get_size(buffer) == kFrameBytes;
                                        if (buffer != nullptr) gst_buffer_unref(buffer);
                                      }};

  std::vector<unsigned char> frame(kFrameBytes, 0x80);
  std::vector<unsigned char> destination(kFrameBytes);
  std::vector<std::vector<unsigned char>> rotating(3, std::vector<unsigned char>(kFrameBytes));
  std::size_t turn = 0;
  // The frame to copy is written on the other core, as the rig's stream
  // thread writes the frame a receive copies, while this thread stays on its
  // own: both copies read a frame from the other core's cache.
  PinTo(0);
  const qel::bench::TimedWork memcpyFair{
      [&] {
        turn = (turn + 1) % rotating.size();
        std::thread([&] {
          PinTo(1);
          std::memcpy(rotating[turn].data(), frame.data(), kFrameBytes);
        }).join();
      },
      [&] {
        std::memcpy(destination.data(), rotating[turn].data(), kFrameBytes);
        sink = destination[kFrameBytes - 1];
      }};
  qel::bench::PrintRatio(
      "qelsrc per 1080p YUY2 frame, receive to buffer, fair",
      qel::bench::Summarise(qel::bench::TimePairs(memcpyFair, receive, kPairs, kWarmUpPairs)), 1.2);
  // The library's receive alone, into a buffer of the program's, for scale:
  // what the element adds is the difference.
  std::vector<unsigned char> own(kFrameBytes);
  const qel::bench::TimedWork waitImage{
      WaitForNewFrame, [&] {
        QelFrameInfo info{};
        info.size = sizeof info;
        allDelivered &=
            QelWaitImage(0, own.data(), static_cast<int32_t>(kFrameBytes), &info, 1000) == 1;
      }};
  qel::bench::PrintRatio(
      "QelWaitImage alone per 1080p YUY2 frame, fair",
      qel::bench::Summarise(qel::bench::TimePairs(memcpyFair, waitImage, kPairs, kWarmUpPairs)),
      1.2);
  if (!allDelivered) std::printf("  (a create gave no whole frame: these figures are void)\n");

  gst_element_set_state(pipeline, GST_STATE_NULL);
  gst_object_unref(clock);
  gst_object_unref(src);
  gst_object_unref(pipeline);
  return allDelivered ? 0 : 1;
}
