// Recognition byte, USB mode and the GPIO of "QEL" cameras through the
// exports, with the request bytes read from the rig's log.
#include "support/rig_fixture.h"

namespace qel::test {
namespace {

class DeviceModeTest : public EveryModelRigTest {
 protected:
  void SetUp() override {
    EveryModelRigTest::SetUp();
    ASSERT_EQ(QelOpen(kWebcam, 640, 480, 30.0, "YUY2"), 1);
    OpenFamily();
  }
};

TEST_F(DeviceModeTest, RecognitionAndUsbModeOnEveryModel) {
  for (int key : {kQel, kQel2, kQel5}) {
    SCOPED_TRACE(key);
    qelsim_log_clear();
    ASSERT_EQ(qelsim_set_device_bytes(key, 0xA0 + key, 0x80 + key, 0), 0);
    uint8_t recognition = 0, mode = 0;
    EXPECT_TRUE(QelCameraRecognition(key, &recognition));
    EXPECT_TRUE(QelUSBMode(key, &mode));
    EXPECT_EQ(recognition, 0xA0 + key);
    EXPECT_EQ(mode, 0x80 + key);
    EXPECT_EQ(ReportHex(key, 0, 2, 2), "F0 00");
    EXPECT_EQ(ReportHex(key, 1, 2, 2), "F1 00");
  }
  uint8_t value = 7;
  EXPECT_FALSE(QelCameraRecognition(kWebcam, &value)) << "no command channel";
  EXPECT_FALSE(QelUSBMode(kWebcam, &value));
  EXPECT_FALSE(QelUSBMode(-1, &value));
  EXPECT_FALSE(QelCameraRecognition(kQel5, nullptr));
  EXPECT_EQ(value, 7);
}

TEST_F(DeviceModeTest, GpioTravelsInTheLowByteOnQelOnly) {
  EXPECT_TRUE(QelGPIOOutput(kQel, 0x1A5));
  EXPECT_EQ(ReportHex(kQel, 0, 2, 3), "02 A5 00");
  EXPECT_TRUE(QelGPIODirection(kQel, -1));
  EXPECT_EQ(ReportHex(kQel, 1, 2, 3), "01 FF 00");
  int direction = 0, output = 0;
  uint16_t gains[4] = {}, shutter = 0;
  qelsim_get_firmware_state(kQel, &direction, &output, gains, &shutter);
  EXPECT_EQ(direction, 0xFF);
  EXPECT_EQ(output, 0xA5);

  ASSERT_EQ(qelsim_set_device_bytes(kQel, 0, 0, 0xC3), 0);
  uint8_t input = 0;
  EXPECT_TRUE(QelGPIOInput(kQel, &input));
  EXPECT_EQ(input, 0xC3);
  EXPECT_EQ(ReportHex(kQel, 2, 2, 2), "03 00");

  // Models 1 and 2 have no GPIO: refused before anything is sent.
  qelsim_log_clear();
  for (int key : {kQel2, kQel5, kWebcam}) {
    input = 7;
    EXPECT_FALSE(QelGPIOOutput(key, 1)) << key;
    EXPECT_FALSE(QelGPIODirection(key, 1)) << key;
    EXPECT_FALSE(QelGPIOInput(key, &input)) << key;
    EXPECT_EQ(input, 7);
  }
  EXPECT_FALSE(QelGPIOInput(kQel, nullptr));
  EXPECT_EQ(qelsim_log_report_count(-1), 0);
}

}  // namespace
}  // namespace qel::test
