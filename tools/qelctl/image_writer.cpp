#include "image_writer.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// stb's writer and JPEG reader, private to this file.
#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STBI_WRITE_NO_STDIO
#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_JPEG
#define STBI_NO_STDIO
#if defined(__GNUC__)
#  pragma GCC diagnostic push
#  pragma GCC diagnostic ignored "-Wunused-function"
#  pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#  pragma GCC diagnostic ignored "-Wsign-compare"
#endif
#include <stb_image.h>
#include <stb_image_write.h>
#if defined(__GNUC__)
#  pragma GCC diagnostic pop
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

// A file the encoder writes into; remembers a failed write.
struct Output {
  std::FILE* file;
  bool failed = false;
};

void WriteChunk(void* context, void* data, int size) {
  auto* out = static_cast<Output*>(context);
  if (!out->failed && std::fwrite(data, 1, static_cast<std::size_t>(size), out->file) !=
                          static_cast<std::size_t>(size)) {
    out->failed = true;
  }
}

// Runs an encoder into a new file at path; the file is removed when anything
// fails.
template <typename Encode>
bool WriteEncoded(const std::string& path, const char* kind, Encode encode, std::string& error) {
  Output out{std::fopen(path.c_str(), "wb")};
  if (out.file == nullptr) {
    error = SystemError(path);
    return false;
  }
  const bool encoded = encode(WriteChunk, &out) != 0;
  const int savedErrno = errno;
  const bool closed = std::fclose(out.file) == 0;
  if (!encoded) {
    error = path + ": the " + std::string(kind) + " encoder failed";
  } else if (out.failed || !closed) {
    errno = savedErrno;
    error = SystemError(path);
  }
  const bool ok = encoded && !out.failed && closed;
  if (!ok) std::remove(path.c_str());
  return ok;
}

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

bool DecodeJpeg(const std::uint8_t* data, std::size_t length, std::vector<std::uint8_t>& rgb,
                int& width, int& height, std::string& error) {
  if (data == nullptr || length == 0 || length > INT_MAX) {
    error = "the frame is empty or too long to decode";
    return false;
  }
  int components = 0;
  stbi_uc* pixels =
      stbi_load_from_memory(data, static_cast<int>(length), &width, &height, &components, 3);
  if (pixels == nullptr) {
    error = std::string("the frame is no JPEG image that can be decoded (") +
            stbi_failure_reason() + ")";
    return false;
  }
  rgb.assign(pixels,
             pixels + static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3);
  stbi_image_free(pixels);
  return true;
}

bool FrameToRgb(const std::uint8_t* frame, std::size_t length, const std::string& format,
                int& width, int& height, std::vector<std::uint8_t>& rgb, std::string& error) {
  if (format == "YUY2") return Yuy2ToRgb(frame, length, width, height, rgb, error);
  if (format == "MJPG") return DecodeJpeg(frame, length, rgb, width, height, error);
  error = "a picture is made of YUY2 and MJPG frames, not " + format;
  return false;
}

bool WritePng(const std::string& path, const std::uint8_t* rgb, int width, int height,
              std::string& error) {
  return WriteEncoded(
      path, "PNG",
      [&](stbi_write_func* func, void* context) {
        return stbi_write_png_to_func(func, context, width, height, 3, rgb, width * 3);
      },
      error);
}

bool WriteJpeg(const std::string& path, const std::uint8_t* rgb, int width, int height, int quality,
               std::string& error) {
  return WriteEncoded(
      path, "JPEG",
      [&](stbi_write_func* func, void* context) {
        return stbi_write_jpg_to_func(func, context, width, height, 3, rgb, quality);
      },
      error);
}

namespace {

void AppendChunk(void* context, void* data, int size) {
  auto* out = static_cast<std::vector<std::uint8_t>*>(context);
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  out->insert(out->end(), bytes, bytes + size);
}

}  // namespace

bool EncodePng(const std::uint8_t* rgb, int width, int height, std::vector<std::uint8_t>& out,
               std::string& error) {
  out.clear();
  if (stbi_write_png_to_func(AppendChunk, &out, width, height, 3, rgb, width * 3) == 0) {
    error = "the PNG encoder failed";
    return false;
  }
  return true;
}

bool EncodeJpeg(const std::uint8_t* rgb, int width, int height, int quality,
                std::vector<std::uint8_t>& out, std::string& error) {
  out.clear();
  if (stbi_write_jpg_to_func(AppendChunk, &out, width, height, 3, rgb, quality) == 0) {
    error = "the JPEG encoder failed";
    return false;
  }
  return true;
}

bool WriteBytes(const std::string& path, const std::uint8_t* data, std::size_t length,
                std::string& error) {
  return WriteEncoded(
      path, "raw",
      [&](stbi_write_func*, void* context) {
        auto* out = static_cast<Output*>(context);
        if (length > 0 && std::fwrite(data, 1, length, out->file) != length) out->failed = true;
        return 1;
      },
      error);
}

}  // namespace qelctl
