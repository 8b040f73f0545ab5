#include <gtest/gtest.h>

#include <memory>

#include "capture/capture_context.h"
#include "capture/frame_store.h"
#include "core/camera_model.h"
#include "core/camera_table.h"
#include "hid/data_block.h"
#include "hid/hid_channel.h"

namespace qel {
namespace {

class CameraTableTest : public ::testing::Test {
 protected:
  void TearDown() override { table.ResetForTesting(); }
  CameraTable& table = CameraTable::Instance();
};

TEST_F(CameraTableTest, FreeSlotsNeverMatchTheKeyMinusOne) {
  EXPECT_FALSE(table.FindSlot(-1));
  EXPECT_FALSE(table.FindSlot(0));
  EXPECT_EQ(table.FirstFreePosition(), 0);
  EXPECT_EQ(table.CaptureIndexOf(-1), -1);
  EXPECT_EQ(table.DefectCorrectionOf(-1), -1);
}

TEST_F(CameraTableTest, StoreFillsThePositionAndClearRestoresFreeValues) {
  table.StoreSlot(3, 7, nullptr, kModelQel2, nullptr, 1, 0);
  auto slot = table.FindSlot(7);
  ASSERT_TRUE(slot);
  EXPECT_EQ(slot->captureIndex, 3);
  EXPECT_EQ(slot->model, kModelQel2);
  EXPECT_EQ(slot->sizeIndex, 1);
  EXPECT_EQ(table.CaptureIndexOf(7), 3);
  EXPECT_EQ(table.SizeIndexOf(7), 1);
  EXPECT_EQ(table.FirstFreePosition(), 0);

  ASSERT_TRUE(table.SetDefectCorrection(7, nullptr, 0));
  table.ClearSlot(7);
  EXPECT_FALSE(table.FindSlot(7));
  table.StoreSlot(3, 8, nullptr, kModelQel, nullptr, 0, 1);
  EXPECT_EQ(table.DefectCorrectionOf(8), 1) << "a cleared slot has correction on again";
}

TEST_F(CameraTableTest, WritesAfterALookUpReachOnlyTheCameraLookedUp) {
  auto first = std::make_shared<HidChannel>(nullptr, platform::HidCaps{});
  table.StoreSlot(3, 7, first, kModelQel2, nullptr, 1, 1);
  const auto lookedUp = table.FindSlot(7);
  // Closed and opened again at the same key, with a channel of its own.
  table.ClearSlot(7);
  auto second = std::make_shared<HidChannel>(nullptr, platform::HidCaps{});
  table.StoreSlot(3, 7, second, kModelQel2, nullptr, 1, 1);

  EXPECT_FALSE(table.SetDefectCorrection(7, lookedUp->channel.get(), 0));
  EXPECT_FALSE(table.ReplaceDataBlock(7, lookedUp->channel.get(), std::make_shared<DataBlock>()));
  EXPECT_EQ(table.DefectCorrectionOf(7), 1);
  EXPECT_FALSE(table.FindSlot(7)->dataBlock);
  EXPECT_TRUE(table.SetDefectCorrection(7, second.get(), 0));
  EXPECT_EQ(table.DefectCorrectionOf(7), 0);
}

TEST_F(CameraTableTest, StoreBeyondTheTableDoesNothing) {
  table.StoreSlot(10, 5, nullptr, kModelQel, nullptr, 0, 0);
  EXPECT_FALSE(table.FindSlot(5));
  for (int position = 0; position < kMaxCameras; ++position) {
    table.StoreSlot(position, 100 + position, nullptr, kModelNone, nullptr, -1, -1);
  }
  EXPECT_EQ(table.FirstFreePosition(), -1);
}

// Bounds and identities the table and the frame path rely on.
TEST_F(CameraTableTest, DataBlockReplacedOnlyThroughTheSlotsOwnChannel) {
  auto channel = std::make_shared<HidChannel>(nullptr, platform::HidCaps{});
  HidChannel other(nullptr, platform::HidCaps{});
  table.StoreSlot(0, 7, channel, kModelQel5, std::make_shared<DataBlock>(), 0, 1);
  EXPECT_FALSE(table.ReplaceDataBlock(7, &other, std::make_shared<DataBlock>()));
  EXPECT_TRUE(table.ReplaceDataBlock(7, channel.get(), std::make_shared<DataBlock>()));
  table.ClearSlot(7);

  EXPECT_EQ(ContextAt(kCaptureContexts), nullptr);
  EXPECT_EQ(ContextAt(-1), nullptr);
  FrameStore frames;
  EXPECT_FALSE(frames.Deliver(1.0, nullptr, 100)) << "no data for a non-empty frame";
  EXPECT_EQ(frames.FrameLength(), 0);
}

TEST(CameraModelTest, FamilyNamesAndFrameSizes) {
  EXPECT_EQ(ModelFromFriendlyName("QEL"), kModelQel);
  EXPECT_EQ(ModelFromFriendlyName("QEL2"), kModelQel2);
  EXPECT_EQ(ModelFromFriendlyName("QEL5"), kModelQel5);
  EXPECT_EQ(ModelFromFriendlyName("qel5"), kModelNone);
  EXPECT_EQ(ModelFromFriendlyName("QEL5 "), kModelNone);
  EXPECT_EQ(FindSizeIndex(kModelQel, 656, 408), 1);
  EXPECT_EQ(FindSizeIndex(kModelQel2, 640, 408), -1);
  EXPECT_EQ(FindSizeIndex(kModelQel5, 480, 270), 2);
  EXPECT_EQ(FindSizeIndex(kModelNone, 1280, 720), -1);
}

}  // namespace
}  // namespace qel
