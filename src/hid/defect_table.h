// The six defect tables inside the camera's data block: one per camera
// number (1, 2) and size index (0..2), 20 points of x then y, each unsigned
// 16-bit little-endian; 0xFFFF marks an empty coordinate.
#pragma once

#include <cstddef>
#include <cstdint>

#include "hid/data_block.h"
#include "qel/qel.h"

namespace qel {

inline constexpr std::size_t kDefectPoints = QEL_DEFECT_POINTS;
inline constexpr std::size_t kDefectTablesOffset = 16;
inline constexpr std::size_t kDefectTableSize = kDefectPoints * 4;
inline constexpr std::uint16_t kEmptyCoordinate = 0xFFFF;

// Offset of the table for cameraIndex (the camera number less one, 0 or 1)
// and sizeIndex (0..2).
constexpr std::size_t DefectTableOffset(int cameraIndex, int sizeIndex) {
  return kDefectTablesOffset +
         kDefectTableSize * static_cast<std::size_t>(3 * cameraIndex + sizeIndex);
}

QelDefectPoint ReadDefectPoint(const DataBlock& block, std::size_t tableOffset, std::size_t point);
void WriteDefectPoint(DataBlock& block, std::size_t tableOffset, std::size_t point,
                      QelDefectPoint value);

}  // namespace qel
