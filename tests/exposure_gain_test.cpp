// Digital gain, shutter lines, shutter time and analog gain through the
// exports, per camera model, with the request bytes read from the rig's log.
#include <cmath>
#include <limits>
#include <mutex>
#include <utility>

#include "capture/capture_context.h"
#include "capture/capture_graph.h"
#include "core/camera_table.h"
#include "hid/shutter_time_table.h"
#include "support/rig_fixture.h"

namespace qel::test {
namespace {

class ExposureGainTest : public EveryModelRigTest {
 protected:
  // Stops the camera's capture but leaves it open.
  static void StopCaptureOf(int key) {
    ASSERT_EQ(StopCapture(CameraTable::Instance().CaptureIndexOf(key)), kStopDone);
  }
  static int Sent(int device = -1) { return qelsim_log_report_count(device); }
  static uint16_t FirmwareShutter(int device) {
    int direction = 0, output = 0;
    uint16_t gains[4] = {}, shutter = 0;
    qelsim_get_firmware_state(device, &direction, &output, gains, &shutter);
    return shutter;
  }
};

TEST_F(ExposureGainTest, ShutterLinesAreRangeCheckedPerModel) {
  OpenFamily();
  for (int key : {kQel, kQel2}) {
    SCOPED_TRACE(key);
    qelsim_log_clear();
    EXPECT_TRUE(QelSetShutter(key, 65530));
    EXPECT_EQ(ReportHex(key, 0, 2, 4), "32 FF FA 00");
    EXPECT_FALSE(QelSetShutter(key, 65531));
    EXPECT_FALSE(QelSetShutter(key, 0));
    EXPECT_FALSE(QelSetShutter(key, 0x10000)) << "only the low 16 bits count: 0";
    EXPECT_EQ(Sent(key), 1);
    uint16_t lines = 0;
    EXPECT_TRUE(QelGetShutter(key, &lines));
    EXPECT_EQ(lines, 65530);
    uint16_t max = 0, min = 0;
    EXPECT_TRUE(QelGetShutterMax(key, &max));
    EXPECT_TRUE(QelGetShutterMin(key, &min));
    EXPECT_EQ(max, 65530);
    EXPECT_EQ(min, 1);
    EXPECT_EQ(Sent(key), 2) << "the range queries send nothing";
  }

  qelsim_log_clear();
  EXPECT_TRUE(QelSetShutter(kQel5, 10000));
  EXPECT_EQ(ReportHex(kQel5, 0, 2, 4), "32 27 10 00");
  EXPECT_FALSE(QelSetShutter(kQel5, 10001));
  EXPECT_FALSE(QelSetShutter(kQel5, 0));
  EXPECT_TRUE(QelSetShutter(kQel5, 0x10001)) << "low 16 bits: 1";
  EXPECT_EQ(ReportHex(kQel5, 1, 2, 3), "32 00 01");
  EXPECT_EQ(FirmwareShutter(kQel5), 1);
  uint16_t max = 0, min = 0;
  EXPECT_TRUE(QelGetShutterMax(kQel5, &max));
  EXPECT_TRUE(QelGetShutterMin(kQel5, &min));
  EXPECT_EQ(max, 10000);
  EXPECT_EQ(min, 1);
  EXPECT_EQ(Sent(), 2);
}

TEST_F(ExposureGainTest, PlainDigitalGainIsQuarteredOnQel5AndLimitedTo4095) {
  OpenFamily();
  EXPECT_TRUE(QelSetDigitalGain(kQel5, 4095, 4, 3, 0x10000 + 256));
  EXPECT_EQ(ReportHex(kQel5, 0, 2, 10), "30 03 FF 00 01 00 00 00 40 00");
  EXPECT_TRUE(QelSetDigitalGain(kQel2, 4095, 1, 2, 3));
  EXPECT_EQ(ReportHex(kQel2, 0, 2, 9), "30 0F FF 00 01 00 02 00 03");
  for (int key : {kQel, kQel2, kQel5}) {
    SCOPED_TRACE(key);
    EXPECT_FALSE(QelSetDigitalGain(key, 4096, 0, 0, 0));
    EXPECT_FALSE(QelSetDigitalGain(key, 0, 0, 0, 4096));
    EXPECT_FALSE(QelSetDigitalGain(key, 0, -1, 0, 0)) << "0xFFFF in the low bits";
  }
  EXPECT_EQ(Sent(), 2);

  // "QEL5" reads back four times the raw value, and 0 for 63 or less.
  ASSERT_TRUE(QelXSetDigitalGain(kQel5, 63, 64, 1023, 0));
  uint16_t g[4] = {1, 1, 1, 1};
  ASSERT_TRUE(QelGetDigitalGain(kQel5, &g[0], &g[1], &g[2], &g[3]));
  EXPECT_EQ(g[0], 0);
  EXPECT_EQ(g[1], 256);
  EXPECT_EQ(g[2], 4092);
  EXPECT_EQ(g[3], 0);
  ASSERT_TRUE(QelXGetDigitalGain(kQel5, &g[0], &g[1], &g[2], &g[3]));
  EXPECT_EQ(g[0], 63);
  EXPECT_EQ(g[1], 64);
  EXPECT_EQ(g[2], 1023);
  EXPECT_EQ(g[3], 0);
  ASSERT_TRUE(QelGetDigitalGain(kQel2, &g[0], &g[1], &g[2], &g[3]));
  EXPECT_EQ(g[0], 4095) << "other models read unscaled";
  EXPECT_EQ(g[3], 3);
}

TEST_F(ExposureGainTest, RawDigitalGainRangesPerModel) {
  OpenFamily();
  for (int position = 0; position < 4; ++position) {
    int32_t gains[4] = {256, 256, 256, 256};
    gains[position] = 255;
    EXPECT_FALSE(QelXSetDigitalGain(kQel2, gains[0], gains[1], gains[2], gains[3])) << position;
  }
  EXPECT_FALSE(QelXSetDigitalGain(kQel2, 256, 256, 256, 4096));
  EXPECT_FALSE(QelXSetDigitalGain(kQel5, 1024, 0, 0, 0));
  EXPECT_EQ(Sent(), 0);
  EXPECT_TRUE(QelXSetDigitalGain(kQel2, 256, 4095, 256, 256));
  EXPECT_EQ(ReportHex(kQel2, 0, 2, 9), "30 01 00 0F FF 01 00 01 00");
  EXPECT_TRUE(QelXSetDigitalGain(kQel, 65535, 0, 1, 0x1FFFF));
  EXPECT_EQ(ReportHex(kQel, 0, 2, 9), "30 FF FF 00 00 00 01 FF FF");
  EXPECT_TRUE(QelXSetDigitalGain(kQel5, 1023, 0, 0, 0));
  EXPECT_EQ(ReportHex(kQel5, 0, 2, 3), "30 03 FF") << "raw values travel unscaled";

  struct Bounds {
    int key;
    uint16_t max;
    uint16_t min;
  };
  for (const Bounds& b :
       {Bounds{kQel, 65535, 0}, Bounds{kQel2, 4095, 256}, Bounds{kQel5, 1023, 0}}) {
    uint16_t g[4] = {7, 7, 7, 7};
    ASSERT_TRUE(QelXGetDigitalGainMax(b.key, &g[0], &g[1], &g[2], &g[3]));
    for (uint16_t v : g) EXPECT_EQ(v, b.max) << b.key;
    ASSERT_TRUE(QelXGetDigitalGainMin(b.key, &g[0], &g[1], &g[2], &g[3]));
    for (uint16_t v : g) EXPECT_EQ(v, b.min) << b.key;
  }
  EXPECT_EQ(Sent(), 3) << "the range queries send nothing";

  // A camera without a command channel has no range either.
  ASSERT_EQ(QelOpen(kWebcam, 640, 480, 30.0, "YUY2"), 1);
  uint16_t g[4] = {7, 7, 7, 7};
  EXPECT_FALSE(QelXGetDigitalGainMax(kWebcam, &g[0], &g[1], &g[2], &g[3]));
  EXPECT_FALSE(QelXGetDigitalGainMin(kWebcam, &g[0], &g[1], &g[2], &g[3]));
  uint16_t lines = 7;
  EXPECT_FALSE(QelGetShutterMax(kWebcam, &lines));
  EXPECT_EQ(g[0], 7);
  EXPECT_EQ(lines, 7);
}

TEST_F(ExposureGainTest, Qel5ShutterTimeIsTruncatedTenThousandthsOfASecond) {
  OpenFamily();
  EXPECT_TRUE(QelSetShutterTime(kQel5, 0.0003));
  EXPECT_EQ(ReportHex(kQel5, 0, 2, 3), "32 00 02") << "0.0003 * 10000 lies just below 3";
  EXPECT_TRUE(QelSetShutterTime(kQel5, 1.0));
  EXPECT_EQ(ReportHex(kQel5, 1, 2, 3), "32 27 10");
  EXPECT_TRUE(QelSetShutterTime(kQel5, 0.0001));
  EXPECT_EQ(ReportHex(kQel5, 2, 2, 3), "32 00 01");
  EXPECT_FALSE(QelSetShutterTime(kQel5, 0.0000999));
  EXPECT_FALSE(QelSetShutterTime(kQel5, 1.0000001));
  EXPECT_FALSE(QelSetShutterTime(kQel5, std::numeric_limits<double>::quiet_NaN()));
  EXPECT_EQ(Sent(), 3);

  ASSERT_TRUE(QelSetShutter(kQel5, 250));
  double seconds = 0.0;
  ASSERT_TRUE(QelGetShutterTime(kQel5, &seconds));
  EXPECT_DOUBLE_EQ(seconds, 250 * 0.0001);
  EXPECT_EQ(ReportHex(kQel5, 4, 2, 1), "33");
}

TEST_F(ExposureGainTest, ShutterTimeOfOtherModelsFollowsTheOpenSizeAndRate) {
  OpenFamily(5.0);
  // 0.1 ms at size 0 and 5 fps rounds to 0 lines; the camera gets at least 1.
  EXPECT_TRUE(QelSetShutterTime(kQel2, 0.0001));
  EXPECT_EQ(ReportHex(kQel2, 0, 2, 3), "32 00 01");
  EXPECT_TRUE(QelSetShutterTime(kQel2, 1.0));
  EXPECT_EQ(ReportHex(kQel2, 1, 2, 3), "32 0E A5") << "1 / 2.667e-4 - 0.0822 rounds to 3749";

  // Size 0 at 60 fps: 100 lines are (100 + 0.0822) * 2.222e-5 s, and back.
  ASSERT_TRUE(QelSetShutter(kQel, 100));
  double seconds = 0.0;
  ASSERT_TRUE(QelGetShutterTime(kQel, &seconds));
  EXPECT_DOUBLE_EQ(seconds, (100 + 0.0822) * 2.222e-5);
  EXPECT_NEAR(seconds, 0.002223826484, 1e-15);
  qelsim_log_clear();
  EXPECT_TRUE(QelSetShutterTime(kQel, seconds));
  EXPECT_EQ(ReportHex(kQel, 0, 2, 3), "32 00 64");
}

TEST(ShutterTimeTable, EveryRowAndNoOther) {
  struct Row {
    std::int32_t sizeIndex, frameRate;
    double linePeriod, lineOffset;
  };
  const Row rows[] = {
      {0, 60, 2.222e-5, 0.0822},  {0, 30, 4.396e-5, 0.0822},  {0, 10, 1.333e-4, 0.0822},
      {0, 5, 2.667e-4, 0.0822},   {1, 120, 1.852e-5, 0.0987}, {1, 60, 3.663e-5, 0.0987},
      {1, 30, 7.407e-5, 0.0987},  {1, 15, 1.481e-4, 0.0987},  {2, 240, 1.852e-5, 0.0987},
      {2, 120, 3.663e-5, 0.0987}, {2, 60, 7.407e-5, 0.0987},  {2, 40, 1.111e-4, 0.0987},
  };
  for (const Row& row : rows) {
    ShutterTiming timing{};
    ASSERT_TRUE(LookupShutterTiming(row.sizeIndex, row.frameRate, timing))
        << row.sizeIndex << " at " << row.frameRate;
    EXPECT_EQ(timing.linePeriod, row.linePeriod) << row.sizeIndex << " at " << row.frameRate;
    EXPECT_EQ(timing.lineOffset, row.lineOffset) << row.sizeIndex << " at " << row.frameRate;
  }
  ShutterTiming timing{};
  for (const auto& [sizeIndex, frameRate] : {std::pair{0, 120}, std::pair{1, 5}, std::pair{2, 30},
                                             std::pair{3, 60}, std::pair{-1, 60}}) {
    EXPECT_FALSE(LookupShutterTiming(sizeIndex, frameRate, timing))
        << sizeIndex << " at " << frameRate;
  }
}

TEST_F(ExposureGainTest, ShutterTimeFailsWhileTheCaptureIsNotRunning) {
  OpenFamily();
  ASSERT_TRUE(QelSetShutter(kQel2, 100));
  qelsim_log_clear();
  StopCaptureOf(kQel2);

  EXPECT_FALSE(QelSetShutterTime(kQel2, 0.001));
  EXPECT_EQ(Sent(kQel2), 0) << "the setter checks everything before sending";
  double seconds = -1.0;
  EXPECT_FALSE(QelGetShutterTime(kQel2, &seconds));
  EXPECT_EQ(seconds, -1.0);
  EXPECT_EQ(Sent(kQel2), 1) << "the getter asks the camera first";
  EXPECT_EQ(ReportHex(kQel2, 0, 2, 1), "33");

  // "QEL5" needs no rate: its lines are 100 microseconds whatever the capture.
  StopCaptureOf(kQel5);
  EXPECT_TRUE(QelSetShutterTime(kQel5, 0.001));
  EXPECT_EQ(FirmwareShutter(kQel5), 10);
}

TEST_F(ExposureGainTest, AnalogGainIsQel5Register13) {
  OpenFamily();
  EXPECT_TRUE(Qel5SetAnalogGain(kQel5, 15));
  EXPECT_EQ(ReportHex(kQel5, 0, 2, 6), "F4 00 0D 00 0F 00");
  int value = 0;
  qelsim_get_register(kQel5, 16, 0x000D, &value);
  EXPECT_EQ(value, 15);
  EXPECT_FALSE(Qel5SetAnalogGain(kQel5, 16));
  EXPECT_FALSE(Qel5SetAnalogGain(kQel5, 0xFFFFFFFFu));

  qelsim_set_register(kQel5, 16, 0x000D, 0xFFFE);
  int32_t gain = -1;
  EXPECT_TRUE(Qel5GetAnalogGain(kQel5, &gain));
  EXPECT_EQ(gain, 0xFFFE) << "the 16-bit value unsigned";
  EXPECT_EQ(ReportHex(kQel5, 1, 2, 4), "F5 00 0D 00");

  for (int key : {kQel, kQel2}) {
    gain = -1;
    EXPECT_FALSE(Qel5SetAnalogGain(key, 1));
    EXPECT_FALSE(Qel5GetAnalogGain(key, &gain));
    EXPECT_EQ(gain, -1);
  }
  EXPECT_EQ(Sent(), 2);
}

TEST_F(ExposureGainTest, MissingOutputsAreRefusedWithoutSending) {
  OpenFamily();
  uint16_t g = 7;
  double seconds = 7.0;
  int32_t gain = 7;
  EXPECT_FALSE(QelGetDigitalGain(kQel5, &g, &g, nullptr, &g));
  EXPECT_FALSE(QelXGetDigitalGain(kQel5, nullptr, &g, &g, &g));
  EXPECT_FALSE(QelXGetDigitalGainMax(kQel5, &g, &g, &g, nullptr));
  EXPECT_FALSE(QelXGetDigitalGainMin(kQel5, &g, nullptr, &g, &g));
  EXPECT_FALSE(QelGetShutter(kQel5, nullptr));
  EXPECT_FALSE(QelGetShutterMax(kQel5, nullptr));
  EXPECT_FALSE(QelGetShutterMin(kQel5, nullptr));
  EXPECT_FALSE(QelGetShutterTime(kQel5, nullptr));
  EXPECT_FALSE(Qel5GetAnalogGain(kQel5, nullptr));
  EXPECT_EQ(g, 7);
  EXPECT_EQ(Sent(), 0);
  EXPECT_FALSE(QelGetShutterTime(-1, &seconds));
  EXPECT_FALSE(Qel5GetAnalogGain(9, &gain));
  EXPECT_EQ(seconds, 7.0);
  EXPECT_EQ(gain, 7);
}

}  // namespace
}  // namespace qel::test
