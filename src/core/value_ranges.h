// The fixed ranges of the camera settings: one definition for the functions
// that check a value and for the settings list that describes it. Ranges that
// depend on the camera itself (raw gains, shutter lines) are answered by
// their own functions.
#pragma once

#include <cstdint>

namespace qel {

struct IntRange {
  std::int32_t min;
  std::int32_t max;
};

inline constexpr IntRange kLedRange{0, 64};
inline constexpr IntRange kGainScaleRange{0, 240};
inline constexpr IntRange kExposureRange{-13, 0};  // log2 seconds
inline constexpr IntRange kCameraNumberRange{1, 2};
inline constexpr IntRange kSwitchRange{0, 1};
inline constexpr IntRange kAnalogGainRange{0, 15};
inline constexpr IntRange kDigitalGainScaleRange{0, 4095};
inline constexpr IntRange kGpioByteRange{0, 0xFF};
inline constexpr double kShortestShutterTime = 0.0001;  // seconds
inline constexpr double kLongestShutterTime = 1.0;

}  // namespace qel
