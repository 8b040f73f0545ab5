// The viewer's work per frame, on its frame thread: a buffer to receive the
// frame into, then publishing it as the latest and making the preview of
// each scale somebody watches. An MJPG frame's full-size preview is the frame
// itself (no copy); buffers come from a small pool and are used again once
// no reader holds them.
//
// Thread safety: one thread uses a pipeline; it shares only the hub.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "frame_hub.h"
#include "preview_encoder.h"

namespace qelctl::view {

class FramePipeline {
 public:
  FramePipeline(FrameHub& hub, int quality) : hub_(hub), encoder_(quality) {}

  // A buffer of at least capacity bytes for the next frame; it stays the
  // same until Publish (so a receive that needs more can grow it).
  RawFrame& Buffer(std::size_t capacity);
  // Publishes the buffer (its fields filled) as the latest frame, with the
  // stream's dropped count and the arrival time, then the previews.
  void Publish(std::uint64_t dropped, double arrivalSeconds);

 private:
  FrameHub& hub_;
  PreviewEncoder encoder_;
  std::vector<std::shared_ptr<RawFrame>> pool_;
  std::shared_ptr<RawFrame> next_;
};

}  // namespace qelctl::view
