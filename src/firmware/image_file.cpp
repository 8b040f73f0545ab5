#include "firmware/image_file.h"

#include "core/last_error.h"

namespace qel {

std::unique_ptr<std::vector<std::uint8_t>> ReadImage(std::FILE* file, std::uint32_t& size,
                                                     const char* name) {
  if (file == nullptr) return (Fail(ErrorCode::kFile, "%s is not open", name), nullptr);
  long length = -1;
  if (std::fseek(file, 0, SEEK_END) == 0) length = std::ftell(file);
  // An empty image would have the camera erase its first memory block and
  // then report success with nothing written.
  if (length < 0) return (Fail(ErrorCode::kFile, "the size of %s cannot be told", name), nullptr);
  if (length == 0) return (Fail(ErrorCode::kFile, "%s is empty", name), nullptr);
  if (static_cast<unsigned long>(length) > kLargestImage) {
    return (Fail(ErrorCode::kFile, "%s has %ld bytes, more than the %u the camera can hold", name,
                 length, static_cast<unsigned>(kLargestImage)),
            nullptr);
  }
  if (std::fseek(file, 0, SEEK_SET) != 0) {
    return (Fail(ErrorCode::kFile, "%s cannot be read from its start", name), nullptr);
  }
  const auto bytes = static_cast<std::size_t>(length);
  auto image = std::make_unique<std::vector<std::uint8_t>>(bytes + kImagePadding, 0);
  // A file that shrank, or a read error, must not send zeros as firmware.
  if (std::fread(image->data(), 1, bytes, file) != bytes) {
    return (Fail(ErrorCode::kFile, "%s could not be read whole (%ld bytes)", name, length),
            nullptr);
  }
  size = static_cast<std::uint32_t>(bytes);
  return image;
}

}  // namespace qel
