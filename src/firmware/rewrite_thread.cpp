#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

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

// Why the rewrite ended in failure.
struct Failure {
  ErrorCode code = ErrorCode::kNone;
  std::string text;
};

// The reason of the attempt that failed last, recorded on this thread by the
// memory commands; what the block was and how often it was tried.
void LastAttemptFailed(Failure& failure, const char* step, std::uint32_t address) {
  char where[96];
  std::snprintf(where, sizeof where,
                "%s the block at 0x%06X failed %d times; the last time: ", step,
                static_cast<unsigned>(address), kMaxAttempts);
  failure.code = HasFailure() ? LastErrorCode() : ErrorCode::kPlatform;
  failure.text = where;
  failure.text += HasFailure() ? LastFailureDetail() : std::string_view("no reason given");
}

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
                Progress& progress, Failure& failure) {
  std::uint32_t address = 0;
  int failures = 0;
  while (address < size) {
    ClearFailure();  // each attempt records its own reason
    if (WriteMemoryChunk(channel, address, image + address)) {
      failures = 0;
      address += kMemoryChunkSize;
    } else {
      ++failures;
    }
    progress.Publish(std::min(address, size));  // the last block may run past the image's end
    if (failures >= kMaxAttempts) {
      LastAttemptFailed(failure, "writing", address);
      return false;
    }
  }
  return true;
}

bool VerifyPhase(HidChannel* channel, const std::uint8_t* image, std::uint32_t size,
                 Progress& progress, Failure& failure) {
  std::uint32_t address = 0;
  int failures = 0;
  int mismatches = 0;  // failed exchanges in between do not reset it
  std::uint8_t block[kMemoryChunkSize];
  while (address < size) {
    ClearFailure();
    if (!ReadMemoryChunk(channel, address, block)) {
      if (++failures >= kMaxAttempts) {
        LastAttemptFailed(failure, "reading back", address);
        return false;
      }
      continue;
    }
    failures = 0;
    if (std::memcmp(block, image + address, kMemoryChunkSize) != 0) {
      if (++mismatches >= kMaxAttempts) {
        char text[96];
        std::snprintf(text, sizeof text, "the block at 0x%06X read back different %d times",
                      static_cast<unsigned>(address), kMaxAttempts);
        failure = {ErrorCode::kRefused, text};
        return false;
      }
      platform::ActivePlatform().Sleep(kMismatchPauseMs);
      continue;  // read again; a mismatch never leads to writing again
    }
    mismatches = 0;
    address += kMemoryChunkSize;
    progress.Publish(std::min(address, size) + size);
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
std::int32_t RunRewrite(RewriteRecord& record, Failure& failure) {
  std::shared_ptr<HidChannel> channel;
  const std::uint8_t* image = nullptr;
  std::uint32_t size = 0;
  {
    std::lock_guard lock(record.lock);
    channel = record.channel;
    image = record.image ? record.image->data() : nullptr;  // only this thread releases it
    size = record.imageSize;
  }
  if (image == nullptr) {
    failure = {ErrorCode::kPlatform, "the rewrite had no image"};
    return kRewriteFailed;
  }
  Progress progress(record, size);
  progress.SetState(kRewriteWriting);
  if (size > 0 && !WritePhase(channel.get(), image, size, progress, failure)) {
    return kRewriteFailed;
  }
  progress.SetState(kRewriteVerifying);
  if (size > 0 && !VerifyPhase(channel.get(), image, size, progress, failure)) {
    return kRewriteFailed;
  }
  return kRewriteFinished;
}

}  // namespace

void RewriteThread(RewriteRecord& record) {
  Failure failure;
  const std::int32_t state = RunRewrite(record, failure);
  ClearFailure();  // nothing of this thread's work stays recorded on it
  std::unique_ptr<std::vector<std::uint8_t>> image;  // freed after the lock
  std::lock_guard lock(record.lock);
  record.state = state;
  record.failureCode = failure.code;
  record.failure = std::move(failure.text);
  image = std::move(record.image);
  record.busy = false;
}

}  // namespace qel
