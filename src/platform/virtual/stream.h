// The streaming thread of a running graph: it calls the sample grabber's
// callback with frames in the capture pin's format, paced by the rig's
// clock: pictures of the test scene for YUY2 and MJPG, the check pattern for
// other formats and frame modes. A frame is rendered only when it is
// delivered. On the virtual clock a stream delivers when the clock is waited
// on (the latest frame due, skipping the others), and the waiting call waits
// for those deliveries.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/virtual/device.h"
#include "platform/virtual/picture_jpeg.h"
#include "platform/virtual/picture_yuy2.h"

namespace qel::sim {

struct FilterState;

// Shared by the runner and its thread; guarded by the rig mutex except
// buffer, which only the thread touches.
struct StreamCore {
  DevicePtr device;
  std::shared_ptr<FilterState> grabber;
  Capability format;
  std::uint64_t startVirtual = 0;  // rig ms of frame 0
  std::chrono::steady_clock::time_point startReal;
  std::int64_t target = -1;  // latest frame the virtual clock asked for
  std::int64_t done = -1;    // latest frame handled
  bool stop = false;
  bool oneShotDone = false;
  // What the streaming thread alone touches: the frame buffer, and the
  // renderers of the scene for a YUY2 or MJPG stream (they keep what did
  // not change from one frame to the next).
  std::vector<std::uint8_t> buffer;
  std::unique_ptr<PictureYuy2> yuy2;
  std::unique_ptr<PictureJpeg> jpeg;
  std::vector<std::uint8_t> jpegFrame;
};

class StreamRunner {
 public:
  // Starts the thread; the rig mutex is held by the caller.
  StreamRunner(DevicePtr device, std::shared_ptr<FilterState> grabber, const Capability& format);
  // Stops the thread and waits for its current callback to return; the rig
  // mutex must not be held. From the streaming thread itself the thread is
  // left to end on its own.
  ~StreamRunner();

  StreamRunner(const StreamRunner&) = delete;
  StreamRunner& operator=(const StreamRunner&) = delete;

 private:
  std::shared_ptr<StreamCore> core_;
  std::thread thread_;
};

// After the virtual clock advanced to now: every running stream with a frame
// due delivers it, and the caller waits for those deliveries (unless it is a
// streaming thread). lock holds the rig mutex.
void DeliverDueFramesLocked(std::unique_lock<std::mutex>& lock, std::uint64_t now);

}  // namespace qel::sim
