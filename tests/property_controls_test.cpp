#include "capture/capture_context.h"
#include "controls/video_property.h"
#include "core/camera_table.h"
#include "support/rig_fixture.h"

namespace qel::test {
namespace {

// The value and flags of the last property write the camera received.
struct Write {
  int property = -1;
  int32_t value = 0;
  int32_t flags = 0;
};

Write LastWrite(int device) {
  Write write;
  const int count = qelsim_log_property_count(device);
  if (count > 0)
    qelsim_log_property(device, count - 1, &write.property, &write.value, &write.flags);
  return write;
}

class PropertyControls : public RigTest {
 protected:
  void SetUp() override {
    RigTest::SetUp();
    ASSERT_EQ(QelOpen(0, 1920, 1080, 30.0, "YUY2"), 0);  // "QEL5"
    ASSERT_EQ(QelOpen(1, 1280, 720, 30.0, "YUY2"), 0);   // "QEL2"
    qelsim_log_clear();
  }
};

TEST_F(PropertyControls, SettersPassValuesWithinTheLibrarysRanges) {
  struct Case {
    QelBool(QEL_CALL* set)(int32_t, int32_t);  // the exports' convention (stdcall on x86)
    int property;
    int32_t low, high;
  };
  const Case cases[] = {{QelSetLed, 0, 0, 64},
                        {QelSetExposure, 14, -13, 0},
                        {QelSetCameraNo, 2, 1, 2},
                        {QelSetColorBar, 1, 0, 1},
                        {QelSetGain, 9, 0, 240}};
  for (const Case& c : cases) {
    EXPECT_TRUE(c.set(1, c.low)) << c.property;
    EXPECT_EQ(LastWrite(kQel2Device).value, c.low);
    EXPECT_TRUE(c.set(1, c.high)) << c.property;
    EXPECT_EQ(LastWrite(kQel2Device).property, c.property);
    EXPECT_EQ(LastWrite(kQel2Device).value, c.high);
    EXPECT_EQ(LastWrite(kQel2Device).flags, 2) << "always the manual flag";
    const int before = qelsim_log_property_count(kQel2Device);
    EXPECT_FALSE(c.set(1, c.low - 1));
    EXPECT_FALSE(c.set(1, c.high + 1));
    EXPECT_EQ(qelsim_log_property_count(kQel2Device), before) << "refused before the camera";
  }
}

TEST_F(PropertyControls, GainScalesOnTheQel5) {
  EXPECT_TRUE(QelSetGain(0, 240));
  EXPECT_EQ(LastWrite(kQel5Device).value, 960);
  EXPECT_TRUE(QelSetGain(1, 240));
  EXPECT_EQ(LastWrite(kQel2Device).value, 240);

  EXPECT_TRUE(QelXSetGain(0, 4095));
  EXPECT_FALSE(QelXSetGain(1, 4095));
  EXPECT_FALSE(QelXSetGain(0, -1));
  EXPECT_TRUE(QelXSetGain(1, 240));

  const struct {
    int32_t raw, scaled;
  } reads[] = {{4095, 240}, {961, 240}, {960, 240}, {959, 239}, {100, 25}, {3, 0}};
  for (const auto& read : reads) {
    ASSERT_TRUE(QelXSetGain(0, read.raw));
    int32_t gain = -1, raw = -1;
    ASSERT_TRUE(QelGetGain(0, &gain));
    EXPECT_EQ(gain, read.scaled) << read.raw;
    ASSERT_TRUE(QelXGetGain(0, &raw));
    EXPECT_EQ(raw, read.raw);
  }
  int32_t gain = -1;
  ASSERT_TRUE(QelGetGain(1, &gain));
  EXPECT_EQ(gain, 240) << "other models read the raw value";
}

TEST_F(PropertyControls, GainRangesComeFromTheModelAlone) {
  qelsim_log_clear();
  int32_t value = -1;
  ASSERT_TRUE(QelXGetGainMax(0, &value));
  EXPECT_EQ(value, 4095);
  ASSERT_TRUE(QelXGetGainMax(1, &value));
  EXPECT_EQ(value, 240);
  ASSERT_TRUE(QelXGetGainMin(0, &value));
  EXPECT_EQ(value, 0);
  EXPECT_EQ(qelsim_log_property_count(-1), 0);
  EXPECT_EQ(qelsim_log_report_count(-1), 0);
  EXPECT_FALSE(QelXGetGainMax(0, nullptr));
}

TEST_F(PropertyControls, GettersReportTheCamerasValues) {
  qelsim_set_property(kQel2Device, 2, 1, 1, 2, 1, 1, 2, 2);
  int32_t value = -1;
  ASSERT_TRUE(QelGetCameraNo(1, &value));
  EXPECT_EQ(value, 2) << "the camera's value, not the slot's";
  ASSERT_TRUE(QelSetExposure(1, -7));
  ASSERT_TRUE(QelGetExposure(1, &value));
  EXPECT_EQ(value, -7);
  ASSERT_TRUE(QelSetColorBar(1, 1));
  ASSERT_TRUE(QelGetColorBar(1, &value));
  EXPECT_EQ(value, 1);
  ASSERT_TRUE(QelSetLed(1, 33));
  ASSERT_TRUE(QelGetLed(1, &value));
  EXPECT_EQ(value, 33);

  value = 99;
  qelsim_inject_fault(kQel2Device, "Get", 0, 1);
  EXPECT_FALSE(QelGetLed(1, &value));
  EXPECT_EQ(value, 99) << "nothing written on failure";
  EXPECT_FALSE(QelGetLed(1, nullptr));
}

TEST_F(PropertyControls, CameraNumberIsStoredOnceTheCameraTookIt) {
  EXPECT_FALSE(QelSetCameraNo(1, 0));
  EXPECT_FALSE(QelSetCameraNo(1, 3));
  EXPECT_EQ(CameraTable::Instance().FindSlot(1)->cameraNumber, 1);
  ASSERT_TRUE(QelSetCameraNo(1, 2));
  EXPECT_EQ(CameraTable::Instance().FindSlot(1)->cameraNumber, 2);
  qelsim_inject_fault(kQel2Device, "Set", 0, 1);
  EXPECT_FALSE(QelSetCameraNo(1, 1));
  EXPECT_EQ(CameraTable::Instance().FindSlot(1)->cameraNumber, 2);
}

TEST_F(PropertyControls, WriteResultCodes) {
  const double ok = 5.0;
  EXPECT_EQ(WriteVideoProperty(-1, 0, &ok), kPropertyNotRunning);
  EXPECT_EQ(WriteVideoProperty(10, 0, &ok), kPropertyNotRunning);
  EXPECT_EQ(WriteVideoProperty(5, 0, &ok), kPropertyNotRunning);
  EXPECT_EQ(WriteVideoProperty(0, 17, &ok), kPropertyBadIndex);
  EXPECT_EQ(WriteVideoProperty(0, -1, &ok), kPropertyBadIndex);
  EXPECT_EQ(WriteVideoProperty(0, 3, &ok), kPropertyUnsupported);

  qelsim_inject_fault(kQel5Device, "QueryInterface.VideoProcAmp", 0, 1);
  EXPECT_EQ(WriteVideoProperty(0, 0, &ok), kPropertyNoInterface);
  qelsim_inject_fault(kQel5Device, "GetRange", 0, 1);
  EXPECT_EQ(WriteVideoProperty(0, 0, &ok), kPropertyRangeFailed);
  qelsim_inject_fault(kQel5Device, "Set", 0, 1);
  EXPECT_EQ(WriteVideoProperty(0, 0, &ok), kPropertySetFailed);

  const double above = 65.0, min = 0.0, max = 64.0;
  EXPECT_EQ(WriteVideoProperty(0, 0, &above), kPropertyOutOfRange);
  qelsim_inject_fault(kQel5Device, "Get", 0, 1);
  EXPECT_EQ(WriteVideoProperty(0, 0, &above), kPropertyOutOfRangeNoGet);
  EXPECT_EQ(WriteVideoProperty(0, 0, &min), kPropertyWritten);
  EXPECT_EQ(WriteVideoProperty(0, 0, &max), kPropertyWritten);

  double value = -1.0;
  EXPECT_EQ(ReadVideoProperty(0, 0, &value), 0);
  EXPECT_EQ(value, 64.0);
  EXPECT_EQ(ReadVideoProperty(0, 17, &value), 1);
  EXPECT_EQ(ReadVideoProperty(10, 0, &value), 1);
  EXPECT_EQ(ReadVideoProperty(0, 3, &value), 1);
}

TEST_F(PropertyControls, ValuesAreTruncatedTowardZero) {
  const double high = 63.9, negative = -0.5, hueish = -2.9;
  ASSERT_EQ(WriteVideoProperty(0, 0, &high), kPropertyWritten);
  EXPECT_EQ(LastWrite(kQel5Device).value, 63);
  ASSERT_EQ(WriteVideoProperty(0, 0, &negative), kPropertyWritten);
  EXPECT_EQ(LastWrite(kQel5Device).value, 0);
  ASSERT_EQ(WriteVideoProperty(0, 14, &hueish), kPropertyWritten);
  EXPECT_EQ(LastWrite(kQel5Device).value, -2);
  const double huge = 1e300;
  EXPECT_EQ(WriteVideoProperty(0, 0, &huge), kPropertyOutOfRange);
}

TEST_F(PropertyControls, CameraWithoutCameraControlInterface) {
  QelClose(0);
  qelsim_set_property_interfaces(kQel5Device, 1, 0);
  ASSERT_EQ(QelOpen(0, 1920, 1080, 30.0, "YUY2"), 0);
  const double exposure = -5.0;
  for (int index = 10; index <= 16; ++index) {
    EXPECT_EQ(WriteVideoProperty(0, index, &exposure), kPropertyUnsupported);
  }
  EXPECT_FALSE(QelSetExposure(0, -5));
  EXPECT_TRUE(QelSetLed(0, 5));
}

}  // namespace
}  // namespace qel::test
