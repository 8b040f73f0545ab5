// The Linux backend of the platform seam: V4L2 for the capture framework,
// hidraw and sysfs for the device setup and HID services, and the system's
// monotonic clock.
#pragma once

#include "platform/platform.h"

namespace qel::platform::linux_hw {

// The one instance.
Platform& HardwarePlatform();

}  // namespace qel::platform::linux_hw
