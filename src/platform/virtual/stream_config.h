// IAMStreamConfig of a capture filter's capture pin.
#pragma once

#include <memory>

#include "platform/platform.h"
#include "platform/virtual/device.h"

namespace qel::sim {

std::unique_ptr<platform::StreamConfig> MakeStreamConfig(DevicePtr device);

// Whether a requested frame interval matches a capability's (within 0.1%).
bool IntervalMatches(std::int64_t requested, std::int64_t capability);

}  // namespace qel::sim
