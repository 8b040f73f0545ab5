// QelSoftRewrite starts the rewrite thread with the image read into memory
// and returns; QelSoftRewriteState reports the thread's progress and collects
// it when it has ended.
#include <algorithm>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "core/camera_table.h"
#include "core/exports.h"
#include "core/last_error.h"
#include "firmware/image_file.h"
#include "firmware/rewrite_record.h"
#include "hid/hid_channel.h"
#include "hid/memory_commands.h"
#include "qel/qel.h"

namespace qel {
namespace {

std::unique_ptr<std::vector<std::uint8_t>> ReadImageFile(const char* path, std::uint32_t& size) {
  std::FILE* file = OpenImageFile(path);
  if (file == nullptr) return nullptr;
  std::string name(1, '"');  // the path in quotes, for the reasons ReadImage records
  name.append(path).push_back('"');
  auto image = ReadImage(file, size, name.c_str());
  std::fclose(file);
  return image;
}

// Has the camera erase the blocks the image will occupy, with the record
// claimed but its lock not held; then fills the record and starts the
// thread. False, with the claim given back, when either step fails.
bool StartRewrite(RewriteRecord& record, const std::shared_ptr<HidChannel>& channel,
                  std::unique_ptr<std::vector<std::uint8_t>> image, std::uint32_t size) {
  const auto lastBlock = static_cast<std::uint8_t>(std::min<std::uint32_t>(size >> 16, 0xFF));
  const bool erased = EraseMemoryBlocks(channel.get(), 0, lastBlock);

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
      record.failureCode = ErrorCode::kNone;
      record.failure.clear();
      return true;
    } catch (const std::system_error& error) {
      Fail(ErrorCode::kPlatform, "the rewrite thread could not be started: %s", error.what());
    }
  }
  record.busy = false;
  return false;  // the image is freed after the lock
}

bool NotFamily(std::int32_t key) {
  return Fail(ErrorCode::kNotSupported, "the device under key %d is not a camera of the family",
              static_cast<int>(key));
}

}  // namespace
}  // namespace qel

QelBool qel::exports::QelSoftRewrite(int32_t key, const char* path) {
  const std::optional<qel::CameraSlot> slot = qel::FindOpenCamera(key);
  if (!slot) return 0;
  if (!slot->channel) return qel::NotFamily(key);
  if (path == nullptr) return qel::Fail(qel::ErrorCode::kBadArgument, "path is NULL");
  // The file is read before the record is claimed: a file that cannot be
  // had must not keep other rewrites out.
  std::uint32_t size = 0;
  auto image = qel::ReadImageFile(path, size);
  if (!image) return 0;
  qel::RewriteRecord& record = qel::Rewrite();
  {
    std::lock_guard lock(record.lock);
    if (record.busy) {  // one rewrite at a time, starting ones included
      return qel::Fail(qel::ErrorCode::kBusy, "a firmware rewrite is already under way");
    }
    record.busy = true;
  }
  return qel::StartRewrite(record, slot->channel, std::move(image), size) ? 1 : 0;
}

int32_t qel::exports::QelSoftRewriteState(int32_t key, int32_t* seconds, float* percent) {
  if (seconds == nullptr || percent == nullptr) {
    qel::Fail(qel::ErrorCode::kBadArgument, "%s is NULL",
              seconds == nullptr ? "seconds" : "percent");
    return -1;
  }
  const std::optional<qel::CameraSlot> slot = qel::FindOpenCamera(key);
  if (!slot) return -1;
  if (!slot->channel) return (qel::NotFamily(key), -1);
  qel::RewriteRecord& record = qel::Rewrite();
  std::lock_guard lock(record.lock);
  if (record.channel != slot->channel) {
    qel::Fail(qel::ErrorCode::kBadArgument,
              "no firmware rewrite was started on the camera under key %d", static_cast<int>(key));
    return -1;
  }
  *seconds = static_cast<int32_t>(record.elapsedSeconds);
  *percent = record.progress;
  if (record.state == qel::kRewriteFailed) {
    qel::Fail(record.failureCode == qel::ErrorCode::kNone ? qel::ErrorCode::kPlatform
                                                          : record.failureCode,
              "the firmware rewrite failed: %s", record.failure.c_str());
  }
  return record.state;
}
