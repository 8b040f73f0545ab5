// Making the rig's devices: names, display names and instance IDs, the
// formats and properties of each model, and the default population.
#pragma once

#include <cstdint>
#include <string>

#include "platform/virtual/device.h"

namespace qel::sim {

// Frame interval in 100 ns units of a frame rate: floor(1e7 / rate + 0.5).
std::int64_t IntervalOfRate(double rate);

// New devices, not yet in the rig; the rig mutex is held by the caller,
// which supplies fresh ids.
DevicePtr MakeCamera(int id, const std::string& friendlyName, std::uint32_t serial);
DevicePtr MakeWebcam(int id, const std::string& friendlyName);
DevicePtr MakeSoftwareSource(int id, const std::string& friendlyName);
DevicePtr MakeForeignHid(int id, const std::string& parentInstanceId);

// A HID interface of a camera or foreign HID device: a unique path and
// instance ID from the rig's interface counter. Rig mutex held.
std::shared_ptr<HidInterface> MakeHidInterface(const Device& device, int flags);

// Adds the default population. Rig mutex held.
void AddDefaultPopulationLocked();

}  // namespace qel::sim
