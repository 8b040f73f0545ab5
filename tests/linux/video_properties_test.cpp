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

// Each of the 17 properties on its own control, read and written; an
// automatic companion is switched to manual before the value is written.
TEST_F(VideoProperties, EveryPropertyReachesItsOwnControl) {
  using platform::linux_hw::PropertyFamily;
  struct Expected {
    PropertyFamily family;
    long property;
    std::uint32_t id;      // 0: unsupported
    std::uint32_t autoId;  // 0: no companion
    std::int32_t scale;    // control units per property unit
  };
  const Expected expected[] = {
      {PropertyFamily::kVideoProcAmp, 0, V4L2_CID_BRIGHTNESS, 0, 1},
      {PropertyFamily::kVideoProcAmp, 1, V4L2_CID_CONTRAST, 0, 1},
      {PropertyFamily::kVideoProcAmp, 2, V4L2_CID_HUE, V4L2_CID_HUE_AUTO, 1},
      {PropertyFamily::kVideoProcAmp, 3, V4L2_CID_SATURATION, 0, 1},
      {PropertyFamily::kVideoProcAmp, 4, V4L2_CID_SHARPNESS, 0, 1},
      {PropertyFamily::kVideoProcAmp, 5, V4L2_CID_GAMMA, 0, 1},
      {PropertyFamily::kVideoProcAmp, 6, 0, 0, 1},
      {PropertyFamily::kVideoProcAmp, 7, V4L2_CID_WHITE_BALANCE_TEMPERATURE,
       V4L2_CID_AUTO_WHITE_BALANCE, 1},
      {PropertyFamily::kVideoProcAmp, 8, V4L2_CID_BACKLIGHT_COMPENSATION, 0, 1},
      {PropertyFamily::kVideoProcAmp, 9, V4L2_CID_GAIN, V4L2_CID_AUTOGAIN, 1},
      {PropertyFamily::kCameraControl, 0, V4L2_CID_PAN_ABSOLUTE, 0, 3600},
      {PropertyFamily::kCameraControl, 1, V4L2_CID_TILT_ABSOLUTE, 0, 3600},
      {PropertyFamily::kCameraControl, 2, 0, 0, 1},
      {PropertyFamily::kCameraControl, 3, V4L2_CID_ZOOM_ABSOLUTE, 0, 1},
      {PropertyFamily::kCameraControl, 4, V4L2_CID_EXPOSURE_ABSOLUTE, V4L2_CID_EXPOSURE_AUTO, 0},
      {PropertyFamily::kCameraControl, 5, V4L2_CID_IRIS_ABSOLUTE, 0, 1},
      {PropertyFamily::kCameraControl, 6, V4L2_CID_FOCUS_ABSOLUTE, V4L2_CID_FOCUS_AUTO, 1},
  };
  FakeVideoNode& node = AddCamera(0, 0, {.address = 5, .productName = "Webcam"});
  std::int32_t distinct = 1;
  for (const Expected& e : expected) {
    if (e.id == 0) continue;
    // Each control holds its own value: a property read from another's
    // control gives the wrong one.
    node.controls[e.id] = e.scale == 0
                              ? Control(1, 10000, 1, ExposureToControl(-distinct))
                              : Control(-100 * e.scale, 100 * e.scale, e.scale, distinct * e.scale);
    // The companion is on: automatic.
    if (e.autoId == V4L2_CID_EXPOSURE_AUTO) {
      node.controls[e.autoId] = Control(0, 3, 1, V4L2_EXPOSURE_APERTURE_PRIORITY);
    } else if (e.autoId != 0) {
      node.controls[e.autoId] = Control(0, 1, 1, 1);
    }
    ++distinct;
  }
  auto device = platform::linux_hw::VideoDevice::Open("/dev/video0");
  ASSERT_TRUE(device);
  distinct = 1;
  for (const Expected& e : expected) {
    SCOPED_TRACE(testing::Message()
                 << "family " << static_cast<int>(e.family) << " property " << e.property);
    auto set = platform::linux_hw::MakeVideoPropertySet(device, e.family);
    long value = 0, flags = 0;
    if (e.id == 0) {
      EXPECT_EQ(set->Get(e.property, value, flags), platform::linux_hw::kPropIdUnsupported);
      EXPECT_EQ(set->Set(e.property, 0, 2), platform::linux_hw::kPropIdUnsupported);
      continue;
    }
    const long mine = e.scale == 0 ? -distinct : distinct;
    ASSERT_EQ(set->Get(e.property, value, flags), platform::kOk);
    EXPECT_EQ(value, mine);
    EXPECT_EQ(flags, e.autoId != 0 ? 1 : 2);
    node.written.clear();
    ASSERT_EQ(set->Set(e.property, e.scale == 0 ? -1 : 7, 2), platform::kOk);
    Written want;
    if (e.autoId != 0) {
      want.emplace_back(e.autoId, e.autoId == V4L2_CID_EXPOSURE_AUTO ? V4L2_EXPOSURE_MANUAL : 0);
    }
    want.emplace_back(e.id, e.scale == 0 ? ExposureToControl(-1) : 7 * e.scale);
    EXPECT_EQ(node.written, want);
    ++distinct;
  }
}

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
