#include "platform/virtual/media_formats.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace qel::sim {

using platform::Fourcc;
using platform::FourccSubtype;
using platform::RgbSubtype;
using platform::Guid;

namespace {

struct SubtypeInfo {
  std::string_view name;
  Guid guid;
  std::uint32_t compression;  // biCompression: FOURCC, 0 for RGB
  std::uint16_t bitCount;
  // Frame length = width * height * num / den.
  std::size_t num;
  std::size_t den;
  bool compressed;
};

const std::array<SubtypeInfo, 9> kSubtypes = {{
    {"YUY2", FourccSubtype(Fourcc('Y', 'U', 'Y', '2')), Fourcc('Y', 'U', 'Y', '2'), 16, 2, 1,
     false},
    {"MJPG", FourccSubtype(Fourcc('M', 'J', 'P', 'G')), Fourcc('M', 'J', 'P', 'G'), 24, 1, 4, true},
    {"H264", FourccSubtype(Fourcc('H', '2', '6', '4')), Fourcc('H', '2', '6', '4'), 24, 1, 4, true},
    {"IYUV", FourccSubtype(Fourcc('I', 'Y', 'U', 'V')), Fourcc('I', 'Y', 'U', 'V'), 12, 3, 2,
     false},
    {"RGB24", RgbSubtype(0xE436EB7D), 0, 24, 3, 1, false},
    {"RGB32", RgbSubtype(0xE436EB7E), 0, 32, 4, 1, false},
    {"I420", FourccSubtype(Fourcc('I', '4', '2', '0')), Fourcc('I', '4', '2', '0'), 12, 3, 2,
     false},
    {"RGB555", RgbSubtype(0xE436EB7C), 0, 16, 2, 1, false},
    {"Y16", FourccSubtype(Fourcc('Y', '1', '6', ' ')), Fourcc('Y', '1', '6', ' '), 16, 2, 1, false},
}};

const SubtypeInfo* Find(const Guid& subtype) {
  for (const SubtypeInfo& info : kSubtypes) {
    if (info.guid == subtype) return &info;
  }
  return nullptr;
}

void Put(void* base, std::size_t offset, const void* value, std::size_t size) {
  std::memcpy(static_cast<std::uint8_t*>(base) + offset, value, size);
}

template <typename T>
void PutValue(void* base, std::size_t offset, T value) {
  Put(base, offset, &value, sizeof value);
}

// VIDEOINFOHEADER2: the same first 48 bytes as VIDEOINFOHEADER, six more
// 32-bit fields, then the bitmap header.
constexpr std::size_t kVideoInfo2Size = 112;
constexpr std::size_t kVideoInfo2BitmapOffset = 72;

}  // namespace

std::optional<Guid> ParseSubtype(std::string_view text) {
  for (const SubtypeInfo& info : kSubtypes) {
    if (info.name == text) return info.guid;
  }
  if (text.size() == 10 && (text.substr(0, 2) == "0x" || text.substr(0, 2) == "0X")) {
    std::string digits(text.substr(2));
    char* end = nullptr;
    unsigned long value = std::strtoul(digits.c_str(), &end, 16);
    if (end != nullptr && *end == '\0') return FourccSubtype(static_cast<std::uint32_t>(value));
  }
  return std::nullopt;
}

std::string SubtypeName(const Guid& subtype) {
  if (const SubtypeInfo* info = Find(subtype)) return std::string(info->name);
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(subtype.data1));
  return text;
}

bool IsCompressed(const Guid& subtype) {
  const SubtypeInfo* info = Find(subtype);
  return info != nullptr && info->compressed;
}

std::size_t NominalFrameLength(const Capability& format) {
  std::size_t pixels = static_cast<std::size_t>(std::abs(format.width)) *
                       static_cast<std::size_t>(std::abs(format.height));
  const SubtypeInfo* info = Find(format.subtype);
  if (info == nullptr) return pixels * 2;
  return pixels * info->num / info->den;
}

