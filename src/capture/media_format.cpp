#include "capture/media_format.h"

#include <cstdio>
#include <cstring>

namespace qel {
namespace {

using platform::Fourcc;
using platform::FourccSubtype;
using platform::RgbSubtype;
using platform::Guid;

struct MediaFormat {
  const char* name;
  Guid subtype;
  bool selectableByName;
  int bytesPerPixel;  // of an uncompressed packed format; 0 for compressed or planar ones
};

constexpr MediaFormat kMediaFormatTable[] = {
    {"YUY2", FourccSubtype(Fourcc('Y', 'U', 'Y', '2')), true, 2},
    {"MJPG", FourccSubtype(Fourcc('M', 'J', 'P', 'G')), true, 0},
    {"H264", FourccSubtype(Fourcc('H', '2', '6', '4')), true, 0},
    {"IYUV", FourccSubtype(Fourcc('I', 'Y', 'U', 'V')), true, 0},
    {"RGB24", RgbSubtype(0xE436EB7D), true, 3},
    {"RGB32", RgbSubtype(0xE436EB7E), true, 4},
    {"I420", FourccSubtype(Fourcc('I', '4', '2', '0')), true, 0},
    {"RGB555", RgbSubtype(0xE436EB7C), true, 2},
    {"Y16", FourccSubtype(Fourcc('Y', '1', '6', ' ')), false, 2},
};

}  // namespace

std::optional<Guid> SubtypeFromName(const char* name) {
  if (name == nullptr) return std::nullopt;
  for (const MediaFormat& format : kMediaFormatTable) {
    if (format.selectableByName && std::strcmp(format.name, name) == 0) return format.subtype;
  }
  return std::nullopt;
}

int PackedBytesPerPixel(const char* name) {
  if (name == nullptr) return 0;
  for (const MediaFormat& format : kMediaFormatTable) {
    if (std::strcmp(format.name, name) == 0) return format.bytesPerPixel;
  }
  return 0;
}

void CopyFormatName(char* destination, std::size_t size, const char* name) {
  const std::size_t length = strnlen(name, size - 1);
  std::memcpy(destination, name, length);
  destination[length] = '\0';
}

int SubtypeToName(const Guid& subtype, char (&text)[80]) {
  for (const MediaFormat& format : kMediaFormatTable) {
    if (format.subtype == subtype) {
      std::snprintf(text, sizeof text, "%s", format.name);
      return 0;
    }
  }
  std::snprintf(text, sizeof text, "%X", static_cast<unsigned>(subtype.data1));
  return 1;
}

}  // namespace qel
