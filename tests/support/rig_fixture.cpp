#include "support/rig_fixture.h"

#include <cstdio>
#include <mutex>

#include "capture/capture_context.h"
#include "capture/capture_graph.h"
#include "capture/media_format.h"
#include "core/camera_table.h"
#include "core/listing_size.h"

namespace qel::test {

namespace {
// Read before any test runs, so that tests can check what a process starts with.
const std::int32_t listBufferSizeAtStart = ListBufferSize().load();
}  // namespace

std::int32_t ListBufferSizeAtStart() { return listBufferSizeAtStart; }

namespace {
// Where a hardware backend is built the library starts on it; every program
// of this suite runs on the rig.
const bool rigEnabled = [] {
  qelsim_enable(1);
  return true;
}();
}  // namespace

void RigTest::SetUp() {
  qelsim_reset(1);
  qelsim_set_virtual_time(1);
}

// Everything the library keeps for the process goes back to how a process
// starts, so that tests do not depend on running one per process.
void RigTest::TearDown() {
  qelsim_clear_faults();
  for (int index = 0; index < kCaptureContexts; ++index) StopCapture(index);
  CameraTable::Instance().ResetForTesting();
  ListBufferSize().store(listBufferSizeAtStart);
  CaptureState& capture = Capture();
  capture.lastWidth = 640;
  capture.lastHeight = 480;
  capture.lastFrameRate = 30.0;
  qelsim_reset(0);
}

void EmptyRigTest::SetUp() {
  qelsim_reset(0);
  qelsim_set_virtual_time(1);
}

void EveryModelRigTest::SetUp() {
  EmptyRigTest::SetUp();
  ASSERT_EQ(qelsim_add_camera("QEL5", 0x0000ABCD), kQel5);
  ASSERT_EQ(qelsim_add_camera("QEL2", 0x00C0FFEE), kQel2);
  ASSERT_EQ(qelsim_add_camera("QEL", 0x00000123), kQel);
  ASSERT_EQ(qelsim_add_webcam("Webcam"), kWebcam);
}

void EveryModelRigTest::OpenFamily(double qel2Rate) {
  ASSERT_EQ(QelOpen(kQel5, 1920, 1080, 30.0, "YUY2"), 0);
  ASSERT_EQ(QelOpen(kQel2, 1280, 720, qel2Rate, "YUY2"), 0);
  ASSERT_EQ(QelOpen(kQel, 1280, 720, 60.0, "YUY2"), 0);
  qelsim_log_clear();
}

std::int32_t StartRigCapture(int captureIndex, std::int32_t device, std::int32_t width,
                             std::int32_t height, double frameRate, const char* format) {
  return StartCapture(captureIndex, device, width, height, frameRate,
                      SubtypeFromName(format).value_or(platform::Guid{}));
}

std::string ReportHex(int device, int index, int firstByte, int count) {
  unsigned char report[65] = {};
  if (qelsim_log_report(device, index, report, sizeof report) < 0) return "none";
  std::string text;
  for (int i = firstByte; i < firstByte + count && i < 65; ++i) {
    char hex[4];
    std::snprintf(hex, sizeof hex, i == firstByte ? "%02X" : " %02X", report[i]);
    text += hex;
  }
  return text;
}

}  // namespace qel::test
