#include "platform/virtual/jpeg_encoder.h"

// The writer's functions stay private to this file.
#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STBI_WRITE_NO_STDIO
#if defined(__GNUC__)
#  pragma GCC diagnostic push
#  pragma GCC diagnostic ignored "-Wunused-function"
#  pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#endif
#include <stb_image_write.h>
#if defined(__GNUC__)
#  pragma GCC diagnostic pop
#endif

namespace qel::sim {

namespace {

void Append(void* context, void* data, int size) {
  auto* out = static_cast<std::vector<std::uint8_t>*>(context);
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  out->insert(out->end(), bytes, bytes + size);
}

}  // namespace

bool EncodeJpeg(const std::uint8_t* rgb, int width, int height, std::vector<std::uint8_t>& out) {
  out.clear();
  return stbi_write_jpg_to_func(Append, &out, width, height, 3, rgb, kJpegQuality) != 0;
}

}  // namespace qel::sim
