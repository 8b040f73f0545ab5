// The frame callback and the stream lookup: what the callback is told, what
// it may not do, how an unplug and a replaced camera are seen.
#include <atomic>
#include <cstdint>
#include <vector>

#include "capture/open_stream.h"
#include "support/rig_fixture.h"

namespace qel::test {
namespace {

using FrameCallback = RigTest;

struct Seen {
  std::atomic<int32_t> key{-2};
  std::atomic<uint64_t> sequence{0};
  std::atomic<int32_t> waitResult{2};
  std::atomic<int32_t> waitCode{0};
};

void QEL_CALL Note(int32_t key, const unsigned char*, const QelFrameInfo* info, void* user) {
  auto& seen = *static_cast<Seen*>(user);
  seen.key = key;
  seen.sequence = info->sequence;
  unsigned char byte = 0;
  seen.waitResult = QelWaitImage(key, &byte, 0, nullptr, 0);
  seen.waitCode = QelLastErrorCode();
}

TEST_F(FrameCallback, IsToldTheKeyAndTheSequenceAndMayNotWait) {
  // Only key 1 open: it streams at capture index 0, so the key and the index differ.
  ASSERT_EQ(QelOpenEx(1, 1280, 720, 30.0, "YUY2", QEL_OPEN_FAST), 0);
  Seen seen;
  ASSERT_TRUE(QelSetFrameCallback(1, Note, &seen));
  qelsim_advance_ms(34);
  EXPECT_EQ(seen.key.load(), 1);
  EXPECT_EQ(seen.waitResult.load(), -1);
  EXPECT_EQ(seen.waitCode.load(), QEL_ERROR_BUSY);
  std::vector<unsigned char> frame(1280 * 720 * 2);
  QelFrameInfo info{};
  info.size = sizeof info;
  ASSERT_EQ(QelReceiveImageEx(1, frame.data(), 1280 * 720 * 2, &info), 1);
  EXPECT_EQ(info.sequence, seen.sequence.load()) << "one frame, one number";
}

TEST_F(FrameCallback, AfterAnUnplugANewOneIsRefusedAsLostAndRemovalSucceeds) {
  ASSERT_EQ(QelOpenEx(1, 1280, 720, 30.0, "YUY2", QEL_OPEN_FAST), 0);
  ASSERT_EQ(qelsim_remove_device(kQel2Device), 0);
  // The classic receive, first after the unplug, notices it by itself.
  std::vector<unsigned char> frame(1280 * 720 * 2);
  int received = 0;
  while (QelReceiveImage(1, frame.data()) == 1) ASSERT_LT(++received, 5);
  EXPECT_EQ(QelLastErrorCode(), QEL_ERROR_DEVICE_LOST);

  Seen seen;
  EXPECT_FALSE(QelSetFrameCallback(1, Note, &seen));
  EXPECT_EQ(QelLastErrorCode(), QEL_ERROR_DEVICE_LOST);
  EXPECT_TRUE(QelSetFrameCallback(1, nullptr, nullptr));
  EXPECT_EQ(QelLastErrorCode(), QEL_OK);
}

TEST_F(FrameCallback, UnplugSeenFirstByTheCallbackIsReportedAsLost) {
  ASSERT_EQ(QelOpenEx(1, 1280, 720, 30.0, "YUY2", QEL_OPEN_FAST), 0);
  ASSERT_EQ(qelsim_remove_device(kQel2Device), 0);
  Seen seen;
  EXPECT_FALSE(QelSetFrameCallback(1, Note, &seen));
  EXPECT_EQ(QelLastErrorCode(), QEL_ERROR_DEVICE_LOST);
}

// Between a lookup's two looks: key 0 closes and key 2 opens at its position.
void ReplaceKeyZero() {
  SetStreamLookupHookForTesting(nullptr);
  QelClose(0);
  ASSERT_GE(QelOpenEx(2, 640, 480, 30.0, "YUY2", QEL_OPEN_FAST), 0);
}

TEST_F(FrameCallback, ACameraReplacedDuringTheLookupIsNotMistakenForTheOneAskedFor) {
  std::vector<unsigned char> frame(1280 * 720 * 2);
  ASSERT_EQ(QelOpenEx(0, 960, 540, 30.0, "YUY2", QEL_OPEN_FAST), 0);
  SetStreamLookupHookForTesting(ReplaceKeyZero);
  EXPECT_EQ(QelReceiveImageEx(0, frame.data(), static_cast<int32_t>(frame.size()), nullptr), -1);
  EXPECT_EQ(QelLastErrorCode(), QEL_ERROR_NO_CAMERA);

  QelClose(2);
  ASSERT_EQ(QelOpenEx(0, 960, 540, 30.0, "YUY2", QEL_OPEN_FAST), 0);
  SetStreamLookupHookForTesting(ReplaceKeyZero);
  Seen seen;
  EXPECT_FALSE(QelSetFrameCallback(0, Note, &seen));
  qelsim_advance_ms(34);
  EXPECT_EQ(seen.key.load(), -2) << "not attached to the other camera";

  QelClose(2);
  ASSERT_EQ(QelOpenEx(0, 960, 540, 30.0, "YUY2", QEL_OPEN_FAST), 0);
  SetStreamLookupHookForTesting(ReplaceKeyZero);
  EXPECT_EQ(QelWaitImage(0, frame.data(), static_cast<int32_t>(frame.size()), nullptr, 100), -1);
  EXPECT_EQ(QelLastErrorCode(), QEL_ERROR_NO_CAMERA);
}

}  // namespace
}  // namespace qel::test
