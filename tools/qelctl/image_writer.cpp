#include "image_writer.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#if defined(QELCTL_HAVE_PNG)
#  include <png.h>
#endif

namespace qelctl {
namespace {

std::uint8_t Clamp(int value) {
  return static_cast<std::uint8_t>(value < 0 ? 0 : (value > 255 ? 255 : value));
}

// One pixel in 8.8 fixed point: Y in 16..235 and U, V in 16..240 span the
// full 0..255 of each colour.
void PutRgb(std::uint8_t* out, int y, int u, int v) {
  const int c = 298 * (y - 16) + 128;
  const int d = u - 128;
  const int e = v - 128;
  out[0] = Clamp((c + 409 * e) >> 8);
  out[1] = Clamp((c - 100 * d - 208 * e) >> 8);
  out[2] = Clamp((c + 516 * d) >> 8);
}

std::string SystemError(const std::string& path) { return path + ": " + std::strerror(errno); }

}  // namespace

bool Yuy2ToRgb(const std::uint8_t* frame, std::size_t length, int width, int height,
               std::vector<std::uint8_t>& rgb, std::string& error) {
  if (width <= 0 || height <= 0 || width % 2 != 0) {
    error = "a YUY2 frame needs an even width and a height above 0, not " + std::to_string(width) +
            "x" + std::to_string(height);
    return false;
  }
  const std::size_t pixels = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
  if (frame == nullptr || length < pixels * 2) {
    error = "the frame has " + std::to_string(length) + " bytes; a " + std::to_string(width) + "x" +
            std::to_string(height) + " YUY2 frame has " + std::to_string(pixels * 2);
    return false;
  }
  rgb.resize(pixels * 3);
  std::uint8_t* out = rgb.data();
  for (std::size_t pair = 0; pair < pixels / 2; ++pair) {
    const std::uint8_t* in = frame + pair * 4;
    PutRgb(out, in[0], in[1], in[3]);
    PutRgb(out + 3, in[2], in[1], in[3]);
    out += 6;
  }
  return true;
}

#if defined(QELCTL_HAVE_PNG)

bool CanWritePng() { return true; }

bool WritePng(const std::string& path, const std::uint8_t* rgb, int width, int height,
              std::string& error) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) {
    error = SystemError(path);
    return false;
  }
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
  bool written = false;
  // libpng reports its errors by jumping back here; nothing between the
  // setjmp and the jump owns anything that needs a destructor.
  if (info != nullptr && setjmp(png_jmpbuf(png)) == 0) {
    png_init_io(png, file);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
                 PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    const std::size_t stride = static_cast<std::size_t>(width) * 3;
    for (int row = 0; row < height; ++row) {
      png_write_row(png, rgb + static_cast<std::size_t>(row) * stride);
    }
    png_write_end(png, nullptr);
    written = true;
  }
  png_destroy_write_struct(png != nullptr ? &png : nullptr, info != nullptr ? &info : nullptr);
  const bool closed = std::fclose(file) == 0;
  if (!written) {
    error = path + ": libpng could not write the image";
  } else if (!closed) {
    error = SystemError(path);
  }
  if (!written || !closed) std::remove(path.c_str());
  return written && closed;
}

#else

bool CanWritePng() { return false; }

bool WritePng(const std::string&, const std::uint8_t*, int, int, std::string& error) {
  error = "this qelctl was built without PNG support";
  return false;
}

#endif

bool WriteBytes(const std::string& path, const std::uint8_t* data, std::size_t length,
                std::string& error) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) {
    error = SystemError(path);
    return false;
  }
  const bool written = length == 0 || std::fwrite(data, 1, length, file) == length;
  const bool closed = std::fclose(file) == 0;
  if (!written || !closed) {
    error = SystemError(path);
    std::remove(path.c_str());
    return false;
  }
  return true;
}

}  // namespace qelctl
