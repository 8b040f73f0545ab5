// Test fixtures: every test starts with the rig's default population on the
// virtual clock ("Screen Capture" software source, then "QEL5" serial
// 0000ABCD at key 0, "QEL2" serial 00C0FFEE at key 1, "USB Camera, HD" at
// key 2), and ends with every capture stopped, the camera table emptied and
// the rig emptied.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "qel/qel.h"
#include "qel/qelsim.h"

namespace qel::test {

// The listing buffer size the library starts a process with.
std::int32_t ListBufferSizeAtStart();

class RigTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
};

// Same, but the rig starts empty.
class EmptyRigTest : public RigTest {
 protected:
  void SetUp() override;
};

// One camera of each model and a webcam on an otherwise empty rig; their
// keys equal their rig ids.
class EveryModelRigTest : public EmptyRigTest {
 protected:
  static constexpr int kQel5 = 0;
  static constexpr int kQel2 = 1;
  static constexpr int kQel = 2;
  static constexpr int kWebcam = 3;

  void SetUp() override;
  // Opens the three family cameras at their largest size and clears the log.
  void OpenFamily(double qel2Rate = 60.0);
};

// Builds a capture graph at captureIndex for the plug-and-play device at
// position device, as opening a camera does; returns the build status.
std::int32_t StartRigCapture(int captureIndex, std::int32_t device, std::int32_t width = 0,
                             std::int32_t height = 0, double frameRate = 0.0,
                             const char* format = "YUY2");

// The rig ids of the default population.
inline constexpr int kScreenCaptureDevice = 0;
inline constexpr int kQel5Device = 1;
inline constexpr int kQel2Device = 2;
inline constexpr int kWebcamDevice = 3;

// count bytes from firstByte of HID report number index written to a rig
// device since the log was cleared, as hex ("07 00 00"); "none" without it.
std::string ReportHex(int device, int index, int firstByte, int count);

}  // namespace qel::test
