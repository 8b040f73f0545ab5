// The media formats known by name and their subtype GUIDs.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

#include "platform/guid.h"

namespace qel {

// The subtype of the first row named exactly name ("YUY2", "MJPG", "H264",
// "IYUV", "RGB24", "RGB32", "I420", "RGB555"); none for any other name, also
// "Y16", which is known only for naming. A null name gives none.
std::optional<platform::Guid> SubtypeFromName(const char* name);

// Bytes per pixel of the format named name when it is uncompressed and
// packed (YUY2 2, RGB24 3, ...); 0 for a compressed, planar or unknown one.
int PackedBytesPerPixel(const char* name);

// Copies name into destination (size bytes, size > 0), cut to size - 1
// characters where it must be, always terminated.
void CopyFormatName(char* destination, std::size_t size, const char* name);

// Writes the subtype's name into text (80 bytes) and returns 0; for a subtype
// outside the table writes its first field in upper-case hexadecimal ("%X")
// and returns 1.
int SubtypeToName(const platform::Guid& subtype, char (&text)[80]);

}  // namespace qel
