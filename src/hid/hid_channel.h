// A camera's open command channel and the request-and-reply exchange on it.
//
// Ownership: a HidChannel owns the platform's HID handle. It is shared by the
// camera's slot and by every export that is using it at the moment; Close()
// ends its use at once (later exchanges fail), the memory lives until the last
// user lets go.
//
// Thread safety: exchanges on one channel are serialised by the channel's
// mutex, so a reply always reaches the caller whose request it answers; the
// sequence counter is atomic and shared by all channels. Work that spans
// several exchanges and must not interleave with another of its kind (the
// read-modify-commit of the camera's data block) takes the channel's
// DataBlockMutex around them; it is taken before the exchange mutex, never
// while holding it.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "hid/command_report.h"
#include "platform/platform.h"

namespace qel {

// The deadline of one exchange, from the start of its write to its reply.
inline constexpr std::uint32_t kReplyTimeoutMs = 5000;

class HidChannel {
 public:
  // Takes the open handle and the report lengths of its interface; tests
  // may give a shorter deadline.
  HidChannel(std::unique_ptr<platform::HidDevice> device, const platform::HidCaps& caps,
             std::uint32_t deadlineMs = kReplyTimeoutMs);

  // Writes the command and waits for the report that echoes its sequence
  // number and code, the write and the wait together bounded by the
  // deadline; reports that answer something else are skipped. True when that
  // report arrived: judging its status is the caller's task. A camera that
  // the platform reports gone (unplugged) ends the exchange at once, with
  // the device-lost reason.
  bool Exchange(const CommandBlock& command, ReplyBlock& reply);

  // Closes the handle; waits for an exchange in progress to end, so at most
  // one deadline. Exchanges that start once Close has begun fail at once, so
  // a thread exchanging back to back (a firmware rewrite) cannot keep the
  // close waiting.
  void Close();
  // True once Close has begun.
  bool Closing() const { return closing_.load(); }

  std::uint16_t InputReportLength() const { return inputLength_; }
  std::uint16_t OutputReportLength() const { return outputLength_; }

  // Serialises updates of the camera's data block (see data_block.h).
  std::mutex& DataBlockMutex() { return dataBlockMutex_; }

 private:
  std::mutex dataBlockMutex_;
  std::atomic<bool> closing_{false};
  std::mutex mutex_;
  std::unique_ptr<platform::HidDevice> device_;  // null once closed
  const std::uint16_t inputLength_;
  const std::uint16_t outputLength_;
  // The reports of the exchange in progress, made once: guarded by mutex_.
  std::vector<std::uint8_t> output_;
  std::vector<std::uint8_t> input_;
  const std::uint32_t deadlineMs_;
};

// HidExchange: fails at once for a null channel, with nothing sent.
bool HidExchange(HidChannel* channel, const CommandBlock& command, ReplyBlock& reply);

// The process-wide sequence number that the next written request carries.
std::atomic<std::uint8_t>& CommandSequence();

}  // namespace qel
