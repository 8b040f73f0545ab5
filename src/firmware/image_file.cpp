#include "firmware/image_file.h"

namespace qel {

std::unique_ptr<std::vector<std::uint8_t>> ReadImage(std::FILE* file, std::uint32_t& size) {
  if (file == nullptr) return nullptr;
  long length = -1;
  if (std::fseek(file, 0, SEEK_END) == 0) length = std::ftell(file);
  // An empty image would have the camera erase its first memory block and
  // then report success with nothing written.
  if (length <= 0 || static_cast<unsigned long>(length) > kLargestImage ||
      std::fseek(file, 0, SEEK_SET) != 0) {
    return nullptr;
  }
  const auto bytes = static_cast<std::size_t>(length);
  auto image = std::make_unique<std::vector<std::uint8_t>>(bytes + kImagePadding, 0);
  // A file that shrank, or a read error, must not send zeros as firmware.
  if (std::fread(image->data(), 1, bytes, file) != bytes) return nullptr;
  size = static_cast<std::uint32_t>(bytes);
  return image;
}

}  // namespace qel
