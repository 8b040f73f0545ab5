// The Linux backend of the platform seam: hidraw and sysfs for the device
// setup and HID services, and the system's monotonic clock. Its capture
// framework lists no video devices yet.
#pragma once

#include "platform/platform.h"

namespace qel::platform::linux_hw {

// The one instance.
Platform& HardwarePlatform();

}  // namespace qel::platform::linux_hw
