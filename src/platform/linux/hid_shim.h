// The seam's device setup and HID calls over hidraw and sysfs.
//
// The interface set is the hidraw nodes present when it is made, in the
// order of their minor numbers. A member's devInst is its minor + 1 (0 is no
// device); the parent of a node under a USB interface is that interface,
// devInst | kUsbInterfaceFlag, whose ID names its USB device by bus and
// address (usb_ids.h). A node that is not under USB has no parent, so the
// core skips it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/platform.h"

namespace qel::platform::linux_hw {

inline constexpr std::uint32_t kUsbInterfaceFlag = 0x8000'0000u;
inline constexpr std::uint32_t kCrBufferSmall = 0x1A;  // CR_BUFFER_SMALL

std::unique_ptr<HidInterfaceSet> OpenHidInterfaceSet();
std::uint32_t GetParentDevInst(std::uint32_t devInst, std::uint32_t& parent);
std::uint32_t GetDeviceId(std::uint32_t devInst, char* buffer, std::uint32_t size);

// The command channel opens for reading and writing without blocking; the
// serial query only for reading. Neither descriptor passes to a child
// process. The node must still be the USB device sysfs says it is: a node
// whose minor went to another device since the set was made is refused.
std::unique_ptr<HidDevice> OpenHidDevice(const char* path, HidOpenMode mode);

// Why the calling thread's last OpenHidDevice failed, when that is worth
// telling (a permission refused); empty otherwise. Reading forgets it.
std::string TakeHidOpenFailure();

}  // namespace qel::platform::linux_hw
