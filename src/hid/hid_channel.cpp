#include "hid/hid_channel.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "core/last_error.h"
#include "core/log.h"

namespace qel {

std::atomic<std::uint8_t>& CommandSequence() {
  static std::atomic<std::uint8_t> sequence{0};
  return sequence;
}

HidChannel::HidChannel(std::unique_ptr<platform::HidDevice> device, const platform::HidCaps& caps,
                       std::uint32_t deadlineMs)
    : device_(std::move(device)),
      inputLength_(caps.inputReportByteLength),
      outputLength_(caps.outputReportByteLength),
      output_(outputLength_),
      input_(inputLength_),
      deadlineMs_(deadlineMs) {}

void HidChannel::Close() {
  closing_.store(true);
  std::unique_ptr<platform::HidDevice> device;
  {
    std::lock_guard lock(mutex_);
    device = std::move(device_);
  }
  // The handle is closed here, outside the lock.
}

bool HidChannel::Exchange(const CommandBlock& command, ReplyBlock& reply) {
  // The reply's status lives in input byte 64; an interface whose input
  // reports are shorter cannot carry it, and its zero-filled tail would read as
  // success. Shorter output reports would cut the command's arguments (a
  // memory write's 56 data bytes end at byte 61).
  const unsigned code = command[0];
  if (inputLength_ < kReportLength || outputLength_ < kReportLength) {
    return Fail(ErrorCode::kNotSupported,
                "the camera's command interface has reports of %u and %u bytes, not %u",
                inputLength_, outputLength_, kReportLength);
  }
  if (closing_.load()) return Fail(ErrorCode::kNoCamera, "the camera is being closed");

  std::lock_guard lock(mutex_);
  if (!device_) return Fail(ErrorCode::kNoCamera, "the camera is closed");
  platform::Platform& platform = platform::ActivePlatform();

  std::vector<std::uint8_t>& output = output_;
  std::vector<std::uint8_t>& input = input_;
  std::fill(output.begin(), output.end(), 0);
  std::fill(input.begin(), input.end(), 0);
  const std::size_t carried = std::min<std::size_t>(command.size(), outputLength_ - 2u);
  std::memcpy(output.data() + 2, command.data(), carried);

  // Take this request's number; a failed write hands it back unless another
  // thread has taken the next one meanwhile.
  std::atomic<std::uint8_t>& sequence = CommandSequence();
  const std::uint8_t number = sequence.fetch_add(1);
  output[1] = number;
  // One deadline for the write and the wait for the reply: a camera that
  // takes no report (busy or wedged firmware) holds the channel, and a close
  // waiting for it, no longer than one that never answers.
  const std::uint32_t start = platform.GetTickCount();
  if (!device_->Write(output.data(), outputLength_, deadlineMs_)) {
    std::uint8_t expected = static_cast<std::uint8_t>(number + 1);
    sequence.compare_exchange_strong(expected, number);
    if (LogEnabled(LogLevel::kDebug)) {
      LogLine(LogLevel::kDebug, "HID command 0x%02X sequence %u: the write was not taken", code,
              number);
    }
    if (device_->DeviceGone()) {
      return Fail(ErrorCode::kDeviceLost, "the camera was unplugged; command 0x%02X was not sent",
                  code);
    }
    return Fail(ErrorCode::kTimeout, "the camera took no command 0x%02X within %u ms", code,
                deadlineMs_);
  }

  for (;;) {
    const std::uint32_t elapsed = platform.GetTickCount() - start;  // unsigned: wrap-safe
    if (elapsed >= deadlineMs_) {
      if (LogEnabled(LogLevel::kDebug)) {
        LogLine(LogLevel::kDebug, "HID command 0x%02X sequence %u: no reply within %u ms", code,
                number, deadlineMs_);
      }
      return Fail(ErrorCode::kTimeout, "the camera did not answer command 0x%02X within %u ms",
                  code, deadlineMs_);
    }
    const bool read = device_->Read(input.data(), inputLength_, deadlineMs_ - elapsed);
    if (read && input[1] == output[1] && input[2] == output[2]) {
      std::memcpy(reply.data(), input.data() + 2, reply.size());
      if (LogEnabled(LogLevel::kDebug)) {
        LogLine(LogLevel::kDebug, "HID command 0x%02X sequence %u: status 0x%02X", code, number,
                reply[kReplyStatus]);
      }
      return true;
    }
    // No reply can come from a camera that is gone: waiting out the deadline
    // would only hold the caller.
    if (!read && device_->DeviceGone()) {
      if (LogEnabled(LogLevel::kDebug)) {
        LogLine(LogLevel::kDebug, "HID command 0x%02X sequence %u: the camera is gone", code,
                number);
      }
      return Fail(ErrorCode::kDeviceLost,
                  "the camera was unplugged before it answered command 0x%02X", code);
    }
    // A report left over from an earlier request, or none: discard and pause.
    std::fill(input.begin(), input.end(), 0);
    platform.Sleep(1);
  }
}

bool HidExchange(HidChannel* channel, const CommandBlock& command, ReplyBlock& reply) {
  if (channel == nullptr)
    return Fail(ErrorCode::kNotSupported, "the device has no command channel");
  return channel->Exchange(command, reply);
}

}  // namespace qel
