// Opening, streaming and closing a video node through the exports.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "qel/qel.h"
#include "video_fixture.h"

namespace qel::test {
namespace {

using VideoStreaming = LinuxVideoTest;

constexpr std::uint64_t kMs = 1'000'000;

// Whether want occurs in order (not necessarily adjacent) in have.
bool InOrder(const std::vector<unsigned long>& have, const std::vector<unsigned long>& want) {
  auto at = have.begin();
  for (unsigned long request : want) {
    at = std::find(at, have.end(), request);
    if (at == have.end()) return false;
    ++at;
  }
  return true;
}

int Receive(std::vector<unsigned char>& buffer, QelFrameInfo& info) {
  info = {};
  info.size = sizeof info;
  return QelReceiveImageEx(0, buffer.data(), static_cast<int32_t>(buffer.size()), &info);
}

TEST_F(VideoStreaming, OpenStreamsGoodFramesInRisingTimeAndCloseGivesEverythingBack) {
  FakeVideoNode& node = AddCamera(0, 0, {.address = 5, .productName = "Webcam"});
  const std::uint64_t start = system.nowNs;
  node.frames = {{0, V4L2_BUF_FLAG_TIMESTAMP_MONOTONIC, start + 10 * kMs, 0x11}};
  ASSERT_EQ(QelOpen(0, 640, 480, 15.0, "YUY2"), 1);  // not of the family: capture only
  v4l2.WaitDrained("/dev/video0");
  {
    auto lock = v4l2.Lock();  // the streaming thread uses the node too
    EXPECT_TRUE(InOrder(node.requests, {VIDIOC_TRY_FMT, VIDIOC_S_FMT, VIDIOC_S_PARM, VIDIOC_REQBUFS,
                                        VIDIOC_QUERYBUF, VIDIOC_QBUF, VIDIOC_STREAMON}));
    EXPECT_EQ(node.timePerFrame.numerator, 1u);  // as listed, not 666667/10^7
    EXPECT_EQ(node.timePerFrame.denominator, 15u);
  }

  std::vector<unsigned char> buffer(640 * 480 * 2);
  QelFrameInfo info;
  ASSERT_EQ(Receive(buffer, info), 1);
  EXPECT_EQ(buffer[0], 0x11);
  EXPECT_DOUBLE_EQ(info.sampleTime, 0.010);

  // An errored buffer is not delivered; a repeated or missing time stamp
  // still gives a later sample time; a short frame keeps its length.
  v4l2.PushFrame("/dev/video0", {0, V4L2_BUF_FLAG_TIMESTAMP_MONOTONIC | V4L2_BUF_FLAG_ERROR,
                                 start + 20 * kMs, 0xEE});
  v4l2.PushFrame("/dev/video0", {1000, V4L2_BUF_FLAG_TIMESTAMP_MONOTONIC, start + 10 * kMs, 0x22});
  v4l2.WaitDrained("/dev/video0");
  ASSERT_EQ(Receive(buffer, info), 1);
  EXPECT_EQ(buffer[0], 0x22);
  EXPECT_EQ(info.sequence, 2u);
  EXPECT_EQ(info.bytes, 1000);
  EXPECT_GT(info.sampleTime, 0.010);
  const double previous = info.sampleTime;
  v4l2.PushFrame("/dev/video0", {0, 0, 0, 0x33});
  v4l2.WaitDrained("/dev/video0");
  ASSERT_EQ(Receive(buffer, info), 1);
  EXPECT_GT(info.sampleTime, previous);
  // A length past the buffer's end is not believed: only the mapping is read.
  v4l2.PushFrame("/dev/video0", {10'000'000, 0, 0, 0x44});
  v4l2.WaitDrained("/dev/video0");
  ASSERT_EQ(Receive(buffer, info), 1);
  EXPECT_EQ(info.bytes, 640 * 480 * 2);

  QelClose(0);
  EXPECT_FALSE(node.streaming);
  EXPECT_TRUE(InOrder(node.requests, {VIDIOC_STREAMON, VIDIOC_STREAMOFF, VIDIOC_REQBUFS}));
  EXPECT_EQ(v4l2.mapped, 4);
  EXPECT_EQ(v4l2.unmapped, v4l2.mapped);
  EXPECT_EQ(v4l2.opened, v4l2.closed);
}

TEST_F(VideoStreaming, AdjustedOrBusyFormatIsRefused) {
  FakeVideoNode& node = AddCamera(0, 0, {.address = 5, .productName = "Webcam"});
  node.frames = {{}};
  // The driver would give 640x480: refused without setting anything.
  EXPECT_EQ(QelOpen(0, 800, 600, 30.0, "YUY2"), -1);
  EXPECT_EQ(std::count(node.requests.begin(), node.requests.end(), VIDIOC_S_FMT), 0);
  // A rate the size does not offer.
  EXPECT_EQ(QelOpen(0, 320, 240, 15.0, "YUY2"), -1);
  node.busyErrno = EBUSY;  // another process streams from it
  EXPECT_EQ(QelOpen(0, 640, 480, 30.0, "YUY2"), -1);
  EXPECT_EQ(v4l2.opened, v4l2.closed);
}

TEST_F(VideoStreaming, InterruptedPollsAndAnotherBufferCountStillStream) {
  FakeVideoNode& node = AddCamera(0, 0, {.address = 5, .productName = "Webcam"});
  node.grantBuffers = 2;  // the driver grants fewer than asked
  node.pollInterruptions = 3;
  node.frames = {{0, 0, 0, 0x11}, {0, 0, 0, 0x12}, {0, 0, 0, 0x13}};
  ASSERT_EQ(QelOpen(0, 640, 480, 30.0, "YUY2"), 1);
  v4l2.WaitDrained("/dev/video0");
  std::vector<unsigned char> buffer(640 * 480 * 2);
  QelFrameInfo info;
  ASSERT_EQ(Receive(buffer, info), 1);
  EXPECT_EQ(buffer[0], 0x13);
  EXPECT_EQ(info.sequence, 3u);
  QelClose(0);
  EXPECT_EQ(v4l2.mapped, 2);
  EXPECT_EQ(v4l2.unmapped, 2);
  EXPECT_EQ(v4l2.opened, v4l2.closed);
}

// Closes race frames being delivered to a callback: after each close the
// callback is never called again and every buffer and descriptor is back.
TEST_F(VideoStreaming, CloseRacingDeliveryEndsCleanly) {
  AddCamera(0, 0, {.address = 5, .productName = "Webcam"});
  std::atomic<bool> feeding{true};
  std::thread feeder([&] {
    while (feeding.load()) {
      bool room = false;
      {
        auto lock = v4l2.Lock();
        room = v4l2.Node("/dev/video0").frames.size() < 4;
      }
      if (room) v4l2.PushFrame("/dev/video0", {0, 0, 0, 0x55});
      std::this_thread::yield();
    }
  });
  std::atomic<int> calls{0};
  const auto count = [](int32_t, const unsigned char* frame, const QelFrameInfo*, void* user) {
    if (frame[0] == 0x55) static_cast<std::atomic<int>*>(user)->fetch_add(1);
  };
  for (int round = 0; round < 20; ++round) {
    ASSERT_EQ(QelOpen(0, 640, 480, 30.0, "YUY2"), 1);
    ASSERT_TRUE(QelSetFrameCallback(0, count, &calls));
    for (int tries = 0; tries < 100000 && calls.load() == 0; ++tries) std::this_thread::yield();
    QelClose(0);
    const int after = calls.load();
    for (int i = 0; i < 100; ++i) std::this_thread::yield();
    EXPECT_EQ(calls.load(), after);
    calls.store(0);
  }
  feeding.store(false);
  feeder.join();
  EXPECT_EQ(v4l2.unmapped, v4l2.mapped);
  EXPECT_EQ(v4l2.opened, v4l2.closed);
}

TEST_F(VideoStreaming, UnplugEndsTheStreamAsDeviceLost) {
  AddCamera(0, 0, {.address = 5, .productName = "Webcam"});
  v4l2.Node("/dev/video0").frames = {{}};
  ASSERT_EQ(QelOpen(0, 640, 480, 30.0, "YUY2"), 1);
  v4l2.WaitDrained("/dev/video0");
  std::vector<unsigned char> buffer(640 * 480 * 2);
  QelFrameInfo info;
  ASSERT_EQ(Receive(buffer, info), 1);
  v4l2.Unplug("/dev/video0");
  // The streaming thread sees the node fail and ends; the next receive
  // learns of the loss.
  v4l2.WaitFailurePolled("/dev/video0");
  int got = 0;
  for (int tries = 0; tries < 100000 && got != -1; ++tries) {
    got = Receive(buffer, info);
    std::this_thread::yield();
  }
  EXPECT_EQ(got, -1);
  EXPECT_EQ(QelLastErrorCode(), QEL_ERROR_DEVICE_LOST);
  QelClose(0);
  EXPECT_EQ(v4l2.unmapped, v4l2.mapped);
  EXPECT_EQ(v4l2.opened, v4l2.closed);
}

}  // namespace
}  // namespace qel::test
