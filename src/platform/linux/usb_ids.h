// The device identifiers the backend makes up in the other platform's form,
// because the core pairs a camera's HID interface with its video device by
// text: the part of the HID parent's ID after its last backslash, up to its
// second '&', lowered, must occur in the video device's display name.
//
// Both sides are named by their common USB device through a token of fixed
// width, "b001&d005" (bus and address, three digits each): no token is a
// part of another's (d005 in d050, or a port path 1-2 in 1-2.3, would be).
#pragma once

#include <cstdint>
#include <string>

#include "platform/linux/sysfs.h"

namespace qel::platform::linux_hw {

// "b001&d005", lower case as the core's pairing compares it.
std::string PairingToken(const UsbParent& usb);

// USB\VID_1D6B&PID_0102&MI_02\B001&D005&0&0002: the ID of the USB interface
// a HID node hangs under.
std::string UsbInterfaceId(const UsbParent& usb);

}  // namespace qel::platform::linux_hw
