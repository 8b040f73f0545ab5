#include <cstring>
#include <vector>

#include "support/rig_fixture.h"

namespace qel::test {
namespace {

using FrameDelivery = RigTest;

uint32_t CounterOf(const std::vector<unsigned char>& frame) {
  uint32_t counter = 0;
  std::memcpy(&counter, frame.data() + 4, 4);
  return counter;
}

TEST_F(FrameDelivery, LatestFrameOnceAndNothingWithoutANewOne) {
  ASSERT_EQ(QelOpen(0, 1920, 1080, 30.0, "YUY2"), 0);
  const int32_t size = QelGetBufferSize(0);
  EXPECT_EQ(size, 1920 * 1080 * 2);
  std::vector<unsigned char> frame(static_cast<std::size_t>(size), 0xEE);
  ASSERT_TRUE(QelReceiveImage(0, frame.data()));
  int64_t first = 0;
  ASSERT_EQ(qelsim_check_frame(frame.data(), size, &first), 1) << "no defects listed: untouched";

  std::fill(frame.begin(), frame.end(), 0xEE);
  EXPECT_FALSE(QelReceiveImage(0, frame.data()));
  EXPECT_EQ(frame[0], 0xEE);
  EXPECT_EQ(frame[size - 1], 0xEE);

  qelsim_advance_ms(100);
  ASSERT_TRUE(QelReceiveImage(0, frame.data()));
  int64_t next = 0;
  ASSERT_EQ(qelsim_check_frame(frame.data(), size, &next), 1);
  EXPECT_GT(next, first) << "only the latest frame survives";
}

TEST_F(FrameDelivery, EmptyFrameAfterTheFirstIsNewAndCopiesNothing) {
  ASSERT_EQ(QelOpen(0, 960, 540, 30.0, "YUY2"), 0);
  std::vector<unsigned char> frame(960 * 540 * 2);
  ASSERT_TRUE(QelReceiveImage(0, frame.data()));
  qelsim_set_frame_mode(kQel5Device, QELSIM_FRAMES_EMPTY);
  qelsim_advance_ms(100);
  EXPECT_EQ(QelGetBufferSize(0), 0);
  std::fill(frame.begin(), frame.end(), 0xEE);
  EXPECT_TRUE(QelReceiveImage(0, frame.data()));
  EXPECT_EQ(frame[0], 0xEE);
}

TEST_F(FrameDelivery, VaryingFramesGrowTheBufferAndArriveWhole) {
  qelsim_set_frame_mode(kQel5Device, QELSIM_FRAMES_VARYING);
  ASSERT_EQ(QelOpen(0, 1920, 1080, 30.0, "MJPG"), 0);
  std::vector<unsigned char> frame;
  for (int i = 0; i < 20; ++i) {
    qelsim_advance_ms(34);
    const int32_t size = QelGetBufferSize(0);
    ASSERT_GT(size, 0);
    frame.assign(static_cast<std::size_t>(size), 0);
    if (!QelReceiveImage(0, frame.data())) continue;
    EXPECT_EQ(qelsim_check_frame(frame.data(), size, nullptr), 1) << i;
  }
}

TEST_F(FrameDelivery, BufferSizeIsZeroWithoutARunningCapture) {
  EXPECT_EQ(QelGetBufferSize(-1), 0);
  EXPECT_EQ(QelGetBufferSize(0), 0);
  ASSERT_EQ(QelOpen(2, 1280, 720, 30.0, "MJPG"), 1);
  EXPECT_GT(QelGetBufferSize(2), 0);
  EXPECT_LT(QelGetBufferSize(2), 1280 * 720 * 2) << "a stored length, not width x height x 2";
  EXPECT_FALSE(QelReceiveImage(2, nullptr));
}

TEST_F(FrameDelivery, CorrectionOffDeliversFramesUntouched) {
  // The check pattern changes from pixel to pixel, as a picture need not.
  qelsim_set_frame_mode(kQel2Device, QELSIM_FRAMES_CHECK_PATTERN);
  ASSERT_EQ(QelOpen(1, 1280, 720, 30.0, "YUY2"), 0);
  QelDefectPoint points[QEL_DEFECT_POINTS];
  for (auto& point : points) point = {0xFFFF, 0xFFFF};
  points[0] = {100, 100};
  ASSERT_TRUE(QelSetPixelDefect(1, 1, 0, points));
  ASSERT_TRUE(QelSetPixelDefectOnOff(1, 0));
  qelsim_advance_ms(40);
  std::vector<unsigned char> frame(1280 * 720 * 2);
  ASSERT_TRUE(QelReceiveImage(1, frame.data()));
  EXPECT_EQ(qelsim_check_frame(frame.data(), static_cast<int32_t>(frame.size()), nullptr), 1);

  ASSERT_TRUE(QelSetPixelDefectOnOff(1, 1));
  qelsim_advance_ms(40);
  ASSERT_TRUE(QelReceiveImage(1, frame.data()));
  EXPECT_EQ(qelsim_check_frame(frame.data(), static_cast<int32_t>(frame.size()), nullptr), 0)
      << "the listed pixel was replaced";
}

// The frame as 16-bit units, and the pattern frame it was made from.
struct CorrectedFrame {
  std::vector<uint16_t> got;
  std::vector<uint16_t> original;
};

CorrectedFrame ReceiveCorrected(int32_t key, std::size_t bytes) {
  std::vector<unsigned char> frame(bytes);
  qelsim_advance_ms(40);
  EXPECT_TRUE(QelReceiveImage(key, frame.data()));
  std::vector<unsigned char> original(bytes);
  qelsim_fill_frame(original.data(), static_cast<int32_t>(bytes), CounterOf(frame));
  CorrectedFrame result{std::vector<uint16_t>(bytes / 2), std::vector<uint16_t>(bytes / 2)};
  std::memcpy(result.got.data(), frame.data(), bytes);
  std::memcpy(result.original.data(), original.data(), bytes);
  return result;
}

TEST_F(FrameDelivery, ListedPixelsTakeTheValueTwoRowsAndColumnsAway) {
  // Frames that qelsim_fill_frame can make again from their counter.
  qelsim_set_frame_mode(kQel2Device, QELSIM_FRAMES_CHECK_PATTERN);
  ASSERT_EQ(QelOpen(1, 1280, 720, 30.0, "YUY2"), 0);
  QelDefectPoint points[QEL_DEFECT_POINTS];
  for (auto& point : points) point = {0xFFFF, 0xFFFF};
  points[0] = {10, 10};
  points[1] = {1000, 100};
  points[2] = {1000, 600};
  points[3] = {1279, 0};  // source row -2: outside the frame, skipped
  ASSERT_TRUE(QelSetPixelDefect(1, 1, 0, points));

  const CorrectedFrame frame = ReceiveCorrected(1, 1280 * 720 * 2);
  constexpr std::size_t W = 1280;
  EXPECT_EQ(frame.got[10 * W + 10], frame.original[12 * W + 12]);
  EXPECT_EQ(frame.got[100 * W + 1000], frame.original[98 * W + 1002]);
  EXPECT_EQ(frame.got[600 * W + 1000], frame.original[598 * W + 998]);
  std::size_t changed = 0;
  for (std::size_t i = 0; i < frame.got.size(); ++i) changed += frame.got[i] != frame.original[i];
  EXPECT_LE(changed, 3u);
  EXPECT_EQ(frame.got[1279], frame.original[1279]);
}

TEST_F(FrameDelivery, OnlyUncompressedFramesOfTheTablesSizeAreCorrected) {
  // Points that lie inside a compressed frame's bytes.
  QelDefectPoint points[QEL_DEFECT_POINTS];
  for (auto& point : points) point = {0xFFFF, 0xFFFF};
  points[0] = {10, 10};
  points[1] = {20, 0};
  points[2] = {1000, 3};
  ASSERT_EQ(QelOpen(1, 1280, 720, 30.0, "MJPG"), 0);
  ASSERT_TRUE(QelSetPixelDefect(1, 1, 0, points));
  for (int round = 0; round < 3; ++round) {
    qelsim_advance_ms(40);
    const int32_t size = QelGetBufferSize(1);
    std::vector<unsigned char> frame(static_cast<std::size_t>(size));
    ASSERT_TRUE(QelReceiveImage(1, frame.data()));
    EXPECT_EQ(qelsim_check_frame(frame.data(), size, nullptr), 1) << "classic, round " << round;
    qelsim_advance_ms(40);
    frame.resize(static_cast<std::size_t>(QelGetBufferSize(1)) + 4096);
    QelFrameInfo info{};
    info.size = sizeof info;
    ASSERT_EQ(QelReceiveImageEx(1, frame.data(), static_cast<int32_t>(frame.size()), &info), 1);
    EXPECT_EQ(qelsim_check_frame(frame.data(), info.bytes, nullptr), 1) << "extended, " << round;
  }
  QelClose(1);

  // A YUY2 frame of the table's size is corrected by both receives.
  qelsim_set_frame_mode(kQel2Device, QELSIM_FRAMES_CHECK_PATTERN);
  ASSERT_EQ(QelOpen(1, 1280, 720, 30.0, "YUY2"), 0);
  const CorrectedFrame classic = ReceiveCorrected(1, 1280 * 720 * 2);
  EXPECT_EQ(classic.got[10 * 1280 + 10], classic.original[12 * 1280 + 12]);
  qelsim_advance_ms(40);
  std::vector<unsigned char> frame(1280 * 720 * 2);
  ASSERT_EQ(QelReceiveImageEx(1, frame.data(), 1280 * 720 * 2, nullptr), 1);
  std::vector<unsigned char> original(frame.size());
  qelsim_fill_frame(original.data(), 1280 * 720 * 2, CounterOf(frame));
  const std::size_t at = 2 * (10 * 1280 + 10);
  const std::size_t from = 2 * (12 * 1280 + 12);
  EXPECT_EQ(std::memcmp(&frame[at], &original[from], 2), 0) << "the extended receive corrects";
  EXPECT_NE(std::memcmp(&original[at], &original[from], 2), 0) << "the pattern tells them apart";
}

TEST_F(FrameDelivery, ModelZeroCamerasRefuseTheTablesButTheirFramesAreCorrected) {
  const int device = qelsim_add_camera("QEL", 0x1234);
  qelsim_set_frame_mode(device, QELSIM_FRAMES_CHECK_PATTERN);
  // Table for camera number 1, size index 0, written straight into the camera.
  const unsigned char point[4] = {10, 0, 10, 0};  // (10, 10) little-endian
  qelsim_write_memory(device, 0x070000 + 16, point, sizeof point);
  ASSERT_EQ(QelOpen(3, 1280, 720, 30.0, "YUY2"), 0);

  QelDefectPoint points[QEL_DEFECT_POINTS] = {};
  int32_t on = -1;
  EXPECT_FALSE(QelGetPixelDefect(3, 1, 0, points));
  EXPECT_FALSE(QelSetPixelDefect(3, 1, 0, points));
  EXPECT_FALSE(QelSetPixelDefectOnOff(3, 0));
  EXPECT_FALSE(QelGetPixelDefectOnOff(3, &on));

  const CorrectedFrame frame = ReceiveCorrected(3, 1280 * 720 * 2);
  EXPECT_EQ(frame.got[10 * 1280 + 10], frame.original[12 * 1280 + 12]);
}

}  // namespace
}  // namespace qel::test
