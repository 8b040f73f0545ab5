// IAMVideoProcAmp and IAMCameraControl of a capture filter, on the device's
// 17 properties: the processing amplifier's 0..9 at indices 0..9, the camera
// control's 0..6 at indices 10..16.
#pragma once

#include <memory>

#include "platform/platform.h"
#include "platform/virtual/device.h"

namespace qel::sim {

// firstIndex: 0 for the processing amplifier, 10 for the camera control.
std::unique_ptr<platform::VideoPropertySet> MakeVideoPropertySet(DevicePtr device, int firstIndex);

}  // namespace qel::sim
