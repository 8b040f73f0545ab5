// Line period and line offset of the "QEL" and "QEL2" sensors per open size
// and frame rate, for converting between shutter time and lines.
#pragma once

#include <cstdint>

namespace qel {

struct ShutterTiming {
  double linePeriod;  // seconds per line
  double lineOffset;  // lines
};

// The row for (size index, whole frames per second); false when none.
bool LookupShutterTiming(std::int32_t sizeIndex, std::int32_t frameRate, ShutterTiming& timing);

}  // namespace qel
