#include "capture/frame_store.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>
#include <utility>

#include "capture/media_format.h"

namespace qel {

namespace {
// The store whose listener the thread is calling, if any.
thread_local const FrameStore* listenerOfThread = nullptr;
}  // namespace

bool FrameStore::CallingFromListener() const { return listenerOfThread == this; }

bool FrameStore::Buffer::Fit(std::size_t size) {
  if (size <= capacity) return true;
  // A little headroom, so that formats whose frames vary in size settle.
  const std::size_t grown = size + size / 8 + 10;
  std::unique_ptr<std::uint8_t[]> larger(new (std::nothrow) std::uint8_t[grown]);
  if (!larger) return false;
  data = std::move(larger);
  capacity = grown;
  return true;
}

bool FrameStore::Deliver(double sampleTime, const std::uint8_t* data, long length) {
  const std::size_t size = length > 0 ? static_cast<std::size_t>(length) : 0;
  if (data == nullptr && size > 0) return false;
  if (size == 0 && !hasBuffer_.load(std::memory_order_acquire)) {
    frameLength_.store(0, std::memory_order_release);
    return false;
  }
  if (!write_.Fit(size)) return false;
  if (size > 0) std::memcpy(write_.data.get(), data, size);
  write_.length = size;
  FrameDetails details;
  details.length = static_cast<std::int64_t>(size);
  details.sampleTime = sampleTime;
  {
    std::lock_guard lock(swapMutex_);
    if (HasNewLocked()) ++dropped_;  // the frame replaced was never handed out
    std::swap(write_, latest_);
    latestTime_ = sampleTime;
    details.sequence = ++latestSequence_;
    details.dropped = dropped_;
    hasBuffer_.store(true, std::memory_order_release);
  }
  frameLength_.store(static_cast<std::int32_t>(std::min<std::size_t>(size, INT32_MAX)),
                     std::memory_order_release);
  if (waiters_.load() > 0) arrived_.notify_all();
  if (hasListener_.load(std::memory_order_acquire)) {
    CallListener(data, details);
  }
  return true;
}

void FrameStore::FillFrameInfo(const FrameDetails& details, QelFrameInfo* info) const {
  QelFrameInfo full{};
  std::memcpy(&full.size, &info->size, sizeof full.size);
  full.width = shape_.width;
  full.height = shape_.height;
  CopyFormatName(full.format, sizeof full.format, shape_.format);  // cut, as 1.x had it
  full.bytes = static_cast<std::int32_t>(std::min<std::int64_t>(details.length, INT32_MAX));
  full.sampleTime = details.sampleTime;
  full.sequence = details.sequence;
  full.dropped = details.dropped;
  std::memcpy(full.formatName, shape_.format, sizeof full.formatName);
  std::memcpy(info, &full, std::min<std::size_t>(full.size, sizeof full));
}

void FrameStore::CallListener(const std::uint8_t* data, const FrameDetails& details) {
  std::lock_guard lock(listenerMutex_);
  if (listener_.callback == nullptr) return;
  QelFrameInfo info{};
  info.size = sizeof info;
  FillFrameInfo(details, &info);
  const FrameStore* outer = listenerOfThread;
  listenerOfThread = this;
  listener_.callback(listener_.key, data, &info, listener_.user);
  listenerOfThread = outer;
}

bool FrameStore::SetListener(const FrameListener& listener) {
  std::lock_guard lock(listenerMutex_);
  if (Ended() != StreamEnd::kRunning && listener.callback != nullptr) return false;
  listener_ = listener;
  hasListener_.store(listener.callback != nullptr, std::memory_order_release);
  return true;
}

double FrameStore::LastSampleTime() const {
  std::lock_guard lock(swapMutex_);
  return latestTime_;
}

bool FrameStore::HasNewLocked() const { return hasBuffer_ && latestTime_ != takenTime_; }

bool FrameStore::HasNew() const {
  std::lock_guard lock(swapMutex_);
  return HasNewLocked();
}

std::int64_t FrameStore::TakeLatest(std::uint8_t* destination, std::int64_t copyLimit) {
  std::lock_guard reader(readMutex_);
  {
    std::lock_guard lock(swapMutex_);
    if (!HasNewLocked()) return -1;
    std::swap(latest_, read_);
    takenTime_ = latestTime_;
    // The buffer now in latest_ is stale; it is only ever overwritten by the
    // next delivery, which also moves the sample time on.
  }
  std::size_t length = read_.length;
  if (copyLimit >= 0) length = std::min<std::size_t>(length, static_cast<std::size_t>(copyLimit));
  if (destination != nullptr && length > 0) std::memcpy(destination, read_.data.get(), length);
  return static_cast<std::int64_t>(length);
}

FrameStore::Take FrameStore::TakeFitting(std::uint8_t* destination, std::size_t capacity,
                                         FrameDetails& details) {
  std::lock_guard reader(readMutex_);
  {
    std::lock_guard lock(swapMutex_);
    if (!HasNewLocked()) return Take::kNothingNew;
    details.length = static_cast<std::int64_t>(latest_.length);
    details.sampleTime = latestTime_;
    details.sequence = latestSequence_;
    details.dropped = dropped_;
    if (latest_.length > capacity) return Take::kTooSmall;
    std::swap(latest_, read_);
    takenTime_ = latestTime_;
  }
  if (destination != nullptr && read_.length > 0) {
    std::memcpy(destination, read_.data.get(), read_.length);
  }
  return Take::kTaken;
}

std::uint64_t FrameStore::Sequence() const {
  std::lock_guard lock(swapMutex_);
  return latestSequence_;
}

bool FrameStore::WaitForDelivery(std::uint64_t after, std::chrono::milliseconds limit) {
  std::unique_lock lock(swapMutex_);
  ++waiters_;
  const bool woke =
      arrived_.wait_for(lock, limit, [&] { return latestSequence_ > after || ended_.load() != 0; });
  --waiters_;
  return woke;
}

void FrameStore::End(StreamEnd reason) {
  {
    std::lock_guard lock(swapMutex_);
    int running = 0;
    ended_.compare_exchange_strong(running, static_cast<int>(reason));
  }
  arrived_.notify_all();
  SetListener(FrameListener{});
}

}  // namespace qel
