// What the settings list needs of the video-class controls beyond their
// exports (property_controls.cpp): the device's default of each.
#pragma once

#include <cstdint>

namespace qel {

enum class VideoControl { kLed, kGain, kRawGain, kExposure, kCameraNumber, kColorBar };

// The device's default for a control of the open camera under key, in the
// control's own units (the gain scale, not the raw gain); false with a
// reason when the device gives none.
bool VideoControlDefault(std::int32_t key, VideoControl control, std::int32_t& value);

}  // namespace qel
