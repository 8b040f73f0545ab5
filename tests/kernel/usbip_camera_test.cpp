// The whole gadget camera, video and HID functions in one USB device, seen
// through the real uvcvideo and usbhid drivers over loopback USB/IP (the
// video function does not bind on dummy_hcd). Listing, pairing and formats
// go through the public exports. The link carries no frames (its isochronous
// transfers end with EXDEV), so an open gets as far as a running stream and
// then fails for want of a first frame.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>

#include "lab_devices.h"
#include "qel/qel.h"

namespace qel::lab {
namespace {

std::string Listing(bool withSerial) {
  char text[1024] = {};
  if (withSerial) {
    QelGetDeviceWithSerialNo(text, sizeof text);
  } else {
    QelGetDevice(text, sizeof text);
  }
  return text;
}

class UsbipCamera : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    camera = new GadgetCamera("0000ABCD", {"--uvc", "--usbip", "--model", "QEL5"});
    // uvcvideo makes its node about when usbhid makes the hidraw node.
    WaitUntil([] { return Listing(false).find("QEL5") != std::string::npos; },
              std::chrono::seconds(20));
  }
  static void TearDownTestSuite() { delete camera; }
  void SetUp() override { ASSERT_FALSE(camera->Hidraw().empty()) << camera->Output(); }

  static GadgetCamera* camera;
};
GadgetCamera* UsbipCamera::camera = nullptr;

// vivid's video capture node comes first (loaded first); the gadget's own
// video output node and uvcvideo's metadata node are no capture devices.
TEST_F(UsbipCamera, ListedOnceAndPairedWithItsHidInterfaceBySerial) {
  EXPECT_EQ(Listing(false), "vivid,QEL5");
  EXPECT_EQ(Listing(true), "vivid,QEL5#0000ABCD");
}

TEST_F(UsbipCamera, FormatsAreTheVideoFunctionsDescriptors) {
  QelFormatEx formats[8] = {};
  ASSERT_EQ(QelGetFormatListEx(1, formats, 8), 4);
  const struct {
    int width, height;
    const char* format;
  } expected[] = {
      {1920, 1080, "YUY2"}, {960, 540, "YUY2"}, {480, 270, "YUY2"}, {1920, 1080, "MJPG"}};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(formats[i].width, expected[i].width) << i;
    EXPECT_EQ(formats[i].height, expected[i].height) << i;
    EXPECT_STREQ(formats[i].format, expected[i].format) << i;
    EXPECT_EQ(formats[i].frameInterval, 333333) << i;
  }
}

// The format is negotiated and the stream started through uvcvideo; with no
// frame arriving the open fails with that reason, and leaves the device free
// for the next open (which fails alike, not as busy).
TEST_F(UsbipCamera, OpenWithoutFramesFailsForWantOfAFirstFrame) {
  for (int attempt = 0; attempt < 2; ++attempt) {
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(QelOpenEx(1, 480, 270, 30.0, "YUY2", QEL_OPEN_FAST), -1);
    const auto took = std::chrono::steady_clock::now() - start;
    char text[256] = {};
    QelLastError(text, sizeof text);
    EXPECT_EQ(QelLastErrorCode(), QEL_ERROR_PLATFORM) << text;
    EXPECT_NE(std::strstr(text, "no first frame"), nullptr) << text;
    EXPECT_LT(std::chrono::duration_cast<std::chrono::seconds>(took).count(), 15);
  }
}

}  // namespace
}  // namespace qel::lab
