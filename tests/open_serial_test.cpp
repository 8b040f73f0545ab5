// QelOpenSerialNo: the listing entry that names the camera, the format it
// opens with, and the cases that must leave no camera open.
#include <string>

#include "core/camera_table.h"
#include "core/listing_size.h"
#include "support/rig_fixture.h"

namespace qel::test {
namespace {

class OpenSerialTest : public RigTest {
 protected:
  static bool IsOpen(int key) { return CameraTable::Instance().FindSlot(key).has_value(); }
  static std::string CurrentSubtype(int device) {
    int32_t width = 0, height = 0;
    int64_t interval = 0;
    char subtype[16] = {};
    qelsim_current_format(device, &width, &height, &interval, subtype, sizeof subtype);
    return std::to_string(width) + "x" + std::to_string(height) + " " + subtype;
  }
  // Replaces the webcam, whose name holds a comma, so that a device added
  // now is listed at key 2.
  static void DropWebcam() { ASSERT_EQ(qelsim_remove_device(kWebcamDevice), 0); }
};

TEST_F(OpenSerialTest, OpensTheCameraListedUnderTheTextInYuy2) {
  // The pin offers MJPG first; the open always asks for YUY2.
  qelsim_clear_formats(kQel5Device);
  qelsim_add_format(kQel5Device, 1920, 1080, 333333, "MJPG", 1);
  qelsim_add_format(kQel5Device, 1920, 1080, 333333, "YUY2", 1);
  DropWebcam();
  const int qel = qelsim_add_camera("QEL", 0x00000077);

  int32_t key = -7;
  EXPECT_EQ(QelOpenSerialNo("QEL2#00C0FFEE", &key, 1280, 720, 60.0), 0);
  EXPECT_EQ(key, 1);
  EXPECT_EQ(CurrentSubtype(kQel2Device), "1280x720 YUY2");
  EXPECT_EQ(QelOpenSerialNo("QEL5#0000ABCD", &key, 1920, 1080, 30.0), 0);
  EXPECT_EQ(key, 0);
  EXPECT_EQ(CurrentSubtype(kQel5Device), "1920x1080 YUY2");
  EXPECT_EQ(QelOpenSerialNo("QEL#00000077", &key, 1280, 720, 30.0), 0);
  EXPECT_EQ(key, 2);
  EXPECT_EQ(CurrentSubtype(qel), "1280x720 YUY2");

  uint32_t serial = 0;
  EXPECT_TRUE(QelGetSerialNo(0, &serial));
  EXPECT_EQ(serial, 0x0000ABCDu);
}

TEST_F(OpenSerialTest, TextsThatNameNoListedCameraOpenNothing) {
  int32_t key = -7;
  EXPECT_EQ(QelOpenSerialNo(nullptr, &key, 1920, 1080, 30.0), -1);
  EXPECT_EQ(QelOpenSerialNo("QEL5#0000ABCD", nullptr, 1920, 1080, 30.0), -1);
  EXPECT_EQ(QelOpenSerialNo("QEL3#0000ABCD", &key, 1920, 1080, 30.0), -1) << "no known prefix";
  EXPECT_EQ(QelOpenSerialNo("qel5#0000ABCD", &key, 1920, 1080, 30.0), -1);
  EXPECT_EQ(QelOpenSerialNo("QEL5#0000abcd", &key, 1920, 1080, 30.0), -1) << "exact entry only";
  EXPECT_EQ(QelOpenSerialNo(" QEL5#0000ABCD", &key, 1920, 1080, 30.0), -1)
      << "a prefix inside the text passes, but no entry equals it";
  EXPECT_EQ(QelOpenSerialNo("QEL5#0000ABCD,", &key, 1920, 1080, 30.0), -1);
  EXPECT_EQ(QelOpenSerialNo("QEL5#0000ABC", &key, 1920, 1080, 30.0), -1) << "a listed one's prefix";
  EXPECT_EQ(QelOpenSerialNo("QEL2#0000ABCD", &key, 1920, 1080, 30.0), -1) << "not listed";
  EXPECT_EQ(qelsim_operation_calls("Run"), 0) << "no device was opened";

  // 124 characters are refused before the listing is even asked for; 123 go
  // on to the listing (which then sets its default size).
  ListBufferSize().store(0);
  const std::string longest = "QEL5#0000ABCD" + std::string(110, ' ');
  ASSERT_EQ(longest.size(), 123u);
  EXPECT_EQ(QelOpenSerialNo((longest + " ").c_str(), &key, 1920, 1080, 30.0), -1);
  EXPECT_EQ(ListBufferSize().load(), 0);
  EXPECT_EQ(QelOpenSerialNo(longest.c_str(), &key, 1920, 1080, 30.0), -1);
  EXPECT_EQ(ListBufferSize().load(), 1024);

  EXPECT_EQ(key, -7);
  EXPECT_FALSE(IsOpen(0));
  EXPECT_EQ(qelsim_log_report_count(-1), 0) << "no camera was asked anything";
}

// The opens list as the application last did: a listing that did not fit
// still supplies the entries that did. A process starts with 1024 bytes.
TEST_F(OpenSerialTest, ListingThatDidNotFitStillSuppliesItsEntries) {
  ASSERT_EQ(ListBufferSizeAtStart(), 1024);
  int32_t key = -1;
  ListBufferSize().store(16);  // "QEL5#0000ABCD" fits, nothing after it
  EXPECT_EQ(QelOpenSerialNo("QEL2#00C0FFEE", &key, 656, 408, 30.0), -1);
  ASSERT_EQ(QelOpenSerialNo("QEL5#0000ABCD", &key, 960, 540, 30.0), 0);
  QelClose(0);
  ListBufferSize().store(8);  // "QEL5,"
  EXPECT_EQ(QelOpen(1, 656, 408, 30.0, "YUY2"), -1);
  ASSERT_EQ(QelOpen(0, 960, 540, 30.0, "YUY2"), 0);
  QelClose(0);

  qelsim_reset(0);
  ListBufferSize().store(ListBufferSizeAtStart());
  for (int i = 0; i < 17; ++i) {
    qelsim_add_webcam((std::to_string(100 + i) + std::string(57, 'w')).c_str());
  }
  EXPECT_EQ(QelOpen(15, 640, 480, 30.0, "YUY2"), 1) << "its entry ends at byte 975";
  EXPECT_EQ(QelOpen(16, 640, 480, 30.0, "YUY2"), -1) << "its entry would end at byte 1036";
}

TEST_F(OpenSerialTest, UnconfirmedSerialLeavesTheCameraClosed) {
  // The camera's stored serial no longer equals its USB serial string.
  qelsim_set_firmware_serial(kQel5Device, 0x0000ABCE);
  int32_t key = -7;
  EXPECT_EQ(QelOpenSerialNo("QEL5#0000ABCD", &key, 1920, 1080, 30.0), -1);
  EXPECT_EQ(key, -7);
  EXPECT_FALSE(IsOpen(0));
  EXPECT_EQ(QelOpen(0, 1920, 1080, 30.0, "YUY2"), 0) << "closed again, so it opens anew";
  QelClose(0);

  // A capture-only device listed under a serial-looking name cannot confirm.
  DropWebcam();
  ASSERT_EQ(qelsim_add_webcam("QEL5#00000001"), 4);
  EXPECT_EQ(QelOpenSerialNo("QEL5#00000001", &key, 640, 480, 30.0), -1);
  EXPECT_EQ(key, -7);
  EXPECT_FALSE(IsOpen(2));
  EXPECT_EQ(QelOpen(2, 640, 480, 30.0, "YUY2"), 1);
}

TEST_F(OpenSerialTest, CameraAlreadyOpenIsLeftUndisturbed) {
  ASSERT_EQ(QelOpen(0, 960, 540, 60.0, "MJPG"), 0);
  const int64_t framesBefore = qelsim_frames_delivered(kQel5Device);
  int32_t key = -7;
  EXPECT_EQ(QelOpenSerialNo("QEL5#0000ABCD", &key, 1920, 1080, 30.0), -1);
  EXPECT_EQ(key, -7);
  EXPECT_TRUE(IsOpen(0));
  EXPECT_EQ(CameraTable::Instance().SizeIndexOf(0), 1);
  EXPECT_EQ(CurrentSubtype(kQel5Device), "960x540 MJPG");
  qelsim_advance_ms(100);
  EXPECT_GT(qelsim_frames_delivered(kQel5Device), framesBefore) << "still streaming";
  uint32_t serial = 0;
  EXPECT_TRUE(QelGetSerialNo(0, &serial)) << "its command channel still open";
}

}  // namespace
}  // namespace qel::test
