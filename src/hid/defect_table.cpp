#include "hid/defect_table.h"

namespace qel {
namespace {

std::uint16_t ReadLE16(const DataBlock& block, std::size_t offset) {
  return static_cast<std::uint16_t>(block.bytes[offset] | block.bytes[offset + 1] << 8);
}

void WriteLE16(DataBlock& block, std::size_t offset, std::uint16_t value) {
  block.bytes[offset] = static_cast<std::uint8_t>(value);
  block.bytes[offset + 1] = static_cast<std::uint8_t>(value >> 8);
}

}  // namespace

QelDefectPoint ReadDefectPoint(const DataBlock& block, std::size_t tableOffset, std::size_t point) {
  const std::size_t offset = tableOffset + 4 * point;
  return QelDefectPoint{ReadLE16(block, offset), ReadLE16(block, offset + 2)};
}

void WriteDefectPoint(DataBlock& block, std::size_t tableOffset, std::size_t point,
                      QelDefectPoint value) {
  const std::size_t offset = tableOffset + 4 * point;
  WriteLE16(block, offset, value.x);
  WriteLE16(block, offset + 2, value.y);
}

}  // namespace qel
