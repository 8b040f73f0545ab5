// Turns a frame into the JPEG picture the browser shows: an MJPG frame at
// full size goes out as delivered; a YUY2 frame, or a frame to be scaled
// down, is encoded. libturbojpeg encodes where the build has it (Linux);
// elsewhere stb's writer does, the one qelctl saves files with.
//
// Thread safety: one encoder per thread (it keeps its buffers and, with
// libturbojpeg, its handle between frames).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace qelctl::view {

class PreviewEncoder {
 public:
  explicit PreviewEncoder(int quality = 80);
  ~PreviewEncoder();
  PreviewEncoder(const PreviewEncoder&) = delete;
  PreviewEncoder& operator=(const PreviewEncoder&) = delete;

  // Writes the JPEG picture of a width x height frame of format ("YUY2" or
  // "MJPG") scaled down by scale (1, 2 or 4) into jpeg. False with the reason
  // in error for any other format, a frame shorter than its size needs or one
  // that does not decode.
  bool Encode(const std::uint8_t* frame, std::size_t length, int width, int height,
              const std::string& format, int scale, std::string& jpeg, std::string& error);

  // Which encoder this build uses: "libturbojpeg" or "stb".
  static const char* Name();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace qelctl::view
