#include "hid/defect_correction.h"

#include <algorithm>
#include <cstring>

#include "core/camera_model.h"
#include "hid/defect_table.h"

namespace qel {

bool CorrectDefectPixels(const CameraSlot& slot, std::int32_t sizeIndex, std::uint8_t* frame,
                         std::size_t frameLength) {
  // The slot's block is immutable and shared: a table replaced meanwhile by
  // another thread leaves this correction's copy whole.
  const std::shared_ptr<const DataBlock> block = slot.dataBlock;
  if (!block || frame == nullptr) return false;
  if (slot.cameraNumber != 1 && slot.cameraNumber != 2) return false;
  FrameSize size{};
  if (!LookupFrameSize(slot.model, sizeIndex, size)) return false;

  const std::int64_t width = size.width;
  const std::int64_t height = size.height;
  // Only whole 16-bit units of the copied frame, and none past the frame.
  const std::int64_t units =
      std::min<std::int64_t>(static_cast<std::int64_t>(frameLength / 2), width * height);
  const std::size_t table = DefectTableOffset(slot.cameraNumber - 1, sizeIndex);
  for (std::size_t point = 0; point < kDefectPoints; ++point) {
    const QelDefectPoint defect = ReadDefectPoint(*block, table, point);
    const std::int64_t x = defect.x;
    const std::int64_t y = defect.y;
    if (x >= width || y >= height) continue;  // includes empty coordinates
    const std::int64_t sourceRow = x < width / 2 ? y + 2 : y - 2;
    const std::int64_t sourceColumn = y < height / 2 ? x + 2 : x - 2;
    const std::int64_t target = y * width + x;
    const std::int64_t source = sourceRow * width + sourceColumn;
    if (source < 0 || source >= units || target >= units) continue;
    std::memcpy(frame + 2 * target, frame + 2 * source, 2);
  }
  return true;
}

}  // namespace qel
