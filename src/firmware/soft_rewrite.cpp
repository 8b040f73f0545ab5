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
#include "firmware/rewrite_record.h"
#include "hid/hid_channel.h"
#include "hid/memory_commands.h"
#include "qel/qel.h"

namespace qel {
namespace {

// Addresses are 24 bits wide: a larger image would wrap onto address 0.
constexpr long kLargestImage = 16L << 20;
constexpr std::size_t kImagePadding = 64;  // the last block may run past the image into zeros

// The whole file in a zero-padded buffer; none when it cannot be read or is
// too large for the camera's address space.
std::unique_ptr<std::vector<std::uint8_t>> ReadImage(const char* path, std::uint32_t& size) {
  std::FILE* file = std::fopen(path, "rb");
  if (file == nullptr) return nullptr;
  long length = -1;
  if (std::fseek(file, 0, SEEK_END) == 0) length = std::ftell(file);
  if (length < 0 || length > kLargestImage || std::fseek(file, 0, SEEK_SET) != 0) {
    std::fclose(file);
    return nullptr;
  }
  auto image = std::make_unique<std::vector<std::uint8_t>>(
      static_cast<std::size_t>(length) + kImagePadding, 0);
  std::fread(image->data(), 1, static_cast<std::size_t>(length), file);
  std::fclose(file);
  size = static_cast<std::uint32_t>(length);
  return image;
}

// Joins a finished thread and frees the image; the caller holds the lock.
void Collect(RewriteRecord& record) {
  if (record.thread.joinable()) record.thread.join();
  record.image.reset();
  record.collected = true;
}

}  // namespace
}  // namespace qel

QelBool qel::exports::QelSoftRewrite(int32_t key, const char* path) {
  const std::optional<qel::CameraSlot> slot = qel::CameraTable::Instance().FindSlot(key);
  if (!slot || !slot->channel || path == nullptr) return 0;
  qel::RewriteRecord& record = qel::Rewrite();
  std::lock_guard lock(record.lock);  // held only while no thread runs
  if (!record.collected) {
    if (record.state != qel::kRewriteFinished && record.state != qel::kRewriteFailed) return 0;
    qel::Collect(record);  // a finished rewrite nobody polled for
  }

  std::uint32_t size = 0;
  auto image = qel::ReadImage(path, size);
  if (!image) return 0;
  const auto lastBlock = static_cast<std::uint8_t>(std::min<std::uint32_t>(size >> 16, 0xFF));
  if (!qel::EraseMemoryBlocks(slot->channel.get(), 0, lastBlock)) return 0;

  record.channel = slot->channel;
  record.image = std::move(image);
  record.imageSize = size;
  record.progress = 0.0f;
  record.state = qel::kRewriteStarted;
  record.elapsedSeconds = 0;
  record.collected = false;
  try {
    record.thread = std::thread(qel::RewriteThread, std::ref(record));
  } catch (const std::system_error&) {
    record.image.reset();
    record.state = qel::kRewriteFailed;
    record.collected = true;
    return 0;
  }
  return 1;
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
  if (record.state == qel::kRewriteFinished || record.state == qel::kRewriteFailed) {
    if (!record.collected) qel::Collect(record);
  }
  return record.state;
}
