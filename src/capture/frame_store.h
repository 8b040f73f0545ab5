// The latest frame of one capture, handed from the streaming thread to the
// application, and the stream's counts, waiters and frame listener.
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
// A frame is new while its sample time differs from the one handed out last.
// Readers that wait sleep on a condition variable that each delivery signals
// (only when someone waits). The listener, when set, is called on the
// streaming thread after each stored frame; setting or clearing it waits for
// a call in progress on another thread (a recursive lock: the listener may
// replace itself).
//
// Thread safety: Deliver() is called by one streaming thread at a time;
// every other member may be called from any thread. Readers are serialised
// among themselves. Lock order: listener lock, then read lock, then swap lock.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <limits>
#include <memory>
#include <mutex>

#include "qel/qel.h"

namespace qel {

// What a stream is: fixed while it runs.
struct StreamShape {
  std::int32_t width = 0;
  std::int32_t height = 0;
  char format[QEL_FORMAT_NAME_SIZE] = {};  // the whole name, as the format listing gives it
};

// One handed-out (or refused) frame.
struct FrameDetails {
  std::int64_t length = 0;  // for kTooSmall the length needed
  double sampleTime = 0.0;
  std::uint64_t sequence = 0;
  std::uint64_t dropped = 0;
};

// Why a stream no longer delivers.
enum class StreamEnd : int { kRunning = 0, kClosed = 1, kDeviceLost = 2 };

struct FrameListener {
  QelFrameCallback callback = nullptr;
  void* user = nullptr;
  std::int32_t key = -1;
};

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

  // Hands out the latest frame when it is new: copies it into destination
  // (which holds at least the frame's length) and returns its length; -1
  // when no frame is new. With a null destination the frame still counts as
  // handed out and nothing is copied. copyLimit, when not negative, bounds
  // the bytes copied.
  std::int64_t TakeLatest(std::uint8_t* destination, std::int64_t copyLimit = -1);

  enum class Take { kTaken, kNothingNew, kTooSmall };
  // Hands out the latest frame when it is new and fits capacity; a frame
  // that does not fit stays new (details.length tells the length needed).
  Take TakeFitting(std::uint8_t* destination, std::size_t capacity, FrameDetails& details);

  // How many frames have been stored since the stream started.
  std::uint64_t Sequence() const;
  // Waits until more than `after` frames have been stored or the stream
  // ended, at most for the given real time; true when either happened.
  bool WaitForDelivery(std::uint64_t after, std::chrono::milliseconds limit);
  // True when a frame is there that has not been handed out.
  bool HasNew() const;

  // Marks the stream ended (waiters wake), and removes the listener, waiting
  // for a call in progress on another thread. The first reason stays.
  void End(StreamEnd reason);
  StreamEnd Ended() const { return static_cast<StreamEnd>(ended_.load()); }

  // Fixed before the stream starts.
  void SetShape(const StreamShape& shape) { shape_ = shape; }
  const StreamShape& Shape() const { return shape_; }
  // What the application is told of a frame of this stream: fills no more
  // than info->size bytes (the caller's struct may predate later fields).
  void FillFrameInfo(const FrameDetails& details, QelFrameInfo* info) const;

  // The stream's first frame counts as new whatever its sample time (the
  // classic rule takes a first frame at time 0.0 as already handed out):
  // for a fast open, which returns with that frame. Before the stream starts.
  void CountFirstFrame() { takenTime_ = kNeverTaken; }

  // Replaces the listener (a null callback removes it); returns when no call
  // of the old one is in progress on another thread. Refused (false) once
  // the stream has ended.
  bool SetListener(const FrameListener& listener);
  // True on the thread of a running call of this store's listener.
  bool CallingFromListener() const;

 private:
  struct Buffer {
    std::unique_ptr<std::uint8_t[]> data;
    std::size_t capacity = 0;
    std::size_t length = 0;
    // Makes room for size bytes; false when the memory cannot be had.
    bool Fit(std::size_t size);
  };

  bool HasNewLocked() const;  // caller holds swapMutex_
  void CallListener(const std::uint8_t* data, const FrameDetails& details);

  Buffer write_;  // streaming thread only
  StreamShape shape_;

  mutable std::mutex swapMutex_;  // guards latest_, latestTime_, the counts and takenTime_
  Buffer latest_;
  double latestTime_ = 0.0;
  std::uint64_t latestSequence_ = 0;  // the sequence number of latest_
  std::uint64_t dropped_ = 0;
  // No sample time equals it, itself included.
  static constexpr double kNeverTaken = std::numeric_limits<double>::quiet_NaN();
  double takenTime_ = 0.0;              // sample time last handed out
  std::atomic<bool> hasBuffer_{false};  // a non-empty frame has arrived
  std::condition_variable arrived_;     // with swapMutex_
  std::atomic<int> waiters_{0};
  std::atomic<int> ended_{0};

  std::mutex readMutex_;  // serialises readers; guards read_
  Buffer read_;

  std::recursive_mutex listenerMutex_;  // guards listener_; held across its calls
  FrameListener listener_;
  std::atomic<bool> hasListener_{false};

  std::atomic<std::int32_t> frameLength_{0};
};

}  // namespace qel
