// The Windows backend of the platform seam: the capture framework over COM,
// the device setup and HID services, and the system's clock.
#pragma once

#include "platform/platform.h"

namespace qel::platform::win32 {

// The one instance, for ActivePlatform to hand out.
Platform& HardwarePlatform();

}  // namespace qel::platform::win32
