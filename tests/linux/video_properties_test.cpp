// The video properties on a node's controls, through the exports and the
// property sets.
#include <gtest/gtest.h>

#include <vector>

#include "platform/linux/video_codes.h"
#include "platform/linux/video_controls.h"
#include "platform/linux/video_device.h"
#include "qel/qel.h"
#include "video_fixture.h"

namespace qel::test {
namespace {

using platform::linux_hw::ExposureFromControl;
using platform::linux_hw::ExposureToControl;
using Written = std::vector<std::pair<std::uint32_t, std::int32_t>>;

class VideoProperties : public LinuxVideoTest {
 protected:
  // A camera with LED (brightness), camera number (hue, with automatic),
  // exposure (with its automatic menu), pan in arc-seconds, and a disabled
  // gain.
  FakeVideoNode& AddControlledCamera(std::vector<std::uint32_t> exposureMenu) {
    FakeVideoNode& node = AddCamera(0, 0, {.address = 5, .productName = "Webcam"});
    node.controls[V4L2_CID_BRIGHTNESS] = Control(0, 64, 1, 32);
    node.controls[V4L2_CID_HUE] = Control(1, 2, 1, 1);
    node.controls[V4L2_CID_HUE_AUTO] = Control(0, 1, 1, 0);
    node.controls[V4L2_CID_EXPOSURE_ABSOLUTE] = Control(1, 10000, 1, 156);
    node.controls[V4L2_CID_EXPOSURE_AUTO] = Control(0, 3, 1, 3, 0, std::move(exposureMenu));
    node.controls[V4L2_CID_PAN_ABSOLUTE] = Control(-36000, 36000, 3600, 7200);
    node.controls[V4L2_CID_GAIN] = Control(0, 100, 1, 0, V4L2_CTRL_FLAG_DISABLED);
    return node;
  }
};

TEST_F(VideoProperties, ExposureTableBothWays) {
  const std::int32_t expected[] = {1, 2, 5, 10, 20, 39, 78, 156, 313, 625, 1250, 2500, 5000, 10000};
  for (long n = -13; n <= 0; ++n) {
    EXPECT_EQ(ExposureToControl(n), expected[n + 13]) << n;
    EXPECT_EQ(ExposureFromControl(expected[n + 13]), n) << n;
  }
  EXPECT_EQ(ExposureFromControl(150), -6);  // the nearest setting
  EXPECT_EQ(ExposureFromControl(0), -13);
  EXPECT_EQ(ExposureToControl(1), 20000);
}

TEST_F(VideoProperties, ControlsThroughTheExports) {
  FakeVideoNode& node =
      AddControlledCamera({V4L2_EXPOSURE_MANUAL, V4L2_EXPOSURE_APERTURE_PRIORITY});
  node.frames = {{}};
  ASSERT_EQ(QelOpen(0, 640, 480, 30.0, "YUY2"), 1);
  v4l2.WaitDrained("/dev/video0");

  ASSERT_EQ(QelSetLed(0, 40), 1);
  std::int32_t value = 0;
  ASSERT_EQ(QelGetLed(0, &value), 1);
  EXPECT_EQ(value, 40);
  // Automatic off first, then the value: hue's companion, exposure's menu.
  ASSERT_EQ(QelSetCameraNo(0, 2), 1);
  ASSERT_EQ(QelGetCameraNo(0, &value), 1);
  EXPECT_EQ(value, 2);
  ASSERT_EQ(QelSetExposure(0, -5), 1);
  ASSERT_EQ(QelGetExposure(0, &value), 1);
  EXPECT_EQ(value, -5);
  {
    auto held = v4l2.Lock();
    EXPECT_EQ(node.written, (Written{{V4L2_CID_BRIGHTNESS, 40},
                                     {V4L2_CID_HUE_AUTO, 0},
                                     {V4L2_CID_HUE, 2},
                                     {V4L2_CID_EXPOSURE_AUTO, V4L2_EXPOSURE_MANUAL},
                                     {V4L2_CID_EXPOSURE_ABSOLUTE, 313}}));
  }
}

TEST_F(VideoProperties, RangesFlagsAndRefusals) {
  FakeVideoNode& node = AddControlledCamera({V4L2_EXPOSURE_MANUAL, V4L2_EXPOSURE_AUTO});
  auto device = platform::linux_hw::VideoDevice::Open("/dev/video0");
  ASSERT_TRUE(device);
  auto amp = platform::linux_hw::MakeVideoPropertySet(
      device, platform::linux_hw::PropertyFamily::kVideoProcAmp);
  auto camera = platform::linux_hw::MakeVideoPropertySet(
      device, platform::linux_hw::PropertyFamily::kCameraControl);
  long min = 0, max = 0, step = 0, def = 0, caps = 0, value = 0, flags = 0;
  ASSERT_EQ(camera->GetRange(4, min, max, step, def, caps), platform::kOk);
  EXPECT_EQ(std::vector<long>({min, max, def, caps}), std::vector<long>({-13, 0, -6, 3}));
  ASSERT_EQ(camera->GetRange(0, min, max, step, def, caps), platform::kOk);  // pan, degrees
  EXPECT_EQ(std::vector<long>({min, max, caps}), std::vector<long>({-10, 10, 2}));
  ASSERT_EQ(camera->Get(0, value, flags), platform::kOk);
  EXPECT_EQ(value, 2);
  ASSERT_EQ(camera->Get(4, value, flags), platform::kOk);
  EXPECT_EQ(flags, 1);  // exposure's menu is not manual: automatic

  // Out of range is refused rather than clamped; automatic without a
  // companion is refused; no control for colour enable or roll.
  EXPECT_EQ(amp->Set(0, 65, 2), platform::kInvalidArg);
  EXPECT_EQ(amp->Set(0, 1, 1), platform::kInvalidArg);
  EXPECT_EQ(amp->GetRange(6, min, max, step, def, caps), platform::linux_hw::kPropIdUnsupported);
  EXPECT_EQ(amp->GetRange(9, min, max, step, def, caps),  // gain's control is disabled
            platform::linux_hw::kPropIdUnsupported);
  EXPECT_EQ(camera->GetRange(2, min, max, step, def, caps), platform::linux_hw::kPropIdUnsupported);
  EXPECT_EQ(amp->GetRange(17, min, max, step, def, caps), platform::linux_hw::kPropIdUnsupported);
  EXPECT_TRUE(node.written.empty());
  // Automatic exposure without aperture priority is full automatic.
  EXPECT_EQ(camera->Set(4, 0, 1), platform::kOk);
  EXPECT_EQ(node.written, (Written{{V4L2_CID_EXPOSURE_AUTO, V4L2_EXPOSURE_AUTO}}));
}

}  // namespace
}  // namespace qel::test
