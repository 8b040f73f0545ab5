// QelGetFormat: the text of a device's capture formats, its limits, and a
// listing of a camera that is streaming; the positions QelGetFormatList reaches.
#include <algorithm>
#include <cstring>
#include <string>

#include "support/rig_fixture.h"

namespace qel::test {
namespace {

class FormatListingTest : public RigTest {
 protected:
  // The listing of device index into a buffer of size bytes pre-filled with
  // '#'; the result in ok.
  static std::string List(int32_t index, int32_t size, bool& ok) {
    std::string buffer(static_cast<std::size_t>(std::max(size, 1)), '#');
    ok = QelGetFormat(index, buffer.data(), size) != 0;
    return buffer.substr(0, std::strlen(buffer.c_str()));
  }
  static std::string List(int32_t index) {
    bool ok = false;
    std::string text = List(index, 4096, ok);
    EXPECT_TRUE(ok) << index;
    return text;
  }
};

TEST_F(FormatListingTest, ListsEveryFormatAsFiveFields) {
  EXPECT_EQ(List(2), "0,640,480,30.000030,YUY2,1,1280,720,30.000030,MJPG,") << "the webcam";

  qelsim_clear_formats(kQel2Device);
  qelsim_add_format(kQel2Device, 1280, 720, 166667, "MJPG", 1);
  qelsim_add_format(kQel2Device, 328, 204, 41667, "0x3231564E", 1);
  qelsim_add_format(kQel2Device, 656, 408, 2500000, "Y16", 1);
  EXPECT_EQ(List(1),
            "0,1280,720,59.999880,MJPG,1,328,204,239.998080,3231564E,2,656,408,4.000000,Y16,");
}

TEST_F(FormatListingTest, BufferMustHoldTheTextAndTwoBytesMore) {
  qelsim_clear_formats(kQel5Device);
  qelsim_add_format(kQel5Device, 640, 480, 333333, "YUY2", 1);
  bool ok = false;
  EXPECT_EQ(List(0, 27, ok), "0,640,480,30.000030,YUY2,");
  EXPECT_TRUE(ok);
  EXPECT_EQ(List(0, 26, ok), "") << "25 characters do not fit in 26 bytes";
  EXPECT_FALSE(ok);

  // Entries that fitted stay, each complete.
  qelsim_add_format(kQel5Device, 1920, 1080, 333333, "MJPG", 1);
  EXPECT_EQ(List(0, 40, ok), "0,640,480,30.000030,YUY2,");
  EXPECT_FALSE(ok);
  EXPECT_EQ(List(0, 0, ok), "#") << "a buffer of no bytes is not written";
  EXPECT_FALSE(ok);
}

TEST_F(FormatListingTest, AtMostTenEntriesAndOnlyVideoInfoFormats) {
  qelsim_clear_formats(kQel5Device);
  qelsim_add_format(kQel5Device, 800, 600, 333333, "YUY2", 0);  // not listable
  for (int i = 0; i < 11; ++i) qelsim_add_format(kQel5Device, 100 + i, 50, 333333, "YUY2", 1);
  const std::string text = List(0);
  EXPECT_EQ(std::count(text.begin(), text.end(), ','), 50);
  EXPECT_EQ(text.substr(0, 26), "0,100,50,30.000030,YUY2,1,");
  EXPECT_NE(text.find(",9,109,50,30.000030,YUY2,"), std::string::npos);
  EXPECT_EQ(text.find("110,50"), std::string::npos) << "the eleventh is not listed";
  EXPECT_EQ(text.find("800"), std::string::npos);

  qelsim_clear_formats(kQel2Device);
  qelsim_add_format(kQel2Device, 640, 480, 333333, "YUY2", 0);
  bool ok = false;
  EXPECT_EQ(List(1, 64, ok), "");
  EXPECT_TRUE(ok) << "a device with nothing listable lists nothing";
  qelsim_clear_formats(kQel2Device);
  EXPECT_EQ(List(1, 64, ok), "");
  EXPECT_TRUE(ok) << "nor does one with no capabilities at all";
  qelsim_set_caps_size(kWebcamDevice, 64);
  EXPECT_EQ(List(2, 64, ok), "");
  EXPECT_TRUE(ok) << "nor one whose capability structure is not the expected one";
}

// Only ten requests for a device are made, and a failed one uses its turn.
TEST_F(FormatListingTest, OnlyTenTurnsOfTheEnumerator) {
  qelsim_reset(0);
  qelsim_set_virtual_time(1);
  for (int i = 0; i < 10; ++i) qelsim_add_webcam(("Cam " + std::to_string(i)).c_str());
  bool ok = false;
  EXPECT_NE(List(9, 4096, ok), "");
  EXPECT_TRUE(ok);
  qelsim_inject_fault(-1, "Next", 0, 1);
  List(9, 4096, ok);
  EXPECT_FALSE(ok) << "the failed request took the tenth turn";
  qelsim_inject_fault(-1, "Next", 5, 1);  // the third walk's last request
  char listing[256];
  EXPECT_EQ(QelGetDevice(listing, sizeof listing), 2) << "in a listing it ends the walk";
}

TEST_F(FormatListingTest, DeviceIndexOutsideTheListingLeavesTheText) {
  bool ok = true;
  for (int32_t index : {10, -1, 3, 0x7FFFFFFF}) {
    EXPECT_EQ(List(index, 64, ok), std::string(64, '#')) << index;
    EXPECT_FALSE(ok) << index;
  }
  EXPECT_FALSE(QelGetFormat(0, nullptr, 64));

  // Only the first ten devices of the category are examined: with the
  // software source in front, the tenth plug-and-play device is the eleventh.
  for (int i = 0; i < 7; ++i) qelsim_add_webcam("Webcam");
  EXPECT_EQ(List(8).substr(0, 10), "0,640,480,");
  EXPECT_EQ(List(9, 64, ok), std::string(64, '#'));
  EXPECT_FALSE(ok);
}

// QelGetFormatList reaches every position that QelGetDevice lists: past the
// classic's ten turns of the enumerator, with the unlisted software source
// in front taking no position.
TEST_F(FormatListingTest, FormatListReachesEveryListedPosition) {
  for (int i = 0; i < 8; ++i) qelsim_add_webcam("Webcam");
  const int last = qelsim_add_webcam("Last");
  qelsim_clear_formats(last);
  qelsim_add_format(last, 320, 240, 333333, "MJPG", 1);
  char listing[1024];
  ASSERT_EQ(QelGetDevice(listing, sizeof listing), 12);
  for (int32_t position : {9, 10}) {
    EXPECT_EQ(QelGetFormatList(position, nullptr, 0), 2) << position;
  }
  QelFormat format{};
  ASSERT_EQ(QelGetFormatList(11, &format, 1), 1);
  EXPECT_EQ(format.width, 320) << "the device QelGetDevice lists last";
  for (int32_t position : {12, -1}) {
    EXPECT_EQ(QelGetFormatList(position, nullptr, 0), -1) << position;
    EXPECT_EQ(QelLastErrorCode(), QEL_ERROR_NO_DEVICE) << position;
  }
}

TEST_F(FormatListingTest, StreamingCameraIsUndisturbed) {
  ASSERT_EQ(QelOpen(0, 960, 540, 60.0, "MJPG"), 0);
  const int comDepth = qelsim_com_depth();
  const int64_t frames = qelsim_frames_delivered(kQel5Device);
  const std::string text = List(0);
  EXPECT_EQ(text.substr(0, 27), "0,1920,1080,30.000030,YUY2,") << text;

  int32_t width = 0, height = 0;
  int64_t interval = 0;
  char subtype[16] = {};
  qelsim_current_format(kQel5Device, &width, &height, &interval, subtype, sizeof subtype);
  EXPECT_EQ(width, 960);
  EXPECT_EQ(height, 540);
  EXPECT_STREQ(subtype, "MJPG");
  EXPECT_EQ(qelsim_com_depth(), comDepth) << "the listing undid its own initialisation";
  qelsim_advance_ms(100);
  EXPECT_GT(qelsim_frames_delivered(kQel5Device), frames);
  std::string frame(static_cast<std::size_t>(QelGetBufferSize(0)), '\0');
  EXPECT_TRUE(QelReceiveImage(0, reinterpret_cast<unsigned char*>(frame.data())));
}

}  // namespace
// QelNominalFrameRate writes the fraction and the text, or only what is
// asked for, and never past the text's size (the rule itself: qelctl's
// frame-rate test).
TEST(NominalFrameRate, FillsWhatIsAskedAndNeverPastTheText) {
  int32_t numerator = 0, denominator = 0;
  char text[16];
  ASSERT_EQ(QelNominalFrameRate(166833, &numerator, &denominator, text, sizeof text), 1);
  EXPECT_EQ(std::string(text) + " " + std::to_string(numerator) + "/" + std::to_string(denominator),
            "59.94 60000/1001");
  EXPECT_EQ(QelNominalFrameRate(333333, nullptr, nullptr, nullptr, 0), 1);
  std::memcpy(text, "##########", 11);
  EXPECT_EQ(QelNominalFrameRate(166833, nullptr, nullptr, text, 5), 0);  // "59.94" needs 6
  EXPECT_EQ(QelLastErrorCode(), QEL_ERROR_BUFFER_TOO_SMALL);
  EXPECT_EQ(std::string(text, 6), std::string("\0#####", 6));
  EXPECT_EQ(QelNominalFrameRate(166833, nullptr, nullptr, nullptr, 8), 0);
  EXPECT_EQ(QelNominalFrameRate(166833, nullptr, nullptr, text, -1), 0);
  EXPECT_EQ(QelLastErrorCode(), QEL_ERROR_BAD_ARGUMENT);
}

}  // namespace qel::test
