#include "platform/linux/video_formats.h"

#include <linux/videodev2.h>

#include <cmath>
#include <cstring>

#include "platform/linux/video_device.h"

namespace qel::platform::linux_hw {

namespace {

struct Renamed {
  std::uint32_t pixelFormat;
  Guid subtype;
  std::uint16_t bitCount;
  bool rgb;  // biCompression is BI_RGB (0)
};

// Formats the framework names differently; the first row of a subtype is
// the pixel format it is set as.
constexpr Renamed kRenamed[] = {
    {V4L2_PIX_FMT_YUYV, FourccSubtype(Fourcc('Y', 'U', 'Y', '2')), 16, false},
    {V4L2_PIX_FMT_YUV420, FourccSubtype(Fourcc('I', '4', '2', '0')), 12, false},
    {V4L2_PIX_FMT_YUV420, FourccSubtype(Fourcc('I', 'Y', 'U', 'V')), 12, false},
    {V4L2_PIX_FMT_BGR24, RgbSubtype(0xE436EB7D), 24, true},
    {V4L2_PIX_FMT_XBGR32, RgbSubtype(0xE436EB7E), 32, true},
    {V4L2_PIX_FMT_BGR32, RgbSubtype(0xE436EB7E), 32, true},
    {V4L2_PIX_FMT_XRGB555, RgbSubtype(0xE436EB7C), 16, true},
};

// Bits per pixel of the codes kept as they are; 0 for compressed ones.
std::uint16_t PlainBitCount(std::uint32_t pixelFormat) {
  switch (pixelFormat) {
    case V4L2_PIX_FMT_UYVY:
    case V4L2_PIX_FMT_Y16:
      return 16;
    case V4L2_PIX_FMT_GREY:
      return 8;
    case V4L2_PIX_FMT_NV12:
      return 12;
    default:
      return 0;
  }
}

const Renamed* FindRenamed(std::uint32_t pixelFormat) {
  for (const Renamed& row : kRenamed) {
    if (row.pixelFormat == pixelFormat) return &row;
  }
  return nullptr;
}

// The interval range of one format at one size.
void ReadIntervals(const VideoDevice& device, VideoCapability& capability) {
  v4l2_frmivalenum interval{};
  interval.pixel_format = capability.pixelFormat;
  interval.width = capability.width;
  interval.height = capability.height;
  for (interval.index = 0; device.Ioctl(VIDIOC_ENUM_FRAMEINTERVALS, &interval) == 0;
       ++interval.index) {
    std::int64_t low = 0;
    std::int64_t high = 0;
    if (interval.type == V4L2_FRMIVAL_TYPE_DISCRETE) {
      low = high = IntervalUnits(interval.discrete.numerator, interval.discrete.denominator);
      capability.listed.push_back({interval.discrete.numerator, interval.discrete.denominator});
    } else {
      low = IntervalUnits(interval.stepwise.min.numerator, interval.stepwise.min.denominator);
      high = IntervalUnits(interval.stepwise.max.numerator, interval.stepwise.max.denominator);
    }
    if (low <= 0 || high <= 0) continue;
    if (capability.defaultInterval == 0) {
      capability.defaultInterval = low;
      capability.minInterval = low;
      capability.maxInterval = high;
    }
    capability.minInterval = std::min(capability.minInterval, low);
    capability.maxInterval = std::max(capability.maxInterval, high);
    if (interval.type != V4L2_FRMIVAL_TYPE_DISCRETE) break;
  }
}

// The image size the driver gives a format at a size, as it would set it.
std::uint32_t TriedSizeImage(const VideoDevice& device, std::uint32_t pixelFormat,
                             std::uint32_t width, std::uint32_t height) {
  v4l2_format format{};
  format.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
  format.fmt.pix.pixelformat = pixelFormat;
  format.fmt.pix.width = width;
  format.fmt.pix.height = height;
  format.fmt.pix.field = V4L2_FIELD_ANY;
  if (device.Ioctl(VIDIOC_TRY_FMT, &format) != 0) return 0;
  return format.fmt.pix.sizeimage;
}

void AddCapability(const VideoDevice& device, std::uint32_t pixelFormat, std::uint32_t width,
                   std::uint32_t height, std::vector<VideoCapability>& capabilities) {
  VideoCapability capability;
  capability.pixelFormat = pixelFormat;
  capability.width = width;
  capability.height = height;
  const Renamed* renamed = FindRenamed(pixelFormat);
  const std::uint16_t bits = renamed ? renamed->bitCount : PlainBitCount(pixelFormat);
  capability.sizeImage = bits != 0
                             ? static_cast<std::uint32_t>(std::uint64_t{width} * height * bits / 8)
                             : TriedSizeImage(device, pixelFormat, width, height);
  ReadIntervals(device, capability);
  capabilities.push_back(capability);
}

}  // namespace

Guid SubtypeOfPixelFormat(std::uint32_t pixelFormat) {
  if (const Renamed* renamed = FindRenamed(pixelFormat)) return renamed->subtype;
  return FourccSubtype(pixelFormat);
}

std::optional<std::uint32_t> PixelFormatOfSubtype(const Guid& subtype) {
  for (const Renamed& row : kRenamed) {
    if (row.subtype == subtype) return row.pixelFormat;
  }
  const Guid fourcc = FourccSubtype(subtype.data1);
  if (!(fourcc == subtype)) return std::nullopt;
  // A code the framework spells its own way is reached only by its name.
  if (FindRenamed(subtype.data1) != nullptr) return std::nullopt;
  return subtype.data1;
}

std::int64_t IntervalUnits(std::uint32_t numerator, std::uint32_t denominator) {
  if (numerator == 0 || denominator == 0) return 0;
  return static_cast<std::int64_t>(
      std::llround(10'000'000.0 * static_cast<double>(numerator) / denominator));
}

std::vector<VideoCapability> ListCapabilities(const VideoDevice& device) {
  std::vector<VideoCapability> capabilities;
  v4l2_fmtdesc format{};
  format.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
  for (format.index = 0; device.Ioctl(VIDIOC_ENUM_FMT, &format) == 0; ++format.index) {
    v4l2_frmsizeenum size{};
    size.pixel_format = format.pixelformat;
    for (size.index = 0; device.Ioctl(VIDIOC_ENUM_FRAMESIZES, &size) == 0; ++size.index) {
      if (size.type == V4L2_FRMSIZE_TYPE_DISCRETE) {
        AddCapability(device, format.pixelformat, size.discrete.width, size.discrete.height,
                      capabilities);
        continue;
      }
      AddCapability(device, format.pixelformat, size.stepwise.max_width, size.stepwise.max_height,
                    capabilities);
      break;
    }
  }
  return capabilities;
}

MediaType MakeVideoType(std::uint32_t pixelFormat, std::uint32_t width, std::uint32_t height,
                        std::uint32_t sizeImage, std::int64_t interval) {
  const Renamed* renamed = FindRenamed(pixelFormat);
  const std::uint16_t bits = renamed ? renamed->bitCount : PlainBitCount(pixelFormat);
  MediaType type;
  type.majortype = kMediaTypeVideo;
  type.subtype = SubtypeOfPixelFormat(pixelFormat);
  type.fixedSizeSamples = bits != 0;
  type.temporalCompression = false;
  type.sampleSize = sizeImage;
  type.formattype = kFormatVideoInfo;
  type.format.assign(sizeof(VideoInfoHeader), 0);
  VideoInfoHeader video;
  video.AvgTimePerFrame = interval;
  video.bmiHeader.biWidth = static_cast<std::int32_t>(width);
  video.bmiHeader.biHeight = static_cast<std::int32_t>(height);
  video.bmiHeader.biBitCount = bits != 0 ? bits : 24;
  video.bmiHeader.biCompression = renamed && renamed->rgb ? 0 : type.subtype.data1;
  video.bmiHeader.biSizeImage = sizeImage;
  if (interval > 0) {
    video.dwBitRate = static_cast<std::uint32_t>(
        std::min<double>(static_cast<double>(sizeImage) * 8.0 * 1e7 / interval, UINT32_MAX));
  }
  type.SetVideoInfo(video);
  return type;
}

// VIDEO_STREAM_CONFIG_CAPS: the format GUID, then sizes and granularities,
// then the interval range at byte 104 and the bit rates at 120.
void WriteStreamConfigCaps(const VideoCapability& capability, void* caps) {
  auto* bytes = static_cast<std::uint8_t*>(caps);
  std::memset(bytes, 0, kVideoStreamConfigCapsSize);
  auto put32 = [bytes](std::size_t offset, std::uint32_t value) {
    std::memcpy(bytes + offset, &value, sizeof value);
  };
  auto put64 = [bytes](std::size_t offset, std::int64_t value) {
    std::memcpy(bytes + offset, &value, sizeof value);
  };
  std::memcpy(bytes, &kFormatVideoInfo, sizeof kFormatVideoInfo);
  const std::uint32_t sizes[] = {20, 28, 36, 60, 68};  // input, crop min/max, output min/max
  for (std::uint32_t offset : sizes) {
    put32(offset, capability.width);
    put32(offset + 4, capability.height);
  }
  put64(104, capability.minInterval);
  put64(112, capability.maxInterval);
  const auto bitRate = [&](std::int64_t interval) -> std::uint32_t {
    if (interval <= 0) return 0;
    return static_cast<std::uint32_t>(std::min<double>(
        capability.sizeImage * 8.0 * 1e7 / static_cast<double>(interval), UINT32_MAX));
  };
  put32(120, bitRate(capability.maxInterval));
  put32(124, bitRate(capability.minInterval));
}

}  // namespace qel::platform::linux_hw
