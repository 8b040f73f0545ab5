// Streaming from a video node: memory-mapped buffers, and a thread that
// waits on the node and on an event descriptor (which stops it), hands each
// good buffer to the sink where the driver put it, and requeues it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "platform/hresult.h"

namespace qel::platform::linux_hw {

class VideoDevice;

struct StreamSink {
  // One frame: its time in seconds since the start (positive, strictly
  // rising), and the mapped buffer with the bytes the driver filled.
  std::function<void(double sampleTime, std::uint8_t* data, long length)> deliver;
  // The node went away (unplugged); the thread has ended.
  std::function<void()> lost;
};

class VideoStream {
 public:
  // Buffers requested, mapped and queued, the stream on, the thread started;
  // on failure everything done is undone.
  static HResult Start(std::shared_ptr<VideoDevice> device, StreamSink sink,
                       std::unique_ptr<VideoStream>& stream);
  // Stops the thread (from the thread itself it only asks), turns the
  // stream off and gives every buffer back.
  ~VideoStream();
  VideoStream(const VideoStream&) = delete;
  VideoStream& operator=(const VideoStream&) = delete;

  struct State;

 private:
  explicit VideoStream(std::shared_ptr<State> state) : state_(std::move(state)) {}
  std::shared_ptr<State> state_;
};

}  // namespace qel::platform::linux_hw
