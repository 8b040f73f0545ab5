// Media subtypes the rig knows, frame sizes per subtype, and the media types
// and capability records the capture pin hands out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/guid.h"
#include "platform/media_type.h"
#include "platform/virtual/device.h"

namespace qel::sim {

// The subtype of a name ("YUY2", "RGB24", ...) or of "0x%08X" (a FOURCC).
std::optional<platform::Guid> ParseSubtype(std::string_view text);
// The name of a subtype, or "0x%08X" of its first field.
std::string SubtypeName(const platform::Guid& subtype);
// Bytes of one full frame of the format (compressed subtypes: a typical
// compressed size).
std::size_t NominalFrameLength(const Capability& format);
bool IsCompressed(const platform::Guid& subtype);

// The media type of a format, with a VIDEOINFOHEADER (or VIDEOINFOHEADER2
// when videoInfo2) format block.
platform::MediaType MakeMediaType(const Capability& format, bool videoInfo2);
// Size and frame interval of a media type with either header; false when the
// type carries neither.
bool ReadVideoHeader(const platform::MediaType& type, std::int32_t& width, std::int32_t& height,
                     std::int64_t& interval);
// The VIDEO_STREAM_CONFIG_CAPS record of a capability (128 bytes).
void WriteStreamCaps(const Capability& format, void* caps);

}  // namespace qel::sim
