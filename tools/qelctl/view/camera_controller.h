// The camera the viewer has open, and the frame thread that feeds the hub:
// it waits for frames with QelWaitImage, so the camera's streaming thread
// never waits for the viewer, publishes each frame as the latest, and
// encodes the preview scales somebody watches. A camera unplugged while open
// ends the frame thread and shows in the hub's state; the camera stays open
// (closed by the next open or close), nothing else fails.
//
// Thread safety: Open, Close and the readers are called from one thread (the
// viewer's camera thread); the frame thread touches only the hub. What is
// open, and whether an open is under way, is also published in the hub, for
// threads that must not wait for an open.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>

#include "frame_hub.h"

namespace qelctl::view {

struct OpenRequest {
  std::int32_t device = 0;
  std::string format = "YUY2";
  int width = 0;  // 0: the first listed for the format
  int height = 0;
  double fps = 0.0;  // 0: the first listed for the size and format
};

class CameraController {
 public:
  CameraController(FrameHub& hub, int quality) : hub_(hub), quality_(quality) {}
  ~CameraController() { Close(); }
  CameraController(const CameraController&) = delete;
  CameraController& operator=(const CameraController&) = delete;

  // Closes any open camera, then opens device as asked and starts the frame
  // thread; throws HttpError with the library's reason.
  void Open(const OpenRequest& request);
  // Stops the frame thread and closes the camera; nothing when none is open.
  void Close();

  bool open() const { return capture_.device >= 0; }
  std::int32_t key() const { return capture_.device; }
  bool framesOnly() const { return capture_.framesOnly; }

 private:
  OpenCapture OpenAsAsked(const OpenRequest& request);
  void Run();

  FrameHub& hub_;
  const int quality_;
  OpenCapture capture_;  // device -1 while closed
  std::atomic<bool> stop_{false};
  std::thread frames_;
};

}  // namespace qelctl::view
