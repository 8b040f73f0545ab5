// Registers, version text, temperature and serial number through the
// exports, with the request bytes read from the rig's log.
#include <array>
#include <cstring>

#include "support/rig_fixture.h"

namespace qel::test {
namespace {

class RegistersInfoTest : public RigTest {
 protected:
  void SetUp() override {
    RigTest::SetUp();
    ASSERT_EQ(QelOpen(0, 1920, 1080, 30.0, "YUY2"), 0);
    qelsim_log_clear();
  }

  static int Sent() { return qelsim_log_report_count(kQel5Device); }
  static std::array<unsigned char, 1232> CameraBlock() {
    std::array<unsigned char, 1232> block{};
    qelsim_read_memory(kQel5Device, 0x070000, block.data(), block.size());
    return block;
  }
};

TEST_F(RegistersInfoTest, RegisterAddressesAndValuesTravelInTheirLowBits) {
  EXPECT_TRUE(QelSetRegister(0, 0x12345, 0x1FF));
  EXPECT_EQ(ReportHex(kQel5Device, 0, 2, 5), "F2 23 45 FF 00");
  EXPECT_TRUE(QelSetRegisterW(0, 0x1000D, 0x1ABCD));
  EXPECT_EQ(ReportHex(kQel5Device, 1, 2, 6), "F4 00 0D AB CD 00");
  int value = 0;
  qelsim_get_register(kQel5Device, 8, 0x2345, &value);
  EXPECT_EQ(value, 0xFF);
  qelsim_get_register(kQel5Device, 16, 0x000D, &value);
  EXPECT_EQ(value, 0xABCD);

  uint8_t byte = 0;
  EXPECT_TRUE(QelGetRegister(0, static_cast<int32_t>(0xFFFF2345u), &byte));
  EXPECT_EQ(ReportHex(kQel5Device, 2, 2, 4), "F3 23 45 00");
  EXPECT_EQ(byte, 0xFF);
  uint16_t word = 0;
  EXPECT_TRUE(QelGetRegisterW(0, 0x000D, &word));
  EXPECT_EQ(ReportHex(kQel5Device, 3, 2, 4), "F5 00 0D 00");
  EXPECT_EQ(word, 0xABCD);

  EXPECT_FALSE(QelGetRegister(0, 1, nullptr));
  EXPECT_FALSE(QelGetRegisterW(0, 1, nullptr));
  EXPECT_FALSE(QelSetRegister(-1, 1, 1));
  EXPECT_FALSE(QelSetRegisterW(5, 1, 1)) << "no camera open under key 5";
  EXPECT_EQ(Sent(), 4);
}

TEST_F(RegistersInfoTest, VersionTextMustFitWithItsTerminator) {
  ASSERT_EQ(qelsim_set_version(kQel5Device, "ABCDEFGHIJ"), 0);
  char text[16];
  std::memset(text, 'x', sizeof text);
  EXPECT_TRUE(QelVersion(0, text, 11));
  EXPECT_STREQ(text, "ABCDEFGHIJ");
  EXPECT_EQ(ReportHex(kQel5Device, 0, 2, 3), "FF 00 00");

  std::memset(text, 'x', sizeof text);
  EXPECT_FALSE(QelVersion(0, text, 10));
  EXPECT_EQ(text[0], '\0') << "left holding an empty string";
  EXPECT_EQ(text[1], 'x');

  EXPECT_FALSE(QelVersion(0, nullptr, 11));
  EXPECT_FALSE(QelVersion(0, text, 0));
  EXPECT_FALSE(QelVersion(0, text, -1));
  EXPECT_EQ(Sent(), 2) << "no buffer, nothing sent";

  // The longest text the reply carries: 61 characters, ended by the status.
  const std::string longest(61, 'V');
  ASSERT_EQ(qelsim_set_version(kQel5Device, longest.c_str()), 0);
  char big[80];
  EXPECT_TRUE(QelVersion(0, big, sizeof big));
  EXPECT_EQ(std::string(big), longest);
}

TEST_F(RegistersInfoTest, TemperatureTypesOneAndTwoOnly) {
  ASSERT_EQ(qelsim_set_temperature(kQel5Device, 2, 200), 0);
  int32_t temperature = -1;
  EXPECT_TRUE(QelTemperature(0, 2, &temperature));
  EXPECT_EQ(temperature, 200) << "an unsigned byte";
  EXPECT_EQ(ReportHex(kQel5Device, 0, 2, 3), "10 02 00");
  EXPECT_TRUE(QelTemperature(0, 1, &temperature));
  EXPECT_EQ(temperature, 45);

  temperature = -1;
  EXPECT_FALSE(QelTemperature(0, 0, &temperature));
  EXPECT_FALSE(QelTemperature(0, 3, &temperature));
  EXPECT_FALSE(QelTemperature(0, 0x101, &temperature)) << "the type is not cut to a byte";
  EXPECT_FALSE(QelTemperature(0, 1, nullptr));
  EXPECT_EQ(temperature, -1);
  EXPECT_EQ(Sent(), 2);
}

TEST_F(RegistersInfoTest, SerialNumberIsBigEndianInReplyAndDataBlock) {
  uint32_t serial = 0;
  EXPECT_TRUE(QelGetSerialNo(0, &serial));
  EXPECT_EQ(serial, 0x0000ABCDu);
  EXPECT_EQ(ReportHex(kQel5Device, 0, 2, 2), "E0 00");
  qelsim_set_firmware_serial(kQel5Device, 0x01020304);
  EXPECT_TRUE(QelGetSerialNo(0, &serial));
  EXPECT_EQ(serial, 0x01020304u) << "asked of the camera, not the open copy";
  EXPECT_FALSE(QelGetSerialNo(0, nullptr));

  std::array<unsigned char, 1232> expected = CameraBlock();
  qelsim_log_clear();
  ASSERT_TRUE(QelSetSerialNo(0, 0x01020304));
  EXPECT_EQ(Sent(), 23) << "an erase and 22 chunks";
  EXPECT_EQ(ReportHex(kQel5Device, 0, 2, 3), "22 07 07");
  EXPECT_EQ(ReportHex(kQel5Device, 1, 2, 8), "20 07 00 00 01 02 03 04");
  EXPECT_EQ(ReportHex(kQel5Device, 22, 2, 4), "20 07 04 98");
  expected[0] = 0x01, expected[1] = 0x02, expected[2] = 0x03, expected[3] = 0x04;
  EXPECT_EQ(CameraBlock(), expected) << "every other byte carried over";

  // The open copy follows: a defect-table write carries the new serial.
  QelDefectPoint points[QEL_DEFECT_POINTS];
  for (QelDefectPoint& p : points) p = {0xFFFF, 0xFFFF};
  qelsim_log_clear();
  ASSERT_TRUE(QelSetPixelDefect(0, 1, 0, points));
  EXPECT_EQ(ReportHex(kQel5Device, 1, 2, 8), "20 07 00 00 01 02 03 04");
}

TEST_F(RegistersInfoTest, FailedSerialWritesKeepTheOpenCopy) {
  const std::array<unsigned char, 1232> original = CameraBlock();
  qelsim_firmware_fault(kQel5Device, 0x22, QELSIM_FW_STATUS, 1, 0, 1);
  EXPECT_FALSE(QelSetSerialNo(0, 0x11223344));
  EXPECT_EQ(Sent(), 1) << "a refused erase writes nothing";
  EXPECT_EQ(CameraBlock(), original);

  qelsim_log_clear();
  qelsim_firmware_fault(kQel5Device, 0x20, QELSIM_FW_STATUS, 1, 3, 1);
  EXPECT_FALSE(QelSetSerialNo(0, 0x11223344));
  EXPECT_EQ(Sent(), 5) << "erase and chunks up to the refused fourth";
  EXPECT_EQ(ReportHex(kQel5Device, 1, 2, 8), "20 07 00 00 11 22 33 44");

  // The next write starts again from the copy, whose serial is the old one.
  QelDefectPoint points[QEL_DEFECT_POINTS];
  for (QelDefectPoint& p : points) p = {0xFFFF, 0xFFFF};
  qelsim_log_clear();
  ASSERT_TRUE(QelSetPixelDefect(0, 1, 0, points));
  EXPECT_EQ(ReportHex(kQel5Device, 1, 2, 8), "20 07 00 00 00 00 AB CD");
  EXPECT_EQ(CameraBlock(), original);
}

// Any reply with a non-zero status fails every command export, and no
// out-parameter is written.
TEST_F(RegistersInfoTest, RefusedRepliesFailEveryCommandAndWriteNothing) {
  ASSERT_EQ(qelsim_add_camera("QEL", 0x77), 4);
  qelsim_remove_device(kWebcamDevice);  // its comma-split name would shift the "QEL" key
  ASSERT_EQ(QelOpen(2, 1280, 720, 60.0, "YUY2"), 0);
  for (int device : {kQel5Device, 4}) qelsim_firmware_fault(device, -1, QELSIM_FW_STATUS, 1, 0, -1);
  qelsim_log_clear();

  uint8_t byte = 7;
  uint16_t word = 7, g[4] = {7, 7, 7, 7};
  int32_t number = 7;
  uint32_t serial = 7;
  double seconds = 7.0;
  char text[8] = "keep";
  EXPECT_FALSE(QelGetRegister(0, 1, &byte));
  EXPECT_FALSE(QelGetRegisterW(0, 1, &word));
  EXPECT_FALSE(QelVersion(0, text, sizeof text));
  EXPECT_FALSE(QelTemperature(0, 1, &number));
  EXPECT_FALSE(QelGetSerialNo(0, &serial));
  EXPECT_FALSE(QelGetDigitalGain(0, &g[0], &g[1], &g[2], &g[3]));
  EXPECT_FALSE(QelXGetDigitalGain(0, &g[0], &g[1], &g[2], &g[3]));
  EXPECT_FALSE(QelGetShutter(0, &word));
  EXPECT_FALSE(QelGetShutterTime(0, &seconds));
  EXPECT_FALSE(Qel5GetAnalogGain(0, &number));
  EXPECT_FALSE(QelCameraRecognition(0, &byte));
  EXPECT_FALSE(QelUSBMode(0, &byte));
  EXPECT_FALSE(QelGPIOInput(2, &byte));
  EXPECT_FALSE(QelSetRegister(0, 1, 1));
  EXPECT_FALSE(QelSetRegisterW(0, 1, 1));
  EXPECT_FALSE(QelSetDigitalGain(0, 1, 1, 1, 1));
  EXPECT_FALSE(QelXSetDigitalGain(0, 1, 1, 1, 1));
  EXPECT_FALSE(QelSetShutter(0, 1));
  EXPECT_FALSE(QelSetShutterTime(0, 0.001));
  EXPECT_FALSE(Qel5SetAnalogGain(0, 1));
  EXPECT_FALSE(QelGPIODirection(2, 1));
  EXPECT_FALSE(QelGPIOOutput(2, 1));
  EXPECT_EQ(qelsim_log_report_count(-1), 22) << "each asked the camera once";
  EXPECT_EQ(byte, 7);
  EXPECT_EQ(word, 7);
  EXPECT_EQ(g[0] + g[1] + g[2] + g[3], 28);
  EXPECT_EQ(number, 7);
  EXPECT_EQ(serial, 7u);
  EXPECT_EQ(seconds, 7.0);
  EXPECT_STREQ(text, "keep") << "a refused version leaves the caller's text";
}

}  // namespace
}  // namespace qel::test
