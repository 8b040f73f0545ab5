// A camera of the family end to end on the Linux backend: its video node
// streams, and its hidraw node is answered by the simulated firmware.
#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

#include "platform/virtual/firmware_sim.h"
#include "qel/qel.h"
#include "video_fixture.h"

namespace qel::test {
namespace {

class FamilyCamera : public LinuxVideoTest {
 protected:
  // A QEL5 whose video node offers 960x540 YUYV and has the camera number
  // (hue), on a USB device with serial 0000ABCD.
  FakeVideoNode& AddQel5() {
    FakeVideoNode& node = AddCamera(0, 0, {});
    node.formats = {{V4L2_PIX_FMT_YUYV, {{960, 540, {{1, 30}}}}, false}};
    node.controls[V4L2_CID_HUE] = Control(0, 3, 1, 1);
    node.frames = {{}};
    return node;
  }
  std::string LastError() {
    char text[512] = {};
    QelLastError(text, sizeof text);
    return text;
  }

  sim::Firmware firmware{0x0000ABCD};
  FakeHidraw& hid = system.Node("/dev/hidraw0");
};

TEST_F(FamilyCamera, OpensAndTakesCommandsOverHidrawUntilUnplugged) {
  AddQel5();
  hid.answer = [this](const std::vector<std::uint8_t>& written,
                      std::deque<std::vector<std::uint8_t>>& input) {
    std::vector<sim::Report> replies;
    firmware.HandleOutputReport(written.data(), written.size(), 65, replies);
    input.insert(input.end(), replies.begin(), replies.end());
  };
  EXPECT_EQ(List(true), "QEL5#0000ABCD");
  ASSERT_EQ(QelOpen(0, 960, 540, 30.0, "YUY2"), 0) << LastError();
  v4l2.WaitDrained("/dev/video0");

  std::uint32_t serial = 0;
  ASSERT_TRUE(QelGetSerialNo(0, &serial));
  EXPECT_EQ(serial, 0x0000ABCDu);
  ASSERT_TRUE(QelSetShutter(0, 300));
  ASSERT_TRUE(QelSetRegister(0, 0x3012, 0x5A));
  std::uint8_t value = 0;
  ASSERT_TRUE(QelGetRegister(0, 0x3012, &value));
  EXPECT_EQ(value, 0x5A);
  int gpioDirection = 0, gpioOutput = 0;
  std::array<std::uint16_t, 4> gains{};
  std::uint16_t shutter = 0;
  firmware.GetState(gpioDirection, gpioOutput, gains, shutter);
  EXPECT_EQ(shutter, 300);  // the firmware took the command
  std::int32_t number = 0;
  ASSERT_TRUE(QelGetCameraNo(0, &number));
  EXPECT_EQ(number, 1);

  // Unplugged: the next command ends at once as a lost device.
  const std::uint64_t before = system.nowNs;
  hid.unplugged = true;
  EXPECT_FALSE(QelGetSerialNo(0, &serial));
  EXPECT_EQ(QelLastErrorCode(), QEL_ERROR_DEVICE_LOST);
  EXPECT_LT(system.nowNs - before, 100'000'000u);
  QelClose(0);
  EXPECT_EQ(system.opened, system.closed);
  EXPECT_EQ(v4l2.opened, v4l2.closed);
}

TEST_F(FamilyCamera, NoPermissionIsTheReasonListingAndOpenGive) {
  AddQel5();
  hid.openErrno = EACCES;
  int count = 0;
  EXPECT_EQ(List(true, &count), "QEL5");  // listed, without its serial
  EXPECT_EQ(count, 1);
  EXPECT_NE(LastError().find("no permission to open /dev/hidraw0"), std::string::npos)
      << LastError();
  EXPECT_EQ(List(false), "QEL5");
  EXPECT_EQ(QelLastErrorCode(), QEL_OK);  // the plain listing has no serial to miss

  EXPECT_EQ(QelOpen(0, 960, 540, 30.0, "YUY2"), -1);
  EXPECT_NE(LastError().find("no permission to open /dev/hidraw0"), std::string::npos)
      << LastError();
  std::int32_t key = -1;
  EXPECT_EQ(QelOpenSerialNo("QEL5#0000ABCD", &key, 960, 540, 30.0), -1);
  EXPECT_EQ(QelLastErrorCode(), QEL_ERROR_NO_DEVICE);
  EXPECT_NE(LastError().find("no permission to open /dev/hidraw0"), std::string::npos)
      << LastError();
  EXPECT_EQ(v4l2.opened, v4l2.closed);
}

}  // namespace
}  // namespace qel::test
