// The software correction of delivered frames: each listed defective pixel
// is overwritten with the pixel two rows and two columns away, toward the
// frame's centre.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/camera_table.h"

namespace qel {

// Corrects frame (frameLength bytes, taken as rows of 16-bit units of the
// model's frame width) from the slot's table for its camera number and
// sizeIndex. Points outside the frame, and points whose source lies outside
// it or beyond frameLength, are skipped. True when it ran.
bool CorrectDefectPixels(const CameraSlot& slot, std::int32_t sizeIndex, std::uint8_t* frame,
                         std::size_t frameLength);

}  // namespace qel
