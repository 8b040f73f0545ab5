// The system device enumerator of the video-input category: monikers of the
// present video devices in the rig's order, their property bags and filters.
#pragma once

#include <memory>

#include "platform/platform.h"

namespace qel::sim {

std::unique_ptr<platform::CreateDevEnum> MakeSystemDeviceEnum();

}  // namespace qel::sim
