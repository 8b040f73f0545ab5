// Pixel formats between V4L2's four-character codes and the capture
// framework's subtypes, and the media types and capability records built
// from a node's formats, sizes and frame intervals.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "platform/guid.h"
#include "platform/media_type.h"

namespace qel::platform::linux_hw {

class VideoDevice;

// The subtype of a V4L2 pixel format: the same code for most, the framework's
// own names for the few it spells otherwise (YUYV is YUY2, the RGB layouts
// have their own GUIDs).
Guid SubtypeOfPixelFormat(std::uint32_t pixelFormat);
// The V4L2 pixel format of a subtype; none for a subtype no node can give.
std::optional<std::uint32_t> PixelFormatOfSubtype(const Guid& subtype);

// 100 ns units of a V4L2 interval (seconds as a fraction), rounded; 0 for an
// empty fraction.
std::int64_t IntervalUnits(std::uint32_t numerator, std::uint32_t denominator);

// One capability: a format at one size with the frame intervals offered there.
struct VideoCapability {
  std::uint32_t pixelFormat = 0;
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::uint32_t sizeImage = 0;
  std::int64_t defaultInterval = 0;  // the first listed, 100 ns units
  std::int64_t minInterval = 0;
  std::int64_t maxInterval = 0;
  // The discrete intervals as the driver gives them (seconds as fractions),
  // so that a listed rate is set exactly as listed, not as its rounding.
  struct Fraction {
    std::uint32_t numerator = 0;
    std::uint32_t denominator = 0;
  };
  std::vector<Fraction> listed;
};

// Every format at every discrete size (the largest size of a stepwise or
// continuous range), in the driver's order.
std::vector<VideoCapability> ListCapabilities(const VideoDevice& device);

// The media type the framework describes a format with (FORMAT_VideoInfo).
MediaType MakeVideoType(std::uint32_t pixelFormat, std::uint32_t width, std::uint32_t height,
                        std::uint32_t sizeImage, std::int64_t interval);
// The 128-byte capability record of one capability.
void WriteStreamConfigCaps(const VideoCapability& capability, void* caps);

}  // namespace qel::platform::linux_hw
