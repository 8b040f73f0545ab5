#include "api/lifecycle_locks.h"

#include <algorithm>
#include <array>
#include <condition_variable>
#include <mutex>
#include <vector>

#include "core/camera_table.h"

namespace qel {
namespace {

struct Bookkeeping {
  std::mutex mutex;
  std::condition_variable keyReleased;
  std::vector<std::int32_t> busyKeys;
  std::array<bool, kMaxCameras> reserved{};
};

// Never destroyed, like the camera table.
Bookkeeping& Books() {
  static Bookkeeping* books = new Bookkeeping();
  return *books;
}

}  // namespace

KeyLock::KeyLock(std::int32_t key) : key_(key) {
  Bookkeeping& books = Books();
  std::unique_lock lock(books.mutex);
  books.keyReleased.wait(lock, [&] {
    return std::find(books.busyKeys.begin(), books.busyKeys.end(), key) == books.busyKeys.end();
  });
  books.busyKeys.push_back(key);
}

KeyLock::~KeyLock() {
  Bookkeeping& books = Books();
  {
    std::lock_guard lock(books.mutex);
    books.busyKeys.erase(std::find(books.busyKeys.begin(), books.busyKeys.end(), key_));
  }
  books.keyReleased.notify_all();
}

bool ReservePosition(int position) {
  if (position < 0 || position >= kMaxCameras) return false;
  Bookkeeping& books = Books();
  std::lock_guard lock(books.mutex);
  if (books.reserved[static_cast<std::size_t>(position)] ||
      CameraTable::Instance().IsPositionHeld(position)) {
    return false;
  }
  books.reserved[static_cast<std::size_t>(position)] = true;
  return true;
}

void ReleasePosition(int position) {
  if (position < 0 || position >= kMaxCameras) return;
  Bookkeeping& books = Books();
  std::lock_guard lock(books.mutex);
  books.reserved[static_cast<std::size_t>(position)] = false;
}

}  // namespace qel
