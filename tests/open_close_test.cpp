#include <chrono>
#include <cmath>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "capture/capture_context.h"
#include "capture/capture_graph.h"
#include "core/camera_table.h"
#include "core/listing_size.h"
#include "hid/data_block.h"
#include "platform/platform.h"
#include "support/rig_fixture.h"

namespace qel::test {
namespace {

using OpenClose = RigTest;
using EmptyOpenClose = EmptyRigTest;

bool AnyCaptureRunning() {
  for (int index = 0; index < kCaptureContexts; ++index) {
    if (ContextAt(index)->running.load() != 0) return true;
  }
  return false;
}

TEST_F(OpenClose, FamilyCameraOpensWithItsControlInterface) {
  ASSERT_EQ(QelOpen(0, 1920, 1080, 30.0, "YUY2"), 0);
  auto slot = CameraTable::Instance().FindSlot(0);
  ASSERT_TRUE(slot);
  EXPECT_EQ(slot->captureIndex, 0);
  EXPECT_EQ(slot->model, 2);
  EXPECT_EQ(slot->sizeIndex, 0);
  EXPECT_EQ(slot->cameraNumber, 1) << "hue 1.0";
  EXPECT_TRUE(slot->channel);
  ASSERT_TRUE(slot->dataBlock);
  EXPECT_EQ(slot->dataBlock->bytes[3], 0xCD);

  ASSERT_EQ(QelOpen(1, 656, 408, 60.0, "MJPG"), 0);
  EXPECT_EQ(CameraTable::Instance().FindSlot(1)->captureIndex, 1);
  EXPECT_EQ(CameraTable::Instance().FindSlot(1)->sizeIndex, 1);
}

TEST_F(OpenClose, CameraNumberComesFromTheHue) {
  qelsim_set_property(kQel5Device, 2, 1, 1, 2, 1, 1, 2, 2);
  ASSERT_EQ(QelOpen(0, 960, 540, 30.0, "YUY2"), 0);
  EXPECT_EQ(CameraTable::Instance().FindSlot(0)->cameraNumber, 2);
  EXPECT_EQ(CameraTable::Instance().FindSlot(0)->sizeIndex, 1);
}

TEST_F(OpenClose, WebcamOpensForCaptureOnly) {
  ASSERT_EQ(QelOpen(2, 640, 480, 30.0, "YUY2"), 1);
  auto slot = CameraTable::Instance().FindSlot(2);
  ASSERT_TRUE(slot);
  EXPECT_FALSE(slot->channel);
  EXPECT_EQ(slot->model, -1);
  EXPECT_EQ(slot->sizeIndex, -1);
  EXPECT_EQ(slot->cameraNumber, kNoCameraNumber);
  EXPECT_FALSE(slot->dataBlock);

  uint16_t lines = 0;
  int32_t gain = 0;
  EXPECT_FALSE(QelGetShutter(2, &lines));
  EXPECT_FALSE(QelXGetGainMax(2, &gain));
  EXPECT_FALSE(QelSetGain(2, 10));
  EXPECT_TRUE(QelSetLed(2, 10)) << "the video path works";
  EXPECT_GT(QelGetBufferSize(2), 0);
  QelClose(2);
  EXPECT_FALSE(CameraTable::Instance().FindSlot(2));
  EXPECT_FALSE(AnyCaptureRunning());
}

TEST_F(OpenClose, RefusalsBeforeAnyDeviceIsTouched) {
  EXPECT_EQ(QelOpen(0, 1920, 1080, 30.0, "yuy2"), -1);
  EXPECT_EQ(QelOpen(0, 1920, 1080, 30.0, nullptr), -1);
  EXPECT_EQ(qelsim_frames_delivered(kQel5Device), 0);
  EXPECT_EQ(ContextAt(0)->buildStatus.load(), 0) << "no build was tried";

  ASSERT_EQ(QelOpen(0, 1920, 1080, 30.0, "YUY2"), 0);
  EXPECT_EQ(QelOpen(0, 960, 540, 30.0, "YUY2"), -1) << "the same key twice";
  EXPECT_TRUE(CameraTable::Instance().FindSlot(0)) << "the first stays open";
  EXPECT_EQ(ContextAt(0)->running.load(), 1);
  EXPECT_EQ(ContextAt(1)->running.load(), 0);
}

TEST_F(EmptyOpenClose, TenCamerasAtOnceAndTheEleventhRefused) {
  for (int i = 0; i < 11; ++i) qelsim_add_webcam(("Cam " + std::to_string(i)).c_str());
  for (int key = 0; key < 10; ++key) ASSERT_EQ(QelOpen(key, 640, 480, 30.0, "YUY2"), 1) << key;
  const int64_t delivered = qelsim_frames_delivered(10);
  EXPECT_EQ(QelOpen(10, 640, 480, 30.0, "YUY2"), -1);
  EXPECT_EQ(qelsim_frames_delivered(10), delivered) << "the eleventh device was not touched";

  QelClose(3);
  ASSERT_EQ(QelOpen(10, 640, 480, 30.0, "YUY2"), 1);
  EXPECT_EQ(CameraTable::Instance().FindSlot(10)->captureIndex, 3) << "the freed position";
  for (int key = 0; key <= 10; ++key) QelClose(key);
  EXPECT_FALSE(AnyCaptureRunning());
  EXPECT_EQ(Capture().cachedDeviceCount, -1);
  EXPECT_EQ(qelsim_com_depth(), 0);
}

// Opens and closes of different cameras do not wait for each other: while
// one open is held in its build, another camera opens and closes.
TEST_F(OpenClose, CloseNeverWaitsForAnotherCamerasOpen) {
  qelsim_close_gate(kQel5Device, "Run");
  // Opened and closed on one thread: the capture period's COM initialisation
  // belongs to the thread that began it.
  auto held = std::async(std::launch::async, [] {
    const int32_t opened = QelOpen(0, 1920, 1080, 30.0, "YUY2");
    const bool stored = CameraTable::Instance().FindSlot(0).has_value();
    QelClose(0);
    return stored ? opened : -2;
  });
  while (qelsim_gate_waiting() == 0) std::this_thread::yield();
  auto other = std::async(std::launch::async, [] {
    const int32_t opened = QelOpen(2, 640, 480, 30.0, "YUY2");
    QelClose(2);
    return opened;
  });
  const bool otherDone = other.wait_for(std::chrono::seconds(20)) == std::future_status::ready;
  qelsim_open_gates();
  ASSERT_TRUE(otherDone) << "the webcam waited for the held open";
  EXPECT_EQ(other.get(), 1);
  EXPECT_EQ(held.get(), 0);
  EXPECT_FALSE(CameraTable::Instance().FindSlot(2));
}

// A second open of a key, by position or by serial text, waits for the open
// in progress and then finds the key taken: it never builds beside it.
TEST_F(OpenClose, OpensOfOneKeyWaitForEachOther) {
  qelsim_close_gate(kQel5Device, "Run");
  auto first = std::async(std::launch::async, [] { return QelOpen(0, 1920, 1080, 30.0, "YUY2"); });
  while (qelsim_gate_waiting() == 0) std::this_thread::yield();
  auto again = std::async(std::launch::async, [] {
    const int32_t opened = QelOpen(0, 1920, 1080, 30.0, "YUY2");
    return std::make_pair(opened, QelLastErrorCode());
  });
  auto bySerial = std::async(std::launch::async, [] {
    int32_t key = -1;
    const int32_t opened = QelOpenSerialNo("QEL5#0000ABCD", &key, 1920, 1080, 30.0);
    return std::make_pair(opened, QelLastErrorCode());
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_EQ(qelsim_gate_waiting(), 1) << "only the first open builds";
  qelsim_open_gates();
  EXPECT_EQ(first.get(), 0);
  EXPECT_EQ(again.get(), std::make_pair(-1, int32_t{QEL_ERROR_BUSY}));
  EXPECT_EQ(bySerial.get(), std::make_pair(-1, int32_t{QEL_ERROR_BUSY}));
  EXPECT_GT(QelGetBufferSize(0), 0) << "the first open's camera stays open";
  EXPECT_EQ(qelsim_running_streams(), 1);
}

// A refused rate must not become the last used one that later opens asking
// for 0 inherit.
TEST_F(OpenClose, RatesWithoutAFrameIntervalAreRefusedAndForgotten) {
  for (const double rate : {std::nan(""), double(INFINITY), -30.0, 1e-300}) {
    EXPECT_EQ(QelOpen(0, 1920, 1080, rate, "YUY2"), -1) << rate;
    EXPECT_EQ(ContextAt(0)->buildStatus.load(), kBuildFormatRefused) << rate;
  }
  ASSERT_EQ(QelOpen(0, 1920, 1080, 0.0, "YUY2"), 0) << "0 asks for the last good rate, 30";
  EXPECT_DOUBLE_EQ(ContextAt(0)->frameRate, 30.0);
}

// The open counts every entry of the listing, an empty name included, so
// keys agree with the listing the application saw.
TEST_F(EmptyOpenClose, EmptyFriendlyNameTakesItsPosition) {
  qelsim_add_camera("QEL5", 0xABCD);
  qelsim_add_webcam("");
  qelsim_add_camera("QEL", 0x77);
  char list[64];
  ASSERT_EQ(QelGetDeviceWithSerialNo(list, sizeof list), 3);
  EXPECT_STREQ(list, "QEL5#0000ABCD,,QEL#00000077");
  EXPECT_EQ(QelOpen(1, 640, 480, 30.0, "YUY2"), 1) << "the nameless webcam, capture only";
  ASSERT_EQ(QelOpen(2, 1280, 720, 30.0, "YUY2"), 0);
  EXPECT_EQ(CameraTable::Instance().FindSlot(2)->model, kModelQel);
  QelClose(2);
  int32_t key = -1;
  ASSERT_EQ(QelOpenSerialNo("QEL#00000077", &key, 1280, 720, 30.0), 0);
  EXPECT_EQ(key, 2);
}

// Every step of an open that can fail after the graph is built: the open
// gives -1, the slot stays free, and whatever the open had made is undone.
TEST_F(OpenClose, FailuresAfterTheBuildTakeTheCaptureDown) {
  // The size is not a row of the model's table.
  qelsim_add_format(kQel5Device, 1280, 720, 333333, "YUY2", 1);
  EXPECT_EQ(QelOpen(0, 1280, 720, 30.0, "YUY2"), -1);
  EXPECT_FALSE(CameraTable::Instance().FindSlot(0));
  EXPECT_FALSE(AnyCaptureRunning());
  EXPECT_EQ(QelOpen(0, 1920, 1080, 30.0, "YUY2"), 0) << "opens again at once";
  QelClose(0);

  // The build itself fails: nothing to undo.
  qelsim_inject_fault(-1, "SetFormat", 0, 1);
  EXPECT_EQ(QelOpen(0, 1920, 1080, 30.0, "YUY2"), -1);
  EXPECT_FALSE(AnyCaptureRunning());

  // The data block cannot be read.
  qelsim_firmware_fault(kQel5Device, 0x21, QELSIM_FW_STATUS, 1, 5, 1);
  EXPECT_EQ(QelOpen(0, 1920, 1080, 30.0, "YUY2"), -1);
  EXPECT_FALSE(AnyCaptureRunning());

  // The hue cannot be read: the channel closes before the capture stops.
  qelsim_clear_faults();
  qelsim_inject_fault(kQel5Device, "Get", 0, 1);
  EXPECT_EQ(QelOpen(0, 1920, 1080, 30.0, "YUY2"), -1);
  EXPECT_FALSE(AnyCaptureRunning());
  std::vector<std::string> undo;
  for (int i = 0; const char* operation = qelsim_operation_at(i); ++i) {
    if (std::string(operation) == "CloseHandle" || std::string(operation) == "Stop") {
      undo.emplace_back(operation);
    }
  }
  EXPECT_EQ(undo, (std::vector<std::string>{"CloseHandle", "Stop"}));

  // No control interface pairs with the camera.
  qelsim_set_hid_flags(kQel5Device, 0, QELSIM_HID_UNOPENABLE);
  EXPECT_EQ(QelOpen(0, 1920, 1080, 30.0, "YUY2"), -1);
  EXPECT_FALSE(AnyCaptureRunning());
  qelsim_set_hid_flags(kQel5Device, 0, 0);

  // The listing has no entry at the key: -1 binds the first device but names none.
  EXPECT_EQ(QelOpen(-1, 1920, 1080, 30.0, "YUY2"), -1);
  EXPECT_FALSE(AnyCaptureRunning());
  // Zero size asks for the last size, but the size table needs the request itself.
  EXPECT_EQ(QelOpen(0, 0, 0, 0.0, "YUY2"), -1);

  for (int key = -1; key < 3; ++key) EXPECT_FALSE(CameraTable::Instance().FindSlot(key));
  EXPECT_EQ(qelsim_com_depth(), 0);
}

// Opened on one thread, closed on another that has COM of its own: each
// initialisation the library made is undone on its own thread, the closing
// thread keeps its own, and the apartment is held while the camera is open.
TEST_F(OpenClose, ComIsBalancedPerThreadWhenOpenAndCloseComeFromDifferentThreads) {
  int openerDepth = -1;
  std::thread([&openerDepth] {
    ASSERT_EQ(QelOpen(0, 1920, 1080, 30.0, "YUY2"), 0);
    openerDepth = qelsim_com_thread_depth();
  }).join();
  EXPECT_EQ(openerDepth, 0);
  EXPECT_EQ(qelsim_mta_usage(), 1);

  int closerDepth = -1;
  std::thread([&closerDepth] {
    platform::Platform& platform = platform::ActivePlatform();
    ASSERT_EQ(platform.CoInitializeEx(), platform::kOk);
    QelClose(0);
    closerDepth = qelsim_com_thread_depth();
    platform.CoUninitialize();
  }).join();
  EXPECT_EQ(closerDepth, 1) << "the closing thread's own initialisation";
  EXPECT_EQ(qelsim_mta_usage(), 0);
  EXPECT_EQ(qelsim_com_depth(), 0);
}

// A close whose stop failed leaves the graph running with its slot free.
// The next open stops it again; a graph that still will not stop keeps its
// position out of use and its device from being opened twice.
TEST_F(OpenClose, ContextLeftRunningByAFailedStopIsStoppedByTheNextOpen) {
  ASSERT_EQ(QelOpen(0, 1920, 1080, 30.0, "YUY2"), 0);
  qelsim_inject_fault(-1, "WaitForCompletion", 0, 1);
  QelClose(0);
  EXPECT_FALSE(CameraTable::Instance().FindSlot(0)) << "the slot is cleared all the same";
  EXPECT_EQ(ContextAt(0)->running.load(), 1) << "the graph would not stop";
  ASSERT_EQ(QelOpen(1, 656, 408, 30.0, "YUY2"), 0) << "stopped again, then reused";
  EXPECT_EQ(CameraTable::Instance().FindSlot(1)->captureIndex, 0);

  QelClose(1);
  ASSERT_EQ(QelOpen(0, 1920, 1080, 30.0, "YUY2"), 0);
  qelsim_inject_fault(-1, "WaitForCompletion", 0, 2);  // the close's stop and the next open's
  QelClose(0);
  EXPECT_EQ(QelOpen(0, 1920, 1080, 30.0, "YUY2"), -1) << "its device still streams";
  qelsim_inject_fault(-1, "WaitForCompletion", 0, 1);
  ASSERT_EQ(QelOpen(2, 640, 480, 30.0, "YUY2"), 1) << "another device takes the next position";
  EXPECT_EQ(CameraTable::Instance().FindSlot(2)->captureIndex, 1);
  ASSERT_EQ(QelOpen(0, 1920, 1080, 30.0, "YUY2"), 0) << "the fault is gone";
  EXPECT_EQ(CameraTable::Instance().FindSlot(0)->captureIndex, 0);
}

TEST_F(OpenClose, ListingThatReportsNoDevicesFailsTheOpen) {
  qelsim_inject_fault(-1, "CreateFilterGraph", 1, 1);  // the build's graph is the first
  EXPECT_EQ(QelOpen(0, 1920, 1080, 30.0, "YUY2"), -1);
  EXPECT_FALSE(AnyCaptureRunning());
}

TEST_F(OpenClose, OpenSizesItsListingLikeTheApplicationDid) {
  char list[300];
  ASSERT_EQ(QelGetDevice(list, 300), 3);
  EXPECT_EQ(ListBufferSize().load(), 300);
  ListBufferSize().store(0);
  ASSERT_EQ(QelOpen(1, 1280, 720, 30.0, "YUY2"), 0);
  EXPECT_EQ(ListBufferSize().load(), 512) << "a size of 0 becomes 512";
  ListBufferSize().store(8);  // only "QEL5" fits: key 1 is not listed
  EXPECT_EQ(QelOpen(0, 1920, 1080, 30.0, "YUY2"), 0);
  EXPECT_EQ(QelOpen(2, 640, 480, 30.0, "YUY2"), -1);
}

TEST_F(OpenClose, CloseSwitchesTheLedOffAndFreesTheSlot) {
  ASSERT_EQ(QelOpen(0, 1920, 1080, 30.0, "YUY2"), 0);
  ASSERT_TRUE(QelSetLed(0, 40));
  ASSERT_TRUE(QelSetPixelDefectOnOff(0, 0));
  qelsim_log_clear();
  QelClose(0);
  int32_t property = -1, value = -1, flags = -1;
  ASSERT_EQ(qelsim_log_property_count(kQel5Device), 1);
  qelsim_log_property(kQel5Device, 0, &property, &value, &flags);
  EXPECT_EQ(property, 0);
  EXPECT_EQ(value, 0);
  EXPECT_FALSE(CameraTable::Instance().FindSlot(0));
  EXPECT_FALSE(AnyCaptureRunning());

  ASSERT_EQ(QelOpen(0, 1920, 1080, 30.0, "YUY2"), 0);
  int32_t on = -1;
  ASSERT_TRUE(QelGetPixelDefectOnOff(0, &on));
  EXPECT_EQ(on, 1) << "correction is on again after close";

  QelClose(-1);
  QelClose(7);
  EXPECT_TRUE(CameraTable::Instance().FindSlot(0));
}

TEST_F(OpenClose, ExportsFailForClosedOrUnknownKeys) {
  unsigned char byte = 0;
  int32_t value = 0;
  for (int key : {-1, 0, 5}) {
    EXPECT_FALSE(QelReceiveImage(key, &byte));
    EXPECT_EQ(QelGetBufferSize(key), 0);
    EXPECT_FALSE(QelGetLed(key, &value));
    EXPECT_FALSE(QelUSBMode(key, &byte));
    EXPECT_FALSE(QelSetShutter(key, 100));
  }
}

TEST_F(OpenClose, ACloseTellsItsOwnReasonAndAWebcamClosesClean) {
  // The close switches the LED off through an export of its own; the
  // reason still names the close.
  QelClose(5);
  EXPECT_EQ(QelLastErrorCode(), QEL_ERROR_NO_CAMERA);
  char text[128] = {};
  QelLastError(text, sizeof text);
  EXPECT_EQ(std::string(text).rfind("QelClose: ", 0), 0u) << text;

  // A webcam without the LED's property: its close succeeds all the same.
  qelsim_set_property_interfaces(kWebcamDevice, 0, 0);
  ASSERT_EQ(QelOpen(2, 640, 480, 30.0, "YUY2"), 1);
  EXPECT_FALSE(QelSetLed(2, 0));
  QelClose(2);
  EXPECT_EQ(QelLastErrorCode(), QEL_OK);
}

}  // namespace
}  // namespace qel::test
