#include <algorithm>
#include <cstring>

#include "firmware/rewrite_record.h"
#include "hid/data_block.h"
#include "hid/hid_channel.h"
#include "hid/memory_commands.h"
#include "platform/platform.h"

namespace qel {
namespace {

// Attempts in a row at one block before the rewrite gives up.
constexpr int kMaxAttempts = 6;
constexpr std::uint32_t kMismatchPauseMs = 10;

class Progress {
 public:
  Progress(RewriteRecord& record, std::uint32_t size)
      : record_(record), size_(size), start_(platform::ActivePlatform().GetTickCount()) {}

  // Elapsed time and progress from numerator / (2 * size) percent.
  void Publish(std::uint32_t numerator) {
    const std::uint32_t elapsed = platform::ActivePlatform().GetTickCount() - start_;
    std::lock_guard lock(record_.lock);
    record_.elapsedSeconds = elapsed / 1000;
    record_.progress = static_cast<float>(numerator) / (2.0f * static_cast<float>(size_)) * 100.0f;
  }
  void SetState(std::int32_t state) {
    std::lock_guard lock(record_.lock);
    record_.state = state;
  }

 private:
  RewriteRecord& record_;
  const std::uint32_t size_;
  const std::uint32_t start_;
};

bool WritePhase(HidChannel* channel, const std::uint8_t* image, std::uint32_t size,
                Progress& progress) {
  std::uint32_t address = 0;
  int failures = 0;
  while (address < size) {
    if (WriteMemoryChunk(channel, address, image + address)) {
      failures = 0;
      address += kMemoryChunkSize;
    } else {
      ++failures;
    }
    progress.Publish(address);
    if (failures >= kMaxAttempts) return false;
  }
  return true;
}

bool VerifyPhase(HidChannel* channel, const std::uint8_t* image, std::uint32_t size,
                 Progress& progress) {
  std::uint32_t address = 0;
  int failures = 0;
  int mismatches = 0;  // failed exchanges in between do not reset it
  std::uint8_t block[kMemoryChunkSize];
  while (address < size) {
    if (!ReadMemoryChunk(channel, address, block)) {
      if (++failures >= kMaxAttempts) return false;
      continue;
    }
    failures = 0;
    if (std::memcmp(block, image + address, kMemoryChunkSize) != 0) {
      if (++mismatches >= kMaxAttempts) return false;
      platform::ActivePlatform().Sleep(kMismatchPauseMs);
      continue;  // read again; a mismatch never leads to writing again
    }
    mismatches = 0;
    address += kMemoryChunkSize;
    progress.Publish(address + size);
  }
  return true;
}

}  // namespace

// Never destroyed: a rewrite still running at exit keeps its record.
RewriteRecord& Rewrite() {
  static RewriteRecord* record = new RewriteRecord();
  return *record;
}

namespace {

// Runs the two phases; the final state.
std::int32_t RunRewrite(RewriteRecord& record) {
  std::shared_ptr<HidChannel> channel;
  const std::uint8_t* image = nullptr;
  std::uint32_t size = 0;
  {
    std::lock_guard lock(record.lock);
    channel = record.channel;
    image = record.image ? record.image->data() : nullptr;  // only this thread releases it
    size = record.imageSize;
  }
  if (image == nullptr) return kRewriteFailed;
  Progress progress(record, size);
  progress.SetState(kRewriteWriting);
  if (size > 0 && !WritePhase(channel.get(), image, size, progress)) return kRewriteFailed;
  progress.SetState(kRewriteVerifying);
  if (size > 0 && !VerifyPhase(channel.get(), image, size, progress)) return kRewriteFailed;
  return kRewriteFinished;
}

}  // namespace

void RewriteThread(RewriteRecord& record) {
  const std::int32_t state = RunRewrite(record);
  std::unique_ptr<std::vector<std::uint8_t>> image;  // freed after the lock
  std::lock_guard lock(record.lock);
  record.state = state;
  image = std::move(record.image);
  record.busy = false;
}

}  // namespace qel
