// The capture framework's media type, with its format block kept as the raw
// bytes the platform hands out. For FORMAT_VideoInfo the block starts with a
// VIDEOINFOHEADER laid out exactly as the platform lays it out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/guid.h"

namespace qel::platform {

struct Rect {
  std::int32_t left = 0, top = 0, right = 0, bottom = 0;
};

struct BitmapInfoHeader {
  std::uint32_t biSize = 40;
  std::int32_t biWidth = 0;
  std::int32_t biHeight = 0;
  std::uint16_t biPlanes = 1;
  std::uint16_t biBitCount = 0;
  std::uint32_t biCompression = 0;
  std::uint32_t biSizeImage = 0;
  std::int32_t biXPelsPerMeter = 0;
  std::int32_t biYPelsPerMeter = 0;
  std::uint32_t biClrUsed = 0;
  std::uint32_t biClrImportant = 0;
};
static_assert(sizeof(BitmapInfoHeader) == 40);

struct VideoInfoHeader {
  Rect rcSource;
  Rect rcTarget;
  std::uint32_t dwBitRate = 0;
  std::uint32_t dwBitErrorRate = 0;
  std::int64_t AvgTimePerFrame = 0;  // 100 ns units
  BitmapInfoHeader bmiHeader;
};
static_assert(sizeof(VideoInfoHeader) == 88);
static_assert(offsetof(VideoInfoHeader, AvgTimePerFrame) == 40);

// Size of VIDEO_STREAM_CONFIG_CAPS, the capability record of one stream format.
inline constexpr int kVideoStreamConfigCapsSize = 128;

struct MediaType {
  Guid majortype;
  Guid subtype;
  bool fixedSizeSamples = true;
  bool temporalCompression = false;
  std::uint32_t sampleSize = 0;
  Guid formattype;
  std::vector<std::uint8_t> format;  // the format block

  // The VIDEOINFOHEADER at the start of the format block, when the format type
  // is FORMAT_VideoInfo and the block is large enough; copies in and out so
  // that the byte vector never has to be suitably aligned.
  bool GetVideoInfo(VideoInfoHeader& out) const {
    if (!(formattype == kFormatVideoInfo) || format.size() < sizeof(VideoInfoHeader)) return false;
    std::memcpy(&out, format.data(), sizeof out);
    return true;
  }
  bool SetVideoInfo(const VideoInfoHeader& in) {
    if (!(formattype == kFormatVideoInfo) || format.size() < sizeof(VideoInfoHeader)) return false;
    std::memcpy(format.data(), &in, sizeof in);
    return true;
  }
};

}  // namespace qel::platform