platform::MediaType MakeMediaType(const Capability& format, bool videoInfo2) {
  const SubtypeInfo* info = Find(format.subtype);
  platform::BitmapInfoHeader bmi;
  bmi.biWidth = format.width;
  bmi.biHeight = format.height;
  bmi.biBitCount = info ? info->bitCount : 16;
  bmi.biCompression = info ? info->compression : format.subtype.data1;
  bool compressed = info != nullptr && info->compressed;
  // Compressed frames vary; the header gives the largest size a frame can take.
  std::size_t size = compressed ? NominalFrameLength(format) * 8 : NominalFrameLength(format);
  bmi.biSizeImage = static_cast<std::uint32_t>(size);

  platform::MediaType type;
  type.majortype = platform::kMediaTypeVideo;
  type.subtype = format.subtype;
  type.fixedSizeSamples = !compressed;
  type.temporalCompression = false;
  type.sampleSize = compressed ? 0 : bmi.biSizeImage;
  platform::Rect rect{0, 0, format.width, std::abs(format.height)};
  std::uint32_t bitRate = static_cast<std::uint32_t>(
      format.interval > 0 ? static_cast<double>(size) * 8 * 1e7 / format.interval : 0);
  if (!videoInfo2) {
    type.formattype = platform::kFormatVideoInfo;
    platform::VideoInfoHeader vih;
    vih.rcSource = rect;
    vih.rcTarget = rect;
    vih.dwBitRate = bitRate;
    vih.AvgTimePerFrame = format.interval;
    vih.bmiHeader = bmi;
    type.format.resize(sizeof vih);
    type.SetVideoInfo(vih);
  } else {
    type.formattype = platform::kFormatVideoInfo2;
    type.format.assign(kVideoInfo2Size, 0);
    void* p = type.format.data();
    Put(p, 0, &rect, sizeof rect);
    Put(p, 16, &rect, sizeof rect);
    PutValue<std::uint32_t>(p, 32, bitRate);
    PutValue<std::int64_t>(p, 40, format.interval);
    PutValue<std::uint32_t>(p, 56, static_cast<std::uint32_t>(format.width));  // aspect X
    PutValue<std::uint32_t>(p, 60, static_cast<std::uint32_t>(std::abs(format.height)));
    Put(p, kVideoInfo2BitmapOffset, &bmi, sizeof bmi);
  }
  return type;
}

bool ReadVideoHeader(const platform::MediaType& type, std::int32_t& width, std::int32_t& height,
                     std::int64_t& interval) {
  std::size_t bitmapOffset;
  if (type.formattype == platform::kFormatVideoInfo &&
      type.format.size() >= sizeof(platform::VideoInfoHeader)) {
    bitmapOffset = offsetof(platform::VideoInfoHeader, bmiHeader);
  } else if (type.formattype == platform::kFormatVideoInfo2 &&
             type.format.size() >= kVideoInfo2Size) {
    bitmapOffset = kVideoInfo2BitmapOffset;
  } else {
    return false;
  }
  platform::BitmapInfoHeader bmi;
  std::memcpy(&bmi, type.format.data() + bitmapOffset, sizeof bmi);
  std::memcpy(&interval, type.format.data() + offsetof(platform::VideoInfoHeader, AvgTimePerFrame),
              sizeof interval);
  width = bmi.biWidth;
  height = bmi.biHeight;
  return true;
}

void WriteStreamCaps(const Capability& format, void* caps) {
  std::memset(caps, 0, platform::kVideoStreamConfigCapsSize);
  const Guid& formatType =
      format.videoInfo ? platform::kFormatVideoInfo : platform::kFormatVideoInfo2;
  Put(caps, 0, &formatType, sizeof formatType);
  // VideoStandard 0 at 16; then the sizes as (cx, cy) pairs.
  std::int32_t size[2] = {format.width, std::abs(format.height)};
  for (std::size_t offset : {20u, 28u, 36u, 60u, 68u}) Put(caps, offset, size, sizeof size);
  // Granularities and alignments of 1 (offsets 44..59 and 76..83).
  for (std::size_t offset = 44; offset < 60; offset += 4) PutValue<std::int32_t>(caps, offset, 1);
  PutValue<std::int32_t>(caps, 76, 1);
  PutValue<std::int32_t>(caps, 80, 1);
  PutValue<std::int64_t>(caps, 104, format.interval);  // MinFrameInterval
  PutValue<std::int64_t>(caps, 112, format.interval);  // MaxFrameInterval
  std::int32_t bits =
      format.interval > 0
          ? static_cast<std::int32_t>(std::min<double>(
                static_cast<double>(NominalFrameLength(format)) * 8 * 1e7 / format.interval,
                2147483647.0))
          : 0;
  PutValue<std::int32_t>(caps, 120, bits);
  PutValue<std::int32_t>(caps, 124, bits);
}

}  // namespace qel::sim
