// The HID side of the rig: the device information set of HID interfaces, the
// configuration manager's parent and instance-ID queries, and open handles.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "platform/platform.h"

namespace qel::sim {

std::unique_ptr<platform::HidInterfaceSet> MakeHidInterfaceSet();
std::uint32_t GetParentDevInst(std::uint32_t devInst, std::uint32_t& parent);
std::uint32_t GetDeviceId(std::uint32_t devInst, char* buffer, std::uint32_t size);
std::unique_ptr<platform::HidDevice> OpenHidDevice(const char* path, platform::HidOpenMode mode);
// HID handles the library holds open, whatever became of their devices.
std::atomic<int>& OpenHidHandles();

}  // namespace qel::sim
