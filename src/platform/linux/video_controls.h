// The framework's video properties (a processing amplifier's 0..9 and a
// camera control's 0..6) on a node's V4L2 controls: which control each is,
// its automatic companion, and the one conversion of units each needs.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/platform.h"

namespace qel::platform::linux_hw {

class VideoDevice;

enum class PropertyFamily { kVideoProcAmp, kCameraControl };

std::unique_ptr<VideoPropertySet> MakeVideoPropertySet(std::shared_ptr<VideoDevice> device,
                                                       PropertyFamily family);

// Exposure: the framework's log2 seconds (-13..0 is 1/8192 s .. 1 s) and the
// control's 100 microsecond units. The table holds the settings the cameras
// use, so that a measurement on one corrects it in one place; values past it
// follow the same rule.
std::int32_t ExposureToControl(long log2Seconds);
long ExposureFromControl(std::int32_t units);

}  // namespace qel::platform::linux_hw
