// Writing and reading the video-class properties of a running capture by
// their index 0..16 (core/video_property_index.h). Values cross as doubles,
// reach the camera as 32-bit integers truncated toward zero, and always
// carry the manual flag.
//
// Thread safety: any thread; the call holds the capture context's objects
// lock, so a teardown of the capture waits for it and never pulls the filter
// away from under it.
#pragma once

#include <cstdint>

namespace qel {

inline constexpr long kPropertyFlagManual = 2;

// Result codes of WriteVideoProperty.
enum PropertyWriteResult : std::int32_t {
  kPropertyWritten = 0,
  kPropertyNotRunning = 1,       // capture index outside 0..9 or its capture not running
  kPropertyBadIndex = 2,         // property index outside 0..16
  kPropertyUnsupported = 3,      // the camera reported no range for it
  kPropertyRangeFailed = 4,      // the range query failed
  kPropertySetFailed = 5,        // the camera refused the write
  kPropertyOutOfRangeNoGet = 6,  // outside the range, and reading the current value failed
  kPropertyNoInterface = 7,      // the filter has no such property interface
  kPropertyOutOfRange = 8,       // outside the range
};

std::int32_t WriteVideoProperty(std::int32_t captureIndex, std::int32_t propertyIndex,
                                const double* value);
// 0 with the current value in *value, 1 on any failure.
std::int32_t ReadVideoProperty(std::int32_t captureIndex, std::int32_t propertyIndex,
                               double* value);
// 0 with the device's default for the property in *value, 1 on any failure.
std::int32_t ReadVideoPropertyDefault(std::int32_t captureIndex, std::int32_t propertyIndex,
                                      double* value);

}  // namespace qel
