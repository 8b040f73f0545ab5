// The one firmware rewrite the process runs at a time: its record, its lock
// and its thread.
//
// Thread safety: every field is guarded by `lock`, which always exists (it is
// never created or torn down with a rewrite). The rewrite thread holds it
// only for short updates, never during an exchange, and takes it no more
// after it has set the final state, so the poll that collects the final
// state may join the thread while holding it.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

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
  std::unique_ptr<std::vector<std::uint8_t>> image;  // imageSize + 64 bytes, zero-padded
  std::uint32_t imageSize = 0;
  std::int32_t state = kRewriteFailed;
  std::uint32_t elapsedSeconds = 0;
  float progress = 0.0f;
  std::thread thread;
  bool collected = true;  // no rewrite under way
};

RewriteRecord& Rewrite();

// The body of the rewrite thread: writes the image in 56-byte blocks from
// address 0, then reads every block back and compares it.
void RewriteThread(RewriteRecord& record);

}  // namespace qel
