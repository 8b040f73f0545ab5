// The reasons the classic exports give for their failures: the code and the
// sentence of QelLastErrorCode / QelLastError after a failing call, and that a
// succeeding call clears them.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "support/rig_fixture.h"

namespace qel::test {
namespace {

std::string LastText() {
  char text[512];
  return QelLastError(text, sizeof text) < 0 ? "<unreadable>" : text;
}

#define EXPECT_REASON(code, text)             \
  do {                                        \
    EXPECT_EQ(QelLastErrorCode(), (code));    \
    EXPECT_EQ(LastText(), std::string(text)); \
  } while (0)

class ErrorReasonsTest : public EveryModelRigTest {
 protected:
  void SetUp() override {
    EveryModelRigTest::SetUp();
    OpenFamily();
    ASSERT_EQ(QelOpen(kWebcam, 640, 480, 30.0, "YUY2"), 1) << "capture only";
  }
};

TEST_F(ErrorReasonsTest, ArgumentsRangesAndMissingSettingsAreNamed) {
  EXPECT_FALSE(QelSetShutter(7, 100));
  EXPECT_REASON(QEL_ERROR_NO_CAMERA, "QelSetShutter: no camera is open under key 7");
  EXPECT_FALSE(QelGetPixelDefectOnOff(-1, nullptr));
  EXPECT_REASON(QEL_ERROR_NO_CAMERA, "QelGetPixelDefectOnOff: no camera is open under key -1");

  EXPECT_FALSE(QelGetShutter(kQel5, nullptr));
  EXPECT_REASON(QEL_ERROR_BAD_ARGUMENT, "QelGetShutter: lines is NULL");
  uint16_t g = 0;
  EXPECT_FALSE(QelXGetDigitalGainMax(kQel5, &g, &g, nullptr, &g));
  EXPECT_REASON(QEL_ERROR_BAD_ARGUMENT, "QelXGetDigitalGainMax: gain3 is NULL");

  EXPECT_FALSE(QelSetShutter(kQel5, 20000));
  EXPECT_REASON(QEL_ERROR_OUT_OF_RANGE,
                "QelSetShutter: 20000 lines is outside 1..10000 for a QEL5");
  EXPECT_FALSE(QelXSetDigitalGain(kQel2, 300, 300, 100, 300));
  EXPECT_REASON(QEL_ERROR_OUT_OF_RANGE,
                "QelXSetDigitalGain: gain3 100 is outside 256..4095 for a QEL2");
  EXPECT_FALSE(QelSetLed(kWebcam, 65));
  EXPECT_REASON(QEL_ERROR_OUT_OF_RANGE, "QelSetLed: level 65 is outside 0..64 for a webcam");
  EXPECT_FALSE(QelSetGain(kQel5, 241));
  EXPECT_REASON(QEL_ERROR_OUT_OF_RANGE, "QelSetGain: gain 241 is outside 0..240 for a QEL5");
  EXPECT_FALSE(QelSetPixelDefect(kQel2, 1, 2, std::vector<QelDefectPoint>(20, {328, 0}).data()));
  EXPECT_REASON(QEL_ERROR_OUT_OF_RANGE,
                "QelSetPixelDefect: point 0 (328, 0) lies outside the 328x204 frame of size index "
                "2 of a QEL2");

  EXPECT_FALSE(Qel5SetAnalogGain(kQel2, 3));
  EXPECT_REASON(QEL_ERROR_NOT_SUPPORTED,
                "Qel5SetAnalogGain: a QEL2 has no analog gain; only a QEL5 has");
  EXPECT_FALSE(QelGPIOOutput(kQel5, 1));
  EXPECT_REASON(QEL_ERROR_NOT_SUPPORTED, "QelGPIOOutput: a QEL5 has no GPIO; only a QEL has");
  int32_t value = 0;
  EXPECT_FALSE(QelXGetGain(kWebcam, &value));
  EXPECT_REASON(QEL_ERROR_NOT_SUPPORTED,
                "QelXGetGain: the device under key 3 is not a camera of the family");

  char text[4];
  EXPECT_FALSE(QelVersion(kQel5, text, sizeof text));
  EXPECT_EQ(QelLastErrorCode(), QEL_ERROR_BUFFER_TOO_SMALL);
  EXPECT_EQ(LastText().rfind("QelVersion: the version text \"", 0), 0u) << LastText();

  // Reading the reason leaves it; the next call that succeeds clears it.
  EXPECT_EQ(QelLastErrorCode(), QEL_ERROR_BUFFER_TOO_SMALL);
  EXPECT_TRUE(QelSetShutter(kQel5, 10000));
  EXPECT_REASON(QEL_OK, "");
}

TEST_F(ErrorReasonsTest, CameraAndPlatformFailuresAreNamed) {
  qelsim_firmware_fault(kQel5, 0x32, QELSIM_FW_STATUS, 0x05, 0, 1);
  EXPECT_FALSE(QelSetShutter(kQel5, 100));
  EXPECT_REASON(QEL_ERROR_REFUSED, "QelSetShutter: the camera refused command 0x32 (status 0x05)");
  qelsim_firmware_fault(kQel2, -1, QELSIM_FW_SILENT, 0, 0, 1);
  uint32_t serial = 0;
  EXPECT_FALSE(QelGetSerialNo(kQel2, &serial));
  EXPECT_REASON(QEL_ERROR_TIMEOUT,
                "QelGetSerialNo: the camera did not answer command 0xE0 within 5000 ms");
  qelsim_firmware_fault(kQel5, 0x22, QELSIM_FW_STATUS, 0x01, 0, 1);
  EXPECT_FALSE(QelSetSerialNo(kQel5, 42));
  EXPECT_REASON(
      QEL_ERROR_REFUSED,
      "QelSetSerialNo: the camera refused to erase memory blocks 0x07..0x07 (status 0x01)");
  qelsim_firmware_fault(kQel5, 0x20, QELSIM_FW_BAD_ECHO, 0, 3, 1);
  EXPECT_FALSE(QelSetSerialNo(kQel5, 42));
  EXPECT_EQ(QelLastErrorCode(), QEL_ERROR_REFUSED);
  EXPECT_EQ(LastText().rfind("QelSetSerialNo: the camera answered the memory write at 0x0700A8 for "
                             "address ",
                             0),
            0u)
      << LastText();

  qelsim_inject_fault(kQel5, "Set", 0, 1);
  EXPECT_FALSE(QelSetLed(kQel5, 10));
  EXPECT_REASON(QEL_ERROR_PLATFORM,
                "QelSetLed: setting the brightness property to 10 failed (0x80004005)");
  qelsim_inject_fault(kQel2, "GetRange", 0, 1);
  int32_t gain = 0;
  EXPECT_FALSE(QelGetGain(kQel2, &gain));
  EXPECT_REASON(QEL_ERROR_PLATFORM,
                "QelGetGain: the range of the gain property could not be read (0x80004005)");
  EXPECT_TRUE(QelGetGain(kQel2, &gain));
  EXPECT_REASON(QEL_OK, "");
}

TEST_F(ErrorReasonsTest, FirmwareFilesAndRewritesAreNamed) {
  const std::string missing = ::testing::TempDir() + "qel_no_such_dir/none.bin";
  EXPECT_FALSE(QelSoftRewrite(kQel5, missing.c_str()));
  EXPECT_EQ(QelLastErrorCode(), QEL_ERROR_FILE);
  EXPECT_EQ(LastText().rfind("QelSoftRewrite: \"" + missing + "\" cannot be opened: ", 0), 0u)
      << LastText();

  const std::string path = ::testing::TempDir() + "qel_error_reasons.bin";
  std::FILE* file = std::fopen(path.c_str(), "wb");
  ASSERT_NE(file, nullptr);
  std::fclose(file);
  EXPECT_FALSE(QelSoftRewrite(kQel5, path.c_str()));
  EXPECT_REASON(QEL_ERROR_FILE, "QelSoftRewrite: \"" + path + "\" is empty");

  int32_t seconds = 0;
  float percent = 0.0f;
  EXPECT_EQ(QelSoftRewriteState(kQel5, &seconds, &percent), -1);
  EXPECT_REASON(QEL_ERROR_BAD_ARGUMENT,
                "QelSoftRewriteState: no firmware rewrite was started on the camera under key 0");

  // A rewrite whose every block write is refused: a second one is refused
  // while it runs, and its poll tells why it failed.
  file = std::fopen(path.c_str(), "wb");
  ASSERT_NE(file, nullptr);
  std::fputs("firmware", file);
  std::fclose(file);
  qelsim_firmware_fault(kQel5, 0x20, QELSIM_FW_STATUS, 0x01, 0, -1);
  qelsim_hold_firmware(kQel5, 0x20, 0);
  ASSERT_TRUE(QelSoftRewrite(kQel5, path.c_str()));
  EXPECT_FALSE(QelSoftRewrite(kQel5, path.c_str()));
  EXPECT_REASON(QEL_ERROR_BUSY, "QelSoftRewrite: a firmware rewrite is already under way");
  qelsim_release_firmware(kQel5);
  int32_t state = 0;
  for (int poll = 0; poll < 30000 && (state = QelSoftRewriteState(kQel5, &seconds, &percent)) > 0;
       ++poll) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  EXPECT_EQ(state, -1);
  EXPECT_REASON(QEL_ERROR_REFUSED,
                "QelSoftRewriteState: the firmware rewrite failed: writing the block at 0x000000 "
                "failed 6 times; the last time: the camera refused the memory write at 0x000000 "
                "(status 0x01)");
  std::remove(path.c_str());
}

// Every classic export that returns a value, called with a key and values
// chosen by the mode; the result as a number, its failure value beside it
// (none for the frame calls, whose 0 may also mean "no frame yet").
enum class Mode { kValid, kNull, kOutOfRange };
struct Classic {
  const char* name;
  std::function<long long(int32_t key, Mode mode)> call;
  bool hasFailureValue = true;
  long long failure = 0;
};

std::vector<Classic> ClassicExports(const std::string& missingFile) {
  static unsigned char frame[1920 * 1080 * 2];
  static char text[64];
  static uint16_t u16[4];
  static int32_t i32;
  static uint8_t u8;
  static uint32_t u32;
  static double seconds;
  static float percent;
  static QelDefectPoint points[20];
  std::memset(points, 0xFF, sizeof points);
  const auto p = [](Mode mode, auto* pointer) { return mode == Mode::kNull ? nullptr : pointer; };
  const auto v = [](Mode mode, long long valid, long long outside) {
    return static_cast<int32_t>(mode == Mode::kOutOfRange ? outside : valid);
  };
  using M = Mode;
  return {
      {"QelDLLVersion", [=](int32_t, M m) { return QelDLLVersion(p(m, text), 8); }},
      {"QelOpen", [=](int32_t k, M) { return QelOpen(k, 1, 1, 30.0, "YUY2"); }, true, -1},
      {"QelOpenSerialNo",
       [=](int32_t, M m) { return QelOpenSerialNo(p(m, "QEL5#DEADBEEF"), &i32, 1920, 1080, 30.0); },
       true, -1},
      {"QelGetDevice", [=](int32_t, M m) { return QelGetDevice(p(m, text), 2); }, true, -1},
      {"QelGetDeviceWithSerialNo",
       [=](int32_t, M m) { return QelGetDeviceWithSerialNo(p(m, text), 2); }, true, -1},
      {"QelReceiveImage", [=](int32_t k, M m) { return QelReceiveImage(k, p(m, frame)); }, false},
      {"QelGetBufferSize", [=](int32_t k, M) { return QelGetBufferSize(k); }, false},
      {"QelGetFormat", [=](int32_t k, M m) { return QelGetFormat(k, p(m, text), 2); }},
      {"QelSetDigitalGain",
       [=](int32_t k, M m) { return QelSetDigitalGain(k, 300, v(m, 300, 5000), 300, 300); }},
      {"QelGetDigitalGain",
       [=](int32_t k, M m) { return QelGetDigitalGain(k, u16, u16, p(m, u16), u16); }},
      {"QelXSetDigitalGain",
       [=](int32_t k, M m) { return QelXSetDigitalGain(k, 300, 300, 300, v(m, 300, 70000)); }},
      {"QelXGetDigitalGain",
       [=](int32_t k, M m) { return QelXGetDigitalGain(k, p(m, u16), u16, u16, u16); }},
      {"QelXGetDigitalGainMax",
       [=](int32_t k, M m) { return QelXGetDigitalGainMax(k, u16, p(m, u16), u16, u16); }},
      {"QelXGetDigitalGainMin",
       [=](int32_t k, M m) { return QelXGetDigitalGainMin(k, u16, u16, u16, p(m, u16)); }},
      {"QelSetShutter", [=](int32_t k, M m) { return QelSetShutter(k, v(m, 100, 0)); }},
      {"QelGetShutter", [=](int32_t k, M m) { return QelGetShutter(k, p(m, u16)); }},
      {"QelGetShutterMax", [=](int32_t k, M m) { return QelGetShutterMax(k, p(m, u16)); }},
      {"QelGetShutterMin", [=](int32_t k, M m) { return QelGetShutterMin(k, p(m, u16)); }},
      {"QelSetShutterTime",
       [=](int32_t k, M m) { return QelSetShutterTime(k, m == M::kOutOfRange ? 2.0 : 0.01); }},
      {"QelGetShutterTime", [=](int32_t k, M m) { return QelGetShutterTime(k, p(m, &seconds)); }},
      {"Qel5SetAnalogGain", [=](int32_t k, M m) { return Qel5SetAnalogGain(k, v(m, 3, 16)); }},
      {"Qel5GetAnalogGain", [=](int32_t k, M m) { return Qel5GetAnalogGain(k, p(m, &i32)); }},
      {"QelSetRegister", [=](int32_t k, M) { return QelSetRegister(k, 0x10, 1); }},
      {"QelGetRegister", [=](int32_t k, M m) { return QelGetRegister(k, 0x10, p(m, &u8)); }},
      {"QelSetRegisterW", [=](int32_t k, M) { return QelSetRegisterW(k, 0x10, 1); }},
      {"QelGetRegisterW", [=](int32_t k, M m) { return QelGetRegisterW(k, 0x10, p(m, u16)); }},
      {"QelVersion", [=](int32_t k, M m) { return QelVersion(k, p(m, text), sizeof text); }},
      {"QelTemperature", [=](int32_t k, M m) { return QelTemperature(k, v(m, 1, 3), p(m, &i32)); }},
      {"QelGetSerialNo", [=](int32_t k, M m) { return QelGetSerialNo(k, p(m, &u32)); }},
      {"QelSetSerialNo", [=](int32_t k, M) { return QelSetSerialNo(k, 0x1234); }},
      {"QelSetPixelDefect",
       [=](int32_t k, M m) { return QelSetPixelDefect(k, 1, v(m, 0, 3), p(m, points)); }},
      {"QelGetPixelDefect",
       [=](int32_t k, M m) { return QelGetPixelDefect(k, v(m, 1, 0), 0, p(m, points)); }},
      {"QelSetPixelDefectOnOff",
       [=](int32_t k, M m) { return QelSetPixelDefectOnOff(k, v(m, 1, 2)); }},
      {"QelGetPixelDefectOnOff",
       [=](int32_t k, M m) { return QelGetPixelDefectOnOff(k, p(m, &i32)); }},
      {"QelCameraRecognition", [=](int32_t k, M m) { return QelCameraRecognition(k, p(m, &u8)); }},
      {"QelUSBMode", [=](int32_t k, M m) { return QelUSBMode(k, p(m, &u8)); }},
      {"QelGPIODirection", [=](int32_t k, M) { return QelGPIODirection(k, 1); }},
      {"QelGPIOOutput", [=](int32_t k, M) { return QelGPIOOutput(k, 1); }},
      {"QelGPIOInput", [=](int32_t k, M m) { return QelGPIOInput(k, p(m, &u8)); }},
      {"QelSetLed", [=](int32_t k, M m) { return QelSetLed(k, v(m, 10, 65)); }},
      {"QelGetLed", [=](int32_t k, M m) { return QelGetLed(k, p(m, &i32)); }},
      {"QelSetGain", [=](int32_t k, M m) { return QelSetGain(k, v(m, 10, -1)); }},
      {"QelGetGain", [=](int32_t k, M m) { return QelGetGain(k, p(m, &i32)); }},
      {"QelXSetGain", [=](int32_t k, M m) { return QelXSetGain(k, v(m, 10, 5000)); }},
      {"QelXGetGain", [=](int32_t k, M m) { return QelXGetGain(k, p(m, &i32)); }},
      {"QelXGetGainMax", [=](int32_t k, M m) { return QelXGetGainMax(k, p(m, &i32)); }},
      {"QelXGetGainMin", [=](int32_t k, M m) { return QelXGetGainMin(k, p(m, &i32)); }},
      {"QelSetExposure", [=](int32_t k, M m) { return QelSetExposure(k, v(m, -5, 1)); }},
      {"QelGetExposure", [=](int32_t k, M m) { return QelGetExposure(k, p(m, &i32)); }},
      {"QelSetCameraNo", [=](int32_t k, M m) { return QelSetCameraNo(k, v(m, 1, 3)); }},
      {"QelGetCameraNo", [=](int32_t k, M m) { return QelGetCameraNo(k, p(m, &i32)); }},
      {"QelSetColorBar", [=](int32_t k, M m) { return QelSetColorBar(k, v(m, 0, 2)); }},
      {"QelGetColorBar", [=](int32_t k, M m) { return QelGetColorBar(k, p(m, &i32)); }},
      {"QelSoftRewrite",
       [=](int32_t k, M m) { return QelSoftRewrite(k, p(m, missingFile.c_str())); }},
      {"QelSoftRewriteState",
       [=](int32_t k, M m) { return QelSoftRewriteState(k, &i32, p(m, &percent)); }, true, -1},
  };
}

// Every failure of a classic export, in a broad sweep of keys, models,
// arguments and camera faults, names the export and a reason of its own: a
// failure site that recorded none would read "the call failed".
TEST_F(ErrorReasonsTest, NoClassicFailureFallsBackToTheGeneralReason) {
  const std::string missing = ::testing::TempDir() + "qel_no_such_dir/none.bin";
  const std::vector<Classic> exports = ClassicExports(missing);
  EXPECT_EQ(exports.size(), 55u) << "every classic export but QelClose";
  int failures = 0;
  const auto sweep = [&](int32_t key, Mode mode, const char* condition) {
    for (const Classic& entry : exports) {
      const long long result = entry.call(key, mode);
      const int32_t code = QelLastErrorCode();
      const std::string text = LastText();
      if (entry.hasFailureValue && result == entry.failure) {
        EXPECT_NE(code, QEL_OK) << entry.name << ", " << condition;
      }
      if (code == QEL_OK) continue;
      ++failures;
      EXPECT_EQ(text.rfind(std::string(entry.name) + ": ", 0), 0u) << text << ", " << condition;
      EXPECT_EQ(text.find("the call failed"), std::string::npos) << text << ", " << condition;
    }
  };
  for (const int32_t key : {7, -1}) sweep(key, Mode::kValid, "no camera under the key");
  for (const int32_t key : {kQel5, kQel2, kQel, kWebcam}) {
    sweep(key, Mode::kNull, "NULL pointers");
    sweep(key, Mode::kOutOfRange, "values out of range");
    sweep(key, Mode::kValid, "valid values");
  }
  ASSERT_EQ(qelsim_firmware_fault(kQel5, -1, QELSIM_FW_STATUS, 0x01, 0, -1), 0);
  for (const char* operation : {"GetRange", "Get", "Set"})
    qelsim_inject_fault(-1, operation, 0, -1);
  for (const int32_t key : {kQel5, kWebcam}) sweep(key, Mode::kValid, "refusals and faults");
  qelsim_clear_faults();
  ASSERT_EQ(qelsim_firmware_fault(kQel2, -1, QELSIM_FW_SILENT, 0, 0, -1), 0);
  sweep(kQel2, Mode::kValid, "a camera that does not answer");
  EXPECT_GT(failures, 300);
}

}  // namespace
}  // namespace qel::test
