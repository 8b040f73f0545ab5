// The latest frame of one capture, handed from the streaming thread to the
// application.
//
// Three buffers rotate: the streaming thread fills its own write buffer
// without any lock and then swaps it with the latest buffer under a short
// lock; a reader swaps the latest buffer with its own read buffer under the
// same short lock and copies from the read buffer outside it. The streaming
// thread therefore never waits for an application's copy, a frame is never
// torn, and only the latest frame survives. Buffers grow to fit a longer
// frame; nothing is written past a buffer. A frame for which no buffer can be
// had is dropped: the streaming thread never sees an exception.
//
// Thread safety: Deliver() is called by one streaming thread at a time;
// every other member may be called from any thread. Readers are serialised
// among themselves.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

namespace qel {

class FrameStore {
 public:
  // Stores a delivered frame; false (nothing stored but the length) for an
  // empty frame before the first non-empty one, and false (nothing stored)
  // when the frame does not fit and no larger buffer can be allocated.
  bool Deliver(double sampleTime, const std::uint8_t* data, long length);

  // How many bytes the newest frame holds; stays 0 while only empty frames
  // have come.
  std::int32_t FrameLength() const { return frameLength_.load(std::memory_order_acquire); }
  // Sample time of the most recent stored frame.
  double LastSampleTime() const;

  // Hands out the latest frame when its sample time differs from the one
  // handed out last: copies it into destination (which holds at least the
  // frame's length) and returns its length; -1 when no frame is new. With a
  // null destination the frame still counts as handed out and nothing is
  // copied. copyLimit, when not negative, bounds the bytes copied.
  std::int64_t TakeLatest(std::uint8_t* destination, std::int64_t copyLimit = -1);

 private:
  struct Buffer {
    std::unique_ptr<std::uint8_t[]> data;
    std::size_t capacity = 0;
    std::size_t length = 0;
    // Makes room for size bytes; false when the memory cannot be had.
    bool Fit(std::size_t size);
  };

  Buffer write_;  // streaming thread only

  mutable std::mutex swapMutex_;  // guards latest_, latestTime_
  Buffer latest_;
  double latestTime_ = 0.0;
  std::atomic<bool> hasBuffer_{false};  // a non-empty frame has arrived

  std::mutex readMutex_;  // serialises readers; guards read_ and lastDeliveredTime_
  Buffer read_;
  double lastDeliveredTime_ = 0.0;

  std::atomic<std::int32_t> frameLength_{0};
};

}  // namespace qel
