// The Linux backend's video half against vivid, the kernel's virtual V4L2
// capture driver: listed beside the gadget camera's HID node, opened for
// capture only (it has no USB parent, so nothing pairs), its formats, real
// mmap streaming, video properties on real controls, and vivid's simulated
// disconnect. The tests run in order: the disconnect is last.
#include <fcntl.h>
#include <linux/videodev2.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "lab_devices.h"
#include "qel/qel.h"

namespace qel::lab {
namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 360;

std::vector<std::string> Listing(bool withSerial) {
  char text[2048] = {};
  const int count =
      withSerial ? QelGetDeviceWithSerialNo(text, sizeof text) : QelGetDevice(text, sizeof text);
  std::vector<std::string> names;
  std::stringstream stream(text);
  for (std::string name; std::getline(stream, name, ',');) names.push_back(name);
  EXPECT_EQ(count, static_cast<int>(names.size())) << text;
  return names;
}

// vivid's video capture node: its listing position and device file.
struct Vivid {
  int key = -1;
  std::string node;
};
std::optional<Vivid> FindVivid() {
  const std::vector<std::string> names = Listing(false);
  for (int key = 0; key < static_cast<int>(names.size()); ++key) {
    if (names[key] != "vivid") continue;  // the driver's card name
    for (int minor = 0; minor < 64; ++minor) {
      const std::string dir = "/sys/class/video4linux/video" + std::to_string(minor);
      if (Attribute(dir, "name") == "vivid-000-vid-cap") {
        return Vivid{key, "/dev/video" + std::to_string(minor)};
      }
    }
  }
  return std::nullopt;
}

// A control of the node, looked up by its name; 0 when it has none.
std::uint32_t ControlId(int fd, const char* name) {
  v4l2_queryctrl query{};
  query.id = V4L2_CTRL_FLAG_NEXT_CTRL;
  while (ioctl(fd, VIDIOC_QUERYCTRL, &query) == 0) {
    if (std::strcmp(reinterpret_cast<const char*>(query.name), name) == 0) return query.id;
    query.id |= V4L2_CTRL_FLAG_NEXT_CTRL;
  }
  return 0;
}

int ControlValue(const std::string& node, std::uint32_t id) {
  const int fd = open(node.c_str(), O_RDWR | O_CLOEXEC);
  v4l2_control control{id, -1};
  ioctl(fd, VIDIOC_G_CTRL, &control);
  close(fd);
  return control.value;
}

class VividLab : public ::testing::Test {
 protected:
  void SetUp() override {
    std::optional<Vivid> found = FindVivid();
    ASSERT_TRUE(found) << "vivid's capture node is not listed";
    vivid = *found;
    ASSERT_EQ(QelOpenEx(vivid.key, kWidth, kHeight, 30.0, "YUY2", QEL_OPEN_FAST), 1)
        << "not opened for capture only: " << LastError();
  }
  void TearDown() override { QelClose(vivid.key); }
  static std::string LastError() {
    char text[256] = {};
    QelLastError(text, sizeof text);
    return text;
  }

  Vivid vivid;
  std::vector<unsigned char> frame = std::vector<unsigned char>(kWidth * kHeight * 2);
};

// The gadget camera (HID only) and uhid add no video device; of vivid's
// nodes (video and VBI capture and output, metadata, touch) the video
// capture node alone is listed, without a serial: nothing pairs with it.
TEST(VividListing, OnlyTheVideoCaptureNodeIsListedAndWithoutSerial) {
  GadgetCamera camera("0000ABCD", {"--model", "QEL5"});
  ASSERT_FALSE(camera.Hidraw().empty()) << camera.Output();
  const std::vector<std::string> names = Listing(false);
  ASSERT_EQ(names.size(), 1u);
  EXPECT_EQ(names[0], "vivid");
  EXPECT_EQ(Listing(true), names);
}

TEST_F(VividLab, FormatsAndMmapFramesWithStrictlyRisingSampleTimes) {
  QelFormat formats[64];
  const int count = QelGetFormatList(vivid.key, formats, 64);
  ASSERT_GT(count, 0) << LastError();
  bool listed = false;
  for (int i = 0; i < count && i < 64; ++i) {
    listed = listed || (formats[i].width == kWidth && formats[i].height == kHeight &&
                        std::strcmp(formats[i].format, "YUY2") == 0);
  }
  EXPECT_TRUE(listed) << "640x360 YUY2 is not among " << count << " formats";

  QelFrameInfo info{};
  info.size = sizeof info;
  double last = 0.0;
  std::uint64_t sequence = 0;
  for (int i = 0; i < 5; ++i) {
    ASSERT_EQ(QelWaitImage(vivid.key, frame.data(), static_cast<int>(frame.size()), &info, 5000), 1)
        << "frame " << i << ": " << LastError();
    EXPECT_EQ(info.width, kWidth);
    EXPECT_EQ(info.height, kHeight);
    EXPECT_EQ(info.bytes, kWidth * kHeight * 2);
    EXPECT_STREQ(info.formatName, "YUY2");
    EXPECT_GT(info.sampleTime, last) << "frame " << i;
    EXPECT_GT(info.sequence, sequence);
    last = info.sampleTime;
    sequence = info.sequence;
  }
  // vivid draws a test pattern: a frame is no block of one value.
  EXPECT_NE(std::count(frame.begin(), frame.end(), frame[0]), static_cast<long>(frame.size()));
}

TEST_F(VividLab, VideoPropertiesAreTheDriversControls) {
  ASSERT_EQ(QelSetLed(vivid.key, 40), 1) << LastError();
  EXPECT_EQ(ControlValue(vivid.node, V4L2_CID_BRIGHTNESS), 40);
  ASSERT_EQ(QelSetColorBar(vivid.key, 1), 1) << LastError();
  EXPECT_EQ(ControlValue(vivid.node, V4L2_CID_CONTRAST), 1);
  std::int32_t level = -1;
  ASSERT_EQ(QelGetLed(vivid.key, &level), 1);
  EXPECT_EQ(level, 40);
  // The camera's own commands need its command interface, which vivid lacks.
  std::uint16_t lines = 0;
  EXPECT_EQ(QelGetShutter(vivid.key, &lines), 0);
  EXPECT_EQ(QelLastErrorCode(), QEL_ERROR_NOT_SUPPORTED);
}

TEST_F(VividLab, SimulatedDisconnectEndsTheStreamAsDeviceLost) {
  QelFrameInfo info{};
  info.size = sizeof info;
  ASSERT_EQ(QelWaitImage(vivid.key, frame.data(), static_cast<int>(frame.size()), &info, 5000), 1);
  const int fd = open(vivid.node.c_str(), O_RDWR | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  const std::uint32_t disconnect = ControlId(fd, "Disconnect");
  ASSERT_NE(disconnect, 0u) << "vivid has no Disconnect control";
  v4l2_control press{disconnect, 0};
  ASSERT_EQ(ioctl(fd, VIDIOC_S_CTRL, &press), 0) << std::strerror(errno);
  close(fd);

  int got = 1;
  for (int i = 0; i < 50 && got == 1; ++i) {
    got = QelWaitImage(vivid.key, frame.data(), static_cast<int>(frame.size()), &info, 2000);
  }
  EXPECT_EQ(got, -1);
  EXPECT_EQ(QelLastErrorCode(), QEL_ERROR_DEVICE_LOST) << LastError();
}

}  // namespace
}  // namespace qel::lab
