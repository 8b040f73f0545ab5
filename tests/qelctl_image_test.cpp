// qelctl's frame saving: YUY2 to RGB conversion and PNG files read back
// with libpng.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "image_writer.h"

#if defined(QELCTL_HAVE_PNG)
#  include <png.h>
#endif

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

#if defined(QELCTL_HAVE_PNG)

struct PngImage {
  int width = 0;
  int height = 0;
  Bytes rgb;
};

bool ReadPng(const std::string& path, PngImage& out) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return false;
  image.format = PNG_FORMAT_RGB;
  out.width = static_cast<int>(image.width);
  out.height = static_cast<int>(image.height);
  out.rgb.resize(PNG_IMAGE_SIZE(image));
  return png_image_finish_read(&image, nullptr, out.rgb.data(), 0, nullptr) != 0;
}

TEST(WritePng, RoundTripsEveryPixel) {
  const int width = 5;
  const int height = 3;
  Bytes rgb(static_cast<std::size_t>(width * height * 3));
  for (std::size_t i = 0; i < rgb.size(); ++i) rgb[i] = static_cast<std::uint8_t>(i * 17 + 3);
  const std::string path = testing::TempDir() + "qelctl_image_test.png";
  std::string error;
  ASSERT_TRUE(qelctl::WritePng(path, rgb.data(), width, height, error)) << error;

  PngImage read;
  ASSERT_TRUE(ReadPng(path, read));
  EXPECT_EQ(read.width, width);
  EXPECT_EQ(read.height, height);
  EXPECT_EQ(read.rgb, rgb);
  std::remove(path.c_str());
}

TEST(WritePng, ReportsAPathThatCannotBeWritten) {
  const Bytes rgb(3, 0);
  const std::string path = testing::TempDir() + "no-such-directory/frame.png";
  std::string error;
  EXPECT_FALSE(qelctl::WritePng(path, rgb.data(), 1, 1, error));
  EXPECT_NE(error.find("no-such-directory"), std::string::npos) << error;
}

#endif

}  // namespace
