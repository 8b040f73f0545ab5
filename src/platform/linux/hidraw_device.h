// An open hidraw node as the seam's HID device.
//
// Transfers are bounded by poll and a deadline on the table's clock, so that
// nothing is left pending when Read or Write returns. hidraw hands a device's
// reports without their ID byte when the device does not number them; a read
// puts the ID (0) back in byte 0, where the core expects it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/linux/hid_descriptor.h"
#include "platform/platform.h"

namespace qel::platform::linux_hw {

class HidrawDevice final : public HidDevice {
 public:
  // Takes fd over; serial is the USB device's serial string (UTF-8, empty
  // when it has none).
  HidrawDevice(int fd, HidOpenMode mode, std::string serial);
  ~HidrawDevice() override;
  HidrawDevice(const HidrawDevice&) = delete;
  HidrawDevice& operator=(const HidrawDevice&) = delete;

  bool GetCaps(HidCaps& caps) override;
  bool GetSerialNumberString(char16_t* buffer, std::uint32_t bufferBytes) override;
  bool Write(const std::uint8_t* report, std::uint32_t length, std::uint32_t timeoutMs) override;
  bool Read(std::uint8_t* report, std::uint32_t length, std::uint32_t timeoutMs) override;
  bool DeviceGone() override { return gone_; }

 private:
  // The parsed report descriptor, read from the device at the first need.
  const HidDescription* Description();
  // Waits until the node is ready for events or the deadline passes, the
  // first poll for firstWaitMs; false on time-out, error or hang-up (the
  // last two mark the device gone).
  bool WaitFor(short events, std::uint64_t deadlineNs, int firstWaitMs);

  const int fd_;
  const HidOpenMode mode_;
  const std::string serial_;
  std::optional<HidDescription> description_;
  bool gone_ = false;  // the last transfer failed with the device gone
};

}  // namespace qel::platform::linux_hw
