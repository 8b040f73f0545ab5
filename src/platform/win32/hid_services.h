// Device setup and HID services of the backend: the information set of HID
// interfaces, the configuration-manager lookups and open HID devices. Every
// system call goes through the table of hid_api.h.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/platform.h"

namespace qel::platform::win32 {

std::unique_ptr<HidInterfaceSet> OpenHidInterfaceSet();
std::uint32_t GetParentDevInst(std::uint32_t devInst, std::uint32_t& parent);
std::uint32_t GetDeviceId(std::uint32_t devInst, char* buffer, std::uint32_t size);
std::unique_ptr<HidDevice> OpenHidDevice(const char* path, HidOpenMode mode);

// How often a transfer that outlived its time is cancelled again, should the
// first cancel have come before the transfer reached the driver.
inline constexpr std::uint32_t kReadCancelRetryMs = 10;

}  // namespace qel::platform::win32
