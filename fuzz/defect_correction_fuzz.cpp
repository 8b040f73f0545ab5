// Defect correction with arbitrary tables, models, camera numbers, size
// indices and frame lengths: it must never touch a byte outside the frame.
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "core/camera_table.h"
#include "hid/data_block.h"
#include "hid/defect_correction.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 8) return 0;
  qel::CameraSlot slot;
  slot.model = static_cast<qel::CameraModel>(static_cast<std::int8_t>(data[0]) % 4 - 1);
  slot.cameraNumber = static_cast<std::int8_t>(data[1]) % 4;
  const std::int32_t sizeIndex = static_cast<std::int8_t>(data[2]) % 4;
  std::uint32_t frameLength = 0;
  std::memcpy(&frameLength, data + 3, 4);
  frameLength %= 1920u * 1080u * 2u + 16u;
  data += 7;
  size -= 7;

  auto block = std::make_shared<qel::DataBlock>();
  std::memcpy(block->bytes.data(), data, std::min(size, block->bytes.size()));
  slot.dataBlock = block;

  // The frame is exactly frameLength bytes, so the sanitizer sees any
  // access past it.
  std::vector<std::uint8_t> frame(frameLength);
  qel::CorrectDefectPixels(slot, sizeIndex, frame.data(), frame.size());
  return 0;
}
