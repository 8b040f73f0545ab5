#include <algorithm>
#include <array>
#include <thread>
#include <vector>

#include "core/camera_table.h"
#include "hid/data_block.h"
#include "hid/defect_correction.h"
#include "hid/defect_table.h"
#include "support/rendezvous.h"
#include "support/rig_fixture.h"

namespace qel::test {
namespace {

using Points = std::array<QelDefectPoint, QEL_DEFECT_POINTS>;

Points Empty() {
  Points points;
  points.fill({0xFFFF, 0xFFFF});
  return points;
}

class PixelDefects : public RigTest {
 protected:
  void SetUp() override {
    RigTest::SetUp();
    ASSERT_EQ(QelOpen(1, 1280, 720, 30.0, "YUY2"), 0);  // "QEL2"
    qelsim_log_clear();
  }
};

TEST_F(PixelDefects, PointsMustLieInTheTablesFrameSize) {
  Points points = Empty();
  points[0] = {1279, 719};
  points[1] = {0xFFFF, 719};
  EXPECT_TRUE(QelSetPixelDefect(1, 1, 0, points.data()));
  const int sent = qelsim_log_report_count(kQel2Device);
  EXPECT_EQ(sent, 23) << "an erase and 22 chunks";

  for (QelDefectPoint bad : {QelDefectPoint{1280, 0}, QelDefectPoint{0, 720}}) {
    points[5] = bad;
    EXPECT_FALSE(QelSetPixelDefect(1, 1, 0, points.data()));
  }
  points = Empty();
  points[5] = {655, 407};
  EXPECT_TRUE(QelSetPixelDefect(1, 2, 1, points.data())) << "656 x 408 at size index 1";
  points[5] = {656, 0};
  EXPECT_FALSE(QelSetPixelDefect(1, 2, 1, points.data()));
  EXPECT_EQ(qelsim_log_report_count(kQel2Device), 2 * sent) << "refusals send nothing";

  EXPECT_FALSE(QelSetPixelDefect(1, 0, 0, points.data()));
  EXPECT_FALSE(QelSetPixelDefect(1, 3, 0, points.data()));
  EXPECT_FALSE(QelSetPixelDefect(1, 1, 3, points.data()));
  EXPECT_FALSE(QelSetPixelDefect(1, 1, -1, points.data()));
  EXPECT_FALSE(QelSetPixelDefect(1, 1, 0, nullptr));
  EXPECT_FALSE(QelSetPixelDefect(-1, 1, 0, points.data()));
}

TEST_F(PixelDefects, GetAfterSetReturnsTheSamePointsAndTheCameraHoldsThem) {
  Points points = Empty();
  for (std::size_t i = 0; i < points.size(); i += 2) {
    points[i] = {static_cast<uint16_t>(i * 50), static_cast<uint16_t>(i * 30 + 1)};
  }
  points[1] = {0xFFFF, 3};
  ASSERT_TRUE(QelSetPixelDefect(1, 2, 0, points.data()));
  Points read{};
  ASSERT_TRUE(QelGetPixelDefect(1, 2, 0, read.data()));
  for (std::size_t i = 0; i < points.size(); ++i) {
    EXPECT_EQ(read[i].x, points[i].x) << i;
    EXPECT_EQ(read[i].y, points[i].y) << i;
  }
  // Camera number 2, size index 0: table 3 at offset 16 + 80 * 3, little-endian.
  unsigned char memory[8] = {};
  qelsim_read_memory(kQel2Device, 0x070000 + 16 + 80 * 3, memory, sizeof memory);
  EXPECT_EQ(memory[0], 0x00);
  EXPECT_EQ(memory[2], 0x01);
  EXPECT_EQ(memory[4], 0xFF);
  EXPECT_EQ(memory[6], 0x03);
  Points other{};
  ASSERT_TRUE(QelGetPixelDefect(1, 1, 0, other.data()));
  EXPECT_EQ(other[0].x, 0xFFFF) << "the other tables are carried over";
}

TEST_F(PixelDefects, FailedCommitKeepsTheLibrarysCopy) {
  Points points = Empty();
  points[0] = {5, 5};
  qelsim_firmware_fault(kQel2Device, 0x22, QELSIM_FW_STATUS, 1, 0, 1);
  EXPECT_FALSE(QelSetPixelDefect(1, 1, 0, points.data()));
  EXPECT_EQ(qelsim_log_report_count(kQel2Device), 1) << "a refused erase writes nothing";
  qelsim_firmware_fault(kQel2Device, 0x20, QELSIM_FW_STATUS, 1, 10, 1);
  EXPECT_FALSE(QelSetPixelDefect(1, 1, 0, points.data()));
  Points read{};
  ASSERT_TRUE(QelGetPixelDefect(1, 1, 0, read.data()));
  EXPECT_EQ(read[0].x, 0xFFFF);
}

TEST_F(PixelDefects, ConcurrentDataBlockWritesBothSurvive) {
  // A defect table and the serial number, each a rewrite of the whole block,
  // written at once: neither undoes the other, and the camera holds exactly
  // the library's copy.
  for (std::uint16_t round = 0; round < 40; ++round) {
    Points points = Empty();
    points[0] = {round, round};
    const std::uint32_t serial = 0x5E000000u + round;
    Rendezvous start(2);
    std::thread serialWriter([&] {
      start.ArriveAndWait();
      EXPECT_TRUE(QelSetSerialNo(1, serial));
    });
    start.ArriveAndWait();
    EXPECT_TRUE(QelSetPixelDefect(1, 1, 0, points.data()));
    serialWriter.join();

    const auto slot = CameraTable::Instance().FindSlot(1);
    ASSERT_TRUE(slot && slot->dataBlock);
    std::array<unsigned char, kDataBlockSize> memory{};
    qelsim_read_memory(kQel2Device, kDataBlockAddress, memory.data(), kDataBlockSize);
    ASSERT_TRUE(std::equal(memory.begin(), memory.end(), slot->dataBlock->bytes.begin()))
        << "round " << round;
    ASSERT_EQ(memory[0] << 24 | memory[1] << 16 | memory[2] << 8 | memory[3], serial);
    ASSERT_EQ(memory[16] | memory[17] << 8, round) << "the defect table's first x";
  }
}

TEST_F(PixelDefects, CorrectionSwitch) {
  int32_t on = -1;
  ASSERT_TRUE(QelGetPixelDefectOnOff(1, &on));
  EXPECT_EQ(on, 1);
  EXPECT_FALSE(QelSetPixelDefectOnOff(1, 2));
  ASSERT_TRUE(QelGetPixelDefectOnOff(1, &on));
  EXPECT_EQ(on, 1);
  EXPECT_TRUE(QelSetPixelDefectOnOff(1, 0));
  ASSERT_TRUE(QelGetPixelDefectOnOff(1, &on));
  EXPECT_EQ(on, 0);
  EXPECT_FALSE(QelGetPixelDefectOnOff(1, nullptr));
  EXPECT_FALSE(QelSetPixelDefectOnOff(-1, 0));
  EXPECT_EQ(qelsim_log_report_count(kQel2Device), 0) << "the switch sends nothing";
}

TEST(DefectCorrection, HalvesSplitAtHalfWidthAndHalfHeight) {
  // "QEL2" at size index 2: 328 x 204, halves at column 164 and row 102. The
  // source row moves toward the centre from the left or right half, the
  // source column from the top or bottom half.
  constexpr int W = 328, H = 204;
  struct Case {
    QelDefectPoint point;
    int sourceX, sourceY;
  };
  const Case cases[] = {
      {{163, 101}, 165, 103},  // left, top
      {{164, 102}, 162, 100},  // right, bottom: both exactly on the halves
      {{100, 150}, 98, 152},   // left, bottom
      {{200, 50}, 202, 48},    // right, top
      {{164, 20}, 166, 18},    // right by its column alone
      {{20, 102}, 18, 104},    // bottom by its row alone
  };
  auto block = std::make_shared<DataBlock>();
  const std::size_t table = DefectTableOffset(0, 2);
  for (std::size_t i = 0; i < kDefectPoints; ++i) {
    WriteDefectPoint(*block, table, i,
                     i < std::size(cases) ? cases[i].point : QelDefectPoint{0xFFFF, 0xFFFF});
  }
  CameraSlot slot;
  slot.model = kModelQel2;
  slot.cameraNumber = 1;
  slot.dataBlock = block;

  std::vector<std::uint16_t> original(W * H), frame(W * H);
  for (std::size_t i = 0; i < original.size(); ++i) original[i] = static_cast<std::uint16_t>(i);
  frame = original;
  ASSERT_TRUE(CorrectDefectPixels(slot, 2, reinterpret_cast<std::uint8_t*>(frame.data()),
                                  frame.size() * 2));
  for (const Case& c : cases) {
    EXPECT_EQ(frame[c.point.y * W + c.point.x], original[c.sourceY * W + c.sourceX])
        << c.point.x << "," << c.point.y;
  }
}

}  // namespace
}  // namespace qel::test
