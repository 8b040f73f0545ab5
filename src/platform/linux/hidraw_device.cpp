#include "platform/linux/hidraw_device.h"

#include <linux/hidraw.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <vector>

#include "platform/linux/sys_api.h"
#include "platform/linux/utf_text.h"

namespace qel::platform::linux_hw {

namespace {

constexpr std::uint64_t kNsPerMs = 1'000'000;

std::uint64_t DeadlineAfter(std::uint32_t timeoutMs) {
  return Sys().monotonicNs() + std::uint64_t{timeoutMs} * kNsPerMs;
}

// The time left, rounded up to whole milliseconds so that a wait never ends
// before the deadline; 0 once it has passed.
int MsLeft(std::uint64_t deadlineNs) {
  const std::uint64_t now = Sys().monotonicNs();
  if (now >= deadlineNs) return 0;
  const std::uint64_t ms = (deadlineNs - now + kNsPerMs - 1) / kNsPerMs;
  return ms > INT_MAX ? INT_MAX : static_cast<int>(ms);
}

int ClampedMs(std::uint32_t ms) { return ms > INT_MAX ? INT_MAX : static_cast<int>(ms); }

// A removed hidraw node refuses writes with ENODEV and reads with EIO.
bool MeansGone(int error) { return error == ENODEV || error == EIO; }

}  // namespace

HidrawDevice::HidrawDevice(int fd, HidOpenMode mode, std::string serial)
    : fd_(fd), mode_(mode), serial_(std::move(serial)) {}

HidrawDevice::~HidrawDevice() { Sys().close(fd_); }

const HidDescription* HidrawDevice::Description() {
  if (description_) return &*description_;
  int size = 0;
  if (Sys().ioctl(fd_, HIDIOCGRDESCSIZE, &size) < 0 || size <= 0 ||
      size > HID_MAX_DESCRIPTOR_SIZE) {
    return nullptr;
  }
  hidraw_report_descriptor descriptor{};
  descriptor.size = static_cast<std::uint32_t>(size);
  if (Sys().ioctl(fd_, HIDIOCGRDESC, &descriptor) < 0) return nullptr;
  HidDescription parsed;
  if (!ParseHidDescriptor(descriptor.value, descriptor.size, parsed)) return nullptr;
  description_ = parsed;
  return &*description_;
}

bool HidrawDevice::GetCaps(HidCaps& caps) {
  const HidDescription* description = Description();
  if (description == nullptr) return false;
  caps = description->caps;
  return true;
}

bool HidrawDevice::GetSerialNumberString(char16_t* buffer, std::uint32_t bufferBytes) {
  if (buffer == nullptr || serial_.empty()) return false;
  const std::u16string text = Utf8ToUtf16(serial_);
  // The whole string and its terminator, or nothing.
  const std::size_t bytes = (text.size() + 1) * sizeof(char16_t);
  if (bytes > bufferBytes) return false;
  std::memcpy(buffer, text.data(), text.size() * sizeof(char16_t));
  buffer[text.size()] = u'\0';
  return true;
}

bool HidrawDevice::WaitFor(short events, std::uint64_t deadlineNs, int firstWaitMs) {
  for (int waitMs = firstWaitMs;; waitMs = MsLeft(deadlineNs)) {
    pollfd entry{fd_, events, 0};
    const int ready = Sys().poll(&entry, 1, waitMs);
    if (ready < 0) {
      if (errno == EINTR) continue;  // the time left is taken anew
      return false;
    }
    if (entry.revents & (POLLHUP | POLLERR | POLLNVAL)) {
      gone_ = (entry.revents & (POLLHUP | POLLERR)) != 0;
      return false;
    }
    if (entry.revents & events) return true;
    if (MsLeft(deadlineNs) == 0) return false;
  }
}

// Reports move only over the command channel, as on the other platform.
bool HidrawDevice::Write(const std::uint8_t* report, std::uint32_t length,
                         std::uint32_t timeoutMs) {
  gone_ = false;
  if (mode_ != HidOpenMode::kCommandChannel || report == nullptr || length == 0) return false;
  // The clock is read only when the node makes the write wait.
  std::optional<std::uint64_t> deadline;
  for (;;) {
    const ssize_t written = Sys().write(fd_, report, length);
    if (written >= 0) return static_cast<std::uint32_t>(written) == length;  // a part is no report
    if (errno == EINTR) continue;
    if (errno == EAGAIN) {
      if (!deadline) deadline = DeadlineAfter(timeoutMs);
      if (!WaitFor(POLLOUT, *deadline, MsLeft(*deadline))) return false;
      continue;
    }
    gone_ = errno == ENODEV;
    return false;
  }
}

bool HidrawDevice::Read(std::uint8_t* report, std::uint32_t length, std::uint32_t timeoutMs) {
  gone_ = false;
  if (mode_ != HidOpenMode::kCommandChannel || report == nullptr || length < 2) return false;
  const HidDescription* description = Description();
  if (description == nullptr) return false;
  // Without numbered reports the node gives the report without its ID byte.
  const bool numbered = description->numberedReports;
  std::uint8_t* into = numbered ? report : report + 1;
  const std::uint32_t expected = numbered ? length : length - 1;
  const std::uint64_t deadline = DeadlineAfter(timeoutMs);
  // The first wait is the whole time out: no second reading of the clock.
  for (int waitMs = ClampedMs(timeoutMs);; waitMs = MsLeft(deadline)) {
    if (!WaitFor(POLLIN, deadline, waitMs)) return false;
    const ssize_t got = Sys().read(fd_, into, expected);
    if (got < 0) {
      if (errno == EINTR || errno == EAGAIN) continue;
      gone_ = MeansGone(errno);
      return false;
    }
    // A short report is a failure: zeros in place of its missing tail would
    // read as a reply's success status.
    if (static_cast<std::uint32_t>(got) != expected) return false;
    if (!numbered) report[0] = 0;
    return true;
  }
}

}  // namespace qel::platform::linux_hw
