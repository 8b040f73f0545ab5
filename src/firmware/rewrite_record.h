// The one firmware rewrite the process runs at a time: its record, its lock
// and its thread.
//
// Thread safety: every field is guarded by `lock`, which always exists (it is
// never created or torn down with a rewrite) and is held only for short
// record updates, never across file or camera I/O, so a poll never waits for
// either. A rewrite claims the record (`busy`) under the lock once its file
// has been read, before the camera erases, so a second one is refused while
// the first is still starting.
// The rewrite thread is detached: in one last update it publishes the final
// state, gives up the image and the claim, and touches the record no more.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/last_error.h"

namespace qel {

class HidChannel;

// RewriteState values.
enum RewriteState : std::int32_t {
  kRewriteFailed = -1,
  kRewriteFinished = 0,
  kRewriteWriting = 1,
  kRewriteVerifying = 2,
  kRewriteStarted = 3,
};

struct RewriteRecord {
  std::mutex lock;
  std::shared_ptr<HidChannel> channel;               // identifies the camera being rewritten
  std::unique_ptr<std::vector<std::uint8_t>> image;  // imageSize + 64 bytes, zero-padded;
                                                     // released when the thread ends
  std::uint32_t imageSize = 0;
  std::int32_t state = kRewriteFailed;
  std::uint32_t elapsedSeconds = 0;
  float progress = 0.0f;
  bool busy = false;  // a rewrite is starting or its thread runs
  // Why the rewrite failed (state kRewriteFailed), for the poll to report.
  ErrorCode failureCode = ErrorCode::kNone;
  std::string failure;
};

RewriteRecord& Rewrite();

// The body of the rewrite thread: writes the image in 56-byte blocks from
// address 0, then reads every block back and compares it; finally publishes
// the state, releases the image and ends the claim on the record.
void RewriteThread(RewriteRecord& record);

}  // namespace qel
