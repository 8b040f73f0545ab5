// qelctl's frame saving: YUY2 to RGB conversion, and PNG and JPEG files read
// back with stb's reader.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "image_writer.h"

#include "support/stb_image_decoder.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// Converts one pixel pair Y0 U Y1 V and returns the six RGB bytes.
Bytes ConvertPair(std::uint8_t y0, std::uint8_t u, std::uint8_t y1, std::uint8_t v) {
  const Bytes frame{y0, u, y1, v};
  Bytes rgb;
  std::string error;
  EXPECT_TRUE(qelctl::Yuy2ToRgb(frame.data(), frame.size(), 2, 1, rgb, error)) << error;
  return rgb;
}

void ExpectNear(const Bytes& rgb, std::size_t pixel, int r, int g, int b) {
  ASSERT_GE(rgb.size(), pixel * 3 + 3);
  EXPECT_NEAR(rgb[pixel * 3], r, 2) << "red of pixel " << pixel;
  EXPECT_NEAR(rgb[pixel * 3 + 1], g, 2) << "green of pixel " << pixel;
  EXPECT_NEAR(rgb[pixel * 3 + 2], b, 2) << "blue of pixel " << pixel;
}

TEST(Yuy2ToRgb, StudioRangeBt601ColoursBecomeFullRangeRgb) {
  // Black and white in one pair: each pixel has its own luma.
  const Bytes blackWhite = ConvertPair(16, 128, 235, 128);
  ExpectNear(blackWhite, 0, 0, 0, 0);
  ExpectNear(blackWhite, 1, 255, 255, 255);
  // The primaries, with U before V in the pair.
  ExpectNear(ConvertPair(81, 90, 81, 240), 0, 255, 0, 0);
  ExpectNear(ConvertPair(145, 54, 145, 34), 1, 0, 255, 0);
  ExpectNear(ConvertPair(41, 240, 41, 110), 0, 0, 0, 255);
  // Red and blue run past 0..255 at the extremes: clamped, not wrapped.
  const Bytes extremes = ConvertPair(255, 255, 0, 255);
  EXPECT_EQ(extremes[0], 255);
  EXPECT_EQ(extremes[2], 255);
  const Bytes lows = ConvertPair(0, 0, 0, 0);
  EXPECT_EQ(lows[0], 0);
  EXPECT_EQ(lows[2], 0);
}

TEST(Yuy2ToRgb, RowsFollowOneAnother) {
  // 2x2: a black row over a white one.
  const Bytes frame{16, 128, 16, 128, 235, 128, 235, 128};
  Bytes rgb;
  std::string error;
  ASSERT_TRUE(qelctl::Yuy2ToRgb(frame.data(), frame.size(), 2, 2, rgb, error)) << error;
  ASSERT_EQ(rgb.size(), 12u);
  ExpectNear(rgb, 1, 0, 0, 0);
  ExpectNear(rgb, 2, 255, 255, 255);
}

TEST(Yuy2ToRgb, RefusesShortFramesAndOddWidths) {
  const Bytes frame(2 * 2 * 2 - 1, 128);
  Bytes rgb;
  std::string error;
  EXPECT_FALSE(qelctl::Yuy2ToRgb(frame.data(), frame.size(), 2, 2, rgb, error));
  EXPECT_NE(error.find("7 bytes"), std::string::npos) << error;
  error.clear();
  EXPECT_FALSE(qelctl::Yuy2ToRgb(frame.data(), frame.size(), 3, 1, rgb, error));
  EXPECT_FALSE(error.empty());
  EXPECT_FALSE(qelctl::Yuy2ToRgb(nullptr, 0, 2, 1, rgb, error));
}

struct Image {
  int width = 0;
  int height = 0;
  Bytes rgb;
};

// Reads a PNG or JPEG file back with stb's reader.
bool ReadImage(const std::string& path, Image& out) {
  int components = 0;
  stbi_uc* pixels = stbi_load(path.c_str(), &out.width, &out.height, &components, 3);
  if (pixels == nullptr) return false;
  out.rgb.assign(pixels, pixels + static_cast<std::size_t>(out.width) * out.height * 3);
  stbi_image_free(pixels);
  return true;
}

TEST(WriteImage, PngRoundTripsEveryPixelAndJpegComesClose) {
  const int width = 16;
  const int height = 8;
  Bytes rgb(static_cast<std::size_t>(width * height * 3));
  for (std::size_t i = 0; i < rgb.size(); ++i) rgb[i] = static_cast<std::uint8_t>(i * 17 + 3);
  const std::string png = testing::TempDir() + "qelctl_image_test.png";
  std::string error;
  ASSERT_TRUE(qelctl::WritePng(png, rgb.data(), width, height, error)) << error;
  Image read;
  ASSERT_TRUE(ReadImage(png, read));
  EXPECT_EQ(read.width, width);
  EXPECT_EQ(read.height, height);
  EXPECT_EQ(read.rgb, rgb);
  std::remove(png.c_str());

  // A flat colour survives JPEG coding nearly unchanged, and decodes again.
  const Bytes flat(static_cast<std::size_t>(width * height * 3), 200);
  const std::string jpeg = testing::TempDir() + "qelctl_image_test.jpg";
  ASSERT_TRUE(qelctl::WriteJpeg(jpeg, flat.data(), width, height, 90, error)) << error;
  ASSERT_TRUE(ReadImage(jpeg, read));
  EXPECT_EQ(read.width, width);
  for (std::uint8_t v : read.rgb) EXPECT_NEAR(v, 200, 3);
  std::FILE* file = std::fopen(jpeg.c_str(), "rb");
  ASSERT_NE(file, nullptr);
  std::vector<std::uint8_t> bytes(1 << 16);
  bytes.resize(std::fread(bytes.data(), 1, bytes.size(), file));
  std::fclose(file);
  std::remove(jpeg.c_str());
  Bytes decoded;
  int w = 0, h = 0;
  ASSERT_TRUE(qelctl::DecodeJpeg(bytes.data(), bytes.size(), decoded, w, h, error)) << error;
  EXPECT_EQ(w, width);
  EXPECT_EQ(decoded.size(), flat.size());
  EXPECT_FALSE(qelctl::DecodeJpeg(rgb.data(), rgb.size(), decoded, w, h, error));
  EXPECT_NE(error.find("no JPEG"), std::string::npos) << error;
  // A frame by its format: MJPG decodes, another format has no picture.
  w = h = 0;
  ASSERT_TRUE(qelctl::FrameToRgb(bytes.data(), bytes.size(), "MJPG", w, h, decoded, error));
  EXPECT_EQ(w, width);
  EXPECT_FALSE(qelctl::FrameToRgb(rgb.data(), rgb.size(), "RGB24", w, h, decoded, error));
  EXPECT_NE(error.find("not RGB24"), std::string::npos) << error;
}

TEST(WriteImage, ReportsAPathThatCannotBeWritten) {
  const Bytes rgb(3, 0);
  const std::string path = testing::TempDir() + "no-such-directory/frame.png";
  std::string error;
  EXPECT_FALSE(qelctl::WritePng(path, rgb.data(), 1, 1, error));
  EXPECT_NE(error.find("no-such-directory"), std::string::npos) << error;
  EXPECT_FALSE(qelctl::WriteBytes(path, rgb.data(), rgb.size(), error));
}

}  // namespace
