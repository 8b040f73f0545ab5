#include "capture/frame_store.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

namespace qel {

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
  {
    std::lock_guard lock(swapMutex_);
    std::swap(write_, latest_);
    latestTime_ = sampleTime;
    hasBuffer_.store(true, std::memory_order_release);
  }
  frameLength_.store(static_cast<std::int32_t>(std::min<std::size_t>(size, INT32_MAX)),
                     std::memory_order_release);
  return true;
}

double FrameStore::LastSampleTime() const {
  std::lock_guard lock(swapMutex_);
  return latestTime_;
}

std::int64_t FrameStore::TakeLatest(std::uint8_t* destination, std::int64_t copyLimit) {
  std::lock_guard reader(readMutex_);
  {
    std::lock_guard lock(swapMutex_);
    if (!hasBuffer_ || latestTime_ == lastDeliveredTime_) return -1;
    std::swap(latest_, read_);
    lastDeliveredTime_ = latestTime_;
    // The buffer now in latest_ is stale; it is only ever overwritten by the
    // next delivery, which also moves the sample time on.
  }
  std::size_t length = read_.length;
  if (copyLimit >= 0) length = std::min<std::size_t>(length, static_cast<std::size_t>(copyLimit));
  if (destination != nullptr && length > 0) std::memcpy(destination, read_.data.get(), length);
  return static_cast<std::int64_t>(length);
}

}  // namespace qel
