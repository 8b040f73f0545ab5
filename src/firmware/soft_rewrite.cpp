// QelSoftRewrite starts the rewrite thread with the image read into memory
// and returns; QelSoftRewriteState reports the thread's progress and collects
// it when it has ended.
#include <algorithm>
#include <cstdio>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "core/camera_table.h"
#include "core/exports.h"
#include "firmware/image_file.h"
#include "firmware/rewrite_record.h"
#include "hid/hid_channel.h"
#include "hid/memory_commands.h"
#include "qel/qel.h"

namespace qel {
namespace {

std::unique_ptr<std::vector<std::uint8_t>> ReadImageFile(const char* path, std::uint32_t& size) {
  std::FILE* file = std::fopen(path, "rb");
  if (file == nullptr) return nullptr;
  auto image = ReadImage(file, size);
  std::fclose(file);
  return image;
}

// Reads the image and has the camera erase the blocks it will occupy, with
// the record claimed but its lock not held; then fills the record and starts
// the thread. False, with the claim given back, when any step fails.
bool StartRewrite(RewriteRecord& record, const std::shared_ptr<HidChannel>& channel,
                  const char* path) {
  std::uint32_t size = 0;
  auto image = ReadImageFile(path, size);
  const auto lastBlock = static_cast<std::uint8_t>(std::min<std::uint32_t>(size >> 16, 0xFF));
  const bool erased = image && EraseMemoryBlocks(channel.get(), 0, lastBlock);

  std::lock_guard lock(record.lock);
  if (erased) {
    try {
      // The thread reads the record under the lock, so it starts from the
      // fields filled below.
      std::thread(RewriteThread, std::ref(record)).detach();
      record.channel = channel;
      record.image = std::move(image);
      record.imageSize = size;
      record.progress = 0.0f;
      record.state = kRewriteStarted;
      record.elapsedSeconds = 0;
      return true;
    } catch (const std::system_error&) {
    }
  }
  record.busy = false;
  return false;  // the image, if any, is freed after the lock
}

}  // namespace
}  // namespace qel

QelBool qel::exports::QelSoftRewrite(int32_t key, const char* path) {
  const std::optional<qel::CameraSlot> slot = qel::CameraTable::Instance().FindSlot(key);
  if (!slot || !slot->channel || path == nullptr) return 0;
  qel::RewriteRecord& record = qel::Rewrite();
  {
    std::lock_guard lock(record.lock);
    if (record.busy) return 0;  // one rewrite at a time, starting ones included
    record.busy = true;
  }
  return qel::StartRewrite(record, slot->channel, path) ? 1 : 0;
}

int32_t qel::exports::QelSoftRewriteState(int32_t key, int32_t* seconds, float* percent) {
  if (seconds == nullptr || percent == nullptr) return -1;
  const std::optional<qel::CameraSlot> slot = qel::CameraTable::Instance().FindSlot(key);
  if (!slot || !slot->channel) return -1;
  qel::RewriteRecord& record = qel::Rewrite();
  std::lock_guard lock(record.lock);
  if (record.channel != slot->channel) return -1;
  *seconds = static_cast<int32_t>(record.elapsedSeconds);
  *percent = record.progress;
  return record.state;
}
