// The rig's frames as pictures: a YUY2 frame and an MJPG frame received
// through the library, saved as qelctl saves them, decode with stb's reader
// (Debian's libstb-dev) and show what the camera's settings say: the colour
// bars where they belong, the brightness following the exposure, the LED;
// and the frame check still catches a torn picture.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#if defined(_WIN32)
#  include <process.h>
#  define QEL_TEST_PID _getpid
#else
#  include <unistd.h>
#  define QEL_TEST_PID getpid
#endif

#include "image_writer.h"
#include "support/rig_fixture.h"

#include "support/stb_image_decoder.h"

namespace qel::test {
namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr int kWidth = 960;
constexpr int kHeight = 540;

struct Picture {
  int width = 0;
  int height = 0;
  Bytes rgb;
  const std::uint8_t* At(int x, int y) const {
    return rgb.data() + (static_cast<std::size_t>(y) * width + x) * 3;
  }
  // Mean of the three colours over the whole picture.
  double Mean() const {
    double sum = 0;
    for (std::uint8_t v : rgb) sum += v;
    return sum / static_cast<double>(rgb.size());
  }
};

// Decodes a saved file with stb's reader.
Picture Decode(const std::string& path) {
  Picture p;
  int components = 0;
  stbi_uc* pixels = stbi_load(path.c_str(), &p.width, &p.height, &components, 3);
  EXPECT_NE(pixels, nullptr) << path << ": " << stbi_failure_reason();
  if (pixels != nullptr) {
    p.rgb.assign(pixels, pixels + static_cast<std::size_t>(p.width) * p.height * 3);
    stbi_image_free(pixels);
  }
  std::remove(path.c_str());
  return p;
}

// A file of this test's own: ctest runs the tests side by side, and other
// builds on the machine run the same tests in the same temporary directory.
std::string TempFile(const char* suffix) {
  return testing::TempDir() + "qelctl_picture_" +
         testing::UnitTest::GetInstance()->current_test_info()->name() + "_" +
         std::to_string(QEL_TEST_PID()) + suffix;
}

// The next frame of the open camera key.
Bytes Receive(std::int32_t key) {
  qelsim_advance_ms(40);
  const std::int32_t size = QelGetBufferSize(key);
  Bytes frame(static_cast<std::size_t>(size > 0 ? size : 0));
  EXPECT_GT(size, 0);
  EXPECT_TRUE(QelReceiveImage(key, frame.data()));
  EXPECT_EQ(qelsim_check_frame(frame.data(), size, nullptr), 1) << "the picture is stamped";
  return frame;
}

// A YUY2 frame saved as PNG, the way qelctl saves it.
Picture SavedYuy2(const Bytes& frame) {
  Bytes rgb;
  std::string error;
  EXPECT_TRUE(qelctl::Yuy2ToRgb(frame.data(), frame.size(), kWidth, kHeight, rgb, error)) << error;
  const std::string path = TempFile(".png");
  EXPECT_TRUE(qelctl::WritePng(path, rgb.data(), kWidth, kHeight, error)) << error;
  return Decode(path);
}

// An MJPG frame saved as delivered.
Picture SavedMjpg(const Bytes& frame) {
  const std::string path = TempFile(".jpg");
  std::string error;
  EXPECT_TRUE(qelctl::WriteBytes(path, frame.data(), frame.size(), error)) << error;
  return Decode(path);
}

// The eight bars left to right, each checked at its middle, away from the
// stamp in the first row.
void ExpectColourBars(const Picture& p, int tolerance) {
  ASSERT_EQ(p.width, kWidth);
  ASSERT_EQ(p.height, kHeight);
  const int expected[8][3] = {{255, 255, 255}, {255, 255, 0}, {0, 255, 255}, {0, 255, 0},
                              {255, 0, 255},   {255, 0, 0},   {0, 0, 255},   {0, 0, 0}};
  for (int bar = 0; bar < 8; ++bar) {
    const int x = kWidth * bar / 8 + kWidth / 16;
    for (int y : {kHeight / 4, kHeight / 2, kHeight - 2}) {
      for (int c = 0; c < 3; ++c) {
        EXPECT_NEAR(p.At(x, y)[c], expected[bar][c], tolerance)
            << "bar " << bar << " at " << x << "," << y << " colour " << c;
      }
    }
  }
}

using RigPicture = RigTest;

TEST_F(RigPicture, ColourBarsStandWhereTheyBelongInYuy2AndMjpg) {
  for (const char* format : {"YUY2", "MJPG"}) {
    ASSERT_EQ(QelOpen(0, kWidth, kHeight, 30.0, format), 0) << format;
    const Picture scene =
        std::string(format) == "YUY2" ? SavedYuy2(Receive(0)) : SavedMjpg(Receive(0));
    ASSERT_EQ(scene.width, kWidth);
    // Without the setting the scene is no bar pattern: its blue falls from
    // left to right.
    EXPECT_GT(scene.At(40, 100)[2], scene.At(kWidth - 40, 100)[2] + 100) << format;

    ASSERT_TRUE(QelSetColorBar(0, 1));
    const Bytes frame = Receive(0);
    if (std::string(format) == "YUY2") {
      ExpectColourBars(SavedYuy2(frame), 4);
    } else {
      EXPECT_EQ(frame[0], 0xFF);
      EXPECT_EQ(frame[1], 0xD8) << "a JPEG image";
      ExpectColourBars(SavedMjpg(frame), 24);
    }
    QelClose(0);
  }
}

TEST_F(RigPicture, BrightnessFollowsTheExposureAndTheLedShows) {
  ASSERT_EQ(QelOpen(0, kWidth, kHeight, 30.0, "YUY2"), 0);
  const double nominal = SavedYuy2(Receive(0)).Mean();
  ASSERT_TRUE(QelSetExposure(0, -8));
  const double darker = SavedYuy2(Receive(0)).Mean();
  ASSERT_TRUE(QelSetShutter(0, 400));
  ASSERT_TRUE(QelSetExposure(0, -6));
  const double brighter = SavedYuy2(Receive(0)).Mean();
  EXPECT_LT(darker, nominal - 20);
  EXPECT_GT(brighter, nominal + 20);

  // The LED square in the top right corner turns red.
  const int x = kWidth - kHeight / 24 * 2;
  const int y = kHeight / 24 * 2;
  const Picture off = SavedYuy2(Receive(0));
  ASSERT_TRUE(QelSetLed(0, 64));
  const Picture on = SavedYuy2(Receive(0));
  EXPECT_LT(off.At(x, y)[0], 80);
  EXPECT_GT(on.At(x, y)[0], 200);
  EXPECT_LT(on.At(x, y)[1], 60);
}

TEST_F(RigPicture, TornPicturesFailTheCheckAndJpegLengthsVary) {
  ASSERT_EQ(QelOpen(0, kWidth, kHeight, 30.0, "YUY2"), 0);
  const Bytes a = Receive(0);
  const Bytes b = Receive(0);
  ASSERT_EQ(a.size(), b.size());
  // The pictures differ where the band moved and a digit changed; a frame
  // torn anywhere in there fails.
  std::size_t first = a.size(), last = 0;
  for (std::size_t i = 16; i < a.size(); ++i) {
    if (a[i] != b[i]) {
      first = std::min(first, i);
      last = i;
    }
  }
  ASSERT_LT(first, last);
  for (std::size_t cut : {first, (first + last) / 2, last}) {
    Bytes torn(a.begin(), a.begin() + static_cast<long>(cut));
    torn.insert(torn.end(), b.begin() + static_cast<long>(cut), b.end());
    EXPECT_EQ(qelsim_check_frame(torn.data(), static_cast<int32_t>(torn.size()), nullptr), 0)
        << "cut at " << cut;
  }
  QelClose(0);

  ASSERT_EQ(QelOpen(0, kWidth, kHeight, 30.0, "MJPG"), 0);
  std::vector<std::size_t> lengths;
  for (int i = 0; i < 6; ++i) {
    Bytes frame = Receive(0);
    lengths.push_back(frame.size());
    frame[frame.size() / 2] ^= 0x10;
    EXPECT_EQ(qelsim_check_frame(frame.data(), static_cast<int32_t>(frame.size()), nullptr), 0);
  }
  EXPECT_NE(*std::min_element(lengths.begin(), lengths.end()),
            *std::max_element(lengths.begin(), lengths.end()));
}

}  // namespace
}  // namespace qel::test
