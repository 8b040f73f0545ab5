// The extended frame functions through the exports: bounded receive, frame
// details and counts, waiting, callbacks, the stream's format, device loss.
#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "support/rig_fixture.h"

namespace qel::test {
namespace {

using ExtendedFrames = RigTest;

QelFrameInfo NewInfo() {
  QelFrameInfo info{};
  info.size = sizeof info;
  return info;
}

int64_t CounterOf(const std::vector<unsigned char>& frame, int32_t length) {
  int64_t counter = -1;
  return qelsim_check_frame(frame.data(), length, &counter) == 1 ? counter : -1;
}

TEST_F(ExtendedFrames, NeverWritesPastTheBufferAndKeepsAFrameThatDidNotFit) {
  qelsim_set_frame_mode(kQel5Device, QELSIM_FRAMES_VARYING);
  ASSERT_EQ(QelOpen(0, 960, 540, 30.0, "MJPG"), 0);
  constexpr int32_t kSmall = 64;
  std::vector<unsigned char> buffer(kSmall + 16, 0xEE);
  QelFrameInfo info = NewInfo();
  ASSERT_EQ(QelReceiveImageEx(0, buffer.data(), kSmall, &info), -1);
  EXPECT_EQ(QelLastErrorCode(), QEL_ERROR_BUFFER_TOO_SMALL);
  EXPECT_GT(info.bytes, kSmall);
  for (int32_t i = kSmall; i < kSmall + 16; ++i) ASSERT_EQ(buffer[i], 0xEE) << "guard byte " << i;
  const uint64_t refused = info.sequence;

  // The same frame, whole, once the buffer is large enough.
  const int32_t needed = info.bytes;
  buffer.assign(static_cast<std::size_t>(needed) + 16, 0xEE);
  info = NewInfo();
  ASSERT_EQ(QelReceiveImageEx(0, buffer.data(), needed, &info), 1);
  EXPECT_EQ(QelLastErrorCode(), QEL_OK) << "success clears the reason";
  EXPECT_EQ(info.sequence, refused);
  EXPECT_EQ(info.bytes, needed);
  EXPECT_NE(CounterOf(buffer, needed), -1);
  EXPECT_EQ(buffer[static_cast<std::size_t>(needed)], 0xEE);
  EXPECT_EQ(std::string(info.format), "MJPG");
  EXPECT_EQ(info.width, 960);
  EXPECT_EQ(info.height, 540);
  EXPECT_EQ(QelReceiveImageEx(0, buffer.data(), needed, &info), 0) << "nothing new";

  QelFrameInfo unsized{};
  EXPECT_EQ(QelReceiveImageEx(0, buffer.data(), needed, &unsized), -1) << "info->size unset";
  EXPECT_EQ(QelLastErrorCode(), QEL_ERROR_BAD_ARGUMENT);
  EXPECT_EQ(QelReceiveImageEx(0, nullptr, 10, nullptr), -1);
  EXPECT_EQ(QelReceiveImageEx(7, buffer.data(), needed, nullptr), -1);
  EXPECT_EQ(QelLastErrorCode(), QEL_ERROR_NO_CAMERA);
}

TEST_F(ExtendedFrames, SequenceAndDroppedCountTheRigsFrames) {
  ASSERT_EQ(QelOpen(0, 960, 540, 30.0, "YUY2"), 0);
  std::vector<unsigned char> frame(960 * 540 * 2);
  QelFrameInfo info = NewInfo();
  ASSERT_EQ(QelReceiveImageEx(0, frame.data(), 960 * 540 * 2, &info), 1);
  const uint64_t first = info.sequence;
  const uint64_t droppedBefore = info.dropped;
  const int64_t deliveredBefore = qelsim_frames_delivered(kQel5Device);

  // The virtual clock's stream delivers one frame per step it is advanced by.
  for (int i = 0; i < 30; ++i) qelsim_advance_ms(34);
  const int64_t delivered = qelsim_frames_delivered(kQel5Device) - deliveredBefore;
  ASSERT_EQ(delivered, 30);
  ASSERT_EQ(QelReceiveImageEx(0, frame.data(), 960 * 540 * 2, &info), 1);
  EXPECT_EQ(info.sequence - first, static_cast<uint64_t>(delivered));
  EXPECT_EQ(info.dropped - droppedBefore, static_cast<uint64_t>(delivered - 1))
      << "every frame but the last was overwritten unread";
  EXPECT_GT(info.sampleTime, 0.0);
  EXPECT_NE(CounterOf(frame, info.bytes), -1) << "intact";
}

TEST_F(ExtendedFrames, WaitTimesOutOnTheClockAndReturnsWithTheNextFrame) {
  ASSERT_EQ(QelOpen(0, 960, 540, 30.0, "YUY2"), 0);
  std::vector<unsigned char> frame(960 * 540 * 2);
  QelFrameInfo info = NewInfo();
  qelsim_advance_ms(1);  // what fell due during the open arrives
  ASSERT_EQ(QelReceiveImageEx(0, frame.data(), 960 * 540 * 2, &info), 1);
  const uint64_t taken = info.sequence;

  qelsim_set_frame_mode(kQel5Device, QELSIM_FRAMES_NONE);
  uint32_t start = qelsim_now_ms();
  EXPECT_EQ(QelWaitImage(0, frame.data(), 960 * 540 * 2, &info, 50), 0);
  EXPECT_EQ(QelLastErrorCode(), QEL_OK) << "a time-out is no failure";
  EXPECT_GE(qelsim_now_ms() - start, 50u);
  EXPECT_LT(qelsim_now_ms() - start, 60u);

  qelsim_set_frame_mode(kQel5Device, QELSIM_FRAMES_PATTERN);
  start = qelsim_now_ms();
  ASSERT_EQ(QelWaitImage(0, frame.data(), 960 * 540 * 2, &info, 1000), 1);
  EXPECT_EQ(info.sequence, taken + 1);
  EXPECT_LE(qelsim_now_ms() - start, 40u) << "returns at the next frame, not at the time-out";

  EXPECT_EQ(QelWaitImage(7, frame.data(), 960 * 540 * 2, &info, 10), -1);
}

TEST_F(ExtendedFrames, CloseAndUnplugEndAWaitWithTheirReasons) {
  qelsim_set_virtual_time(0);
  ASSERT_EQ(QelOpenEx(0, 960, 540, 30.0, "YUY2", QEL_OPEN_FAST), 0);
  ASSERT_EQ(QelOpenEx(1, 1280, 720, 30.0, "YUY2", QEL_OPEN_FAST), 0);
  std::vector<unsigned char> frame(960 * 540 * 2);
  QelFrameInfo info = NewInfo();
  // On the real clock the waiting thread sleeps until a frame is stored.
  EXPECT_EQ(QelWaitImage(0, frame.data(), 960 * 540 * 2, &info, 5000), 1);
  qelsim_set_frame_mode(kQel5Device, QELSIM_FRAMES_NONE);
  // A frame already on its way when the stream fell silent arrives first.
  while (QelWaitImage(0, frame.data(), 960 * 540 * 2, &info, 200) == 1) {
  }

  std::atomic<int32_t> result{2};
  std::atomic<int32_t> code{0};
  std::thread waiter([&] {
    std::vector<unsigned char> own(960 * 540 * 2);
    result = QelWaitImage(0, own.data(), 960 * 540 * 2, nullptr, -1);
    code = QelLastErrorCode();
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(result.load(), 2) << "still waiting";
  QelClose(0);
  waiter.join();
  EXPECT_EQ(result.load(), -1);
  EXPECT_EQ(code.load(), QEL_ERROR_NO_CAMERA);
  EXPECT_EQ(QelLastErrorCode(), QEL_OK) << "the reason is the waiting thread's own";

  // Unplugged: the classic receive keeps answering 0 but the reason tells;
  // the extended calls fail.
  ASSERT_EQ(qelsim_remove_device(kQel2Device), 0);
  frame.resize(1280 * 720 * 2);
  int32_t got = 1;
  for (int i = 0; i < 5 && got == 1; ++i) {  // frames stored before the removal come first
    got = QelWaitImage(1, frame.data(), 1280 * 720 * 2, &info, 3000);
  }
  EXPECT_EQ(got, -1);
  EXPECT_EQ(QelLastErrorCode(), QEL_ERROR_DEVICE_LOST);
  EXPECT_EQ(QelReceiveImageEx(1, frame.data(), 1280 * 720 * 2, &info), -1);
  EXPECT_EQ(QelLastErrorCode(), QEL_ERROR_DEVICE_LOST);
  EXPECT_EQ(QelReceiveImage(1, frame.data()), 0);
  EXPECT_EQ(QelLastErrorCode(), QEL_ERROR_DEVICE_LOST);
}

struct CallbackLog {
  std::atomic<int> calls{0};
  std::atomic<bool> inside{false};
  std::atomic<bool> intact{true};
  std::atomic<int> sleepMs{0};
  std::atomic<int> receivedInside{0};
  std::atomic<int> closeRefused{0};
};

void QEL_CALL Record(int32_t key, const unsigned char* frame, const QelFrameInfo* info,
                     void* user) {
  auto& log = *static_cast<CallbackLog*>(user);
  log.inside = true;
  if (qelsim_check_frame(frame, info->bytes, nullptr) != 1 || info->width != 960) {
    log.intact = false;
  }
  // Slow first: a removal or close on another thread begins meanwhile.
  std::this_thread::sleep_for(std::chrono::milliseconds(log.sleepMs.load()));
  // Back into the library for the same camera, from the streaming thread;
  // a close from here is refused, also while another thread is closing.
  std::vector<unsigned char> copy(static_cast<std::size_t>(info->bytes));
  QelFrameInfo own{};
  own.size = sizeof own;
  if (QelReceiveImageEx(key, copy.data(), info->bytes, &own) == 1) ++log.receivedInside;
  QelClose(key);
  if (QelLastErrorCode() == QEL_ERROR_BUSY) ++log.closeRefused;
  ++log.calls;
  log.inside = false;
}

TEST_F(ExtendedFrames, CallbackSeesEveryFrameAndRemovalWaitsForARunningCall) {
  ASSERT_EQ(QelOpenEx(0, 960, 540, 30.0, "YUY2", QEL_OPEN_FAST), 0);
  CallbackLog log;
  ASSERT_TRUE(QelSetFrameCallback(0, Record, &log));
  for (int i = 0; i < 3; ++i) qelsim_advance_ms(34);
  EXPECT_EQ(log.calls.load(), 3);
  EXPECT_TRUE(log.intact.load());
  EXPECT_EQ(log.receivedInside.load(), log.calls.load());
  EXPECT_EQ(log.closeRefused.load(), log.calls.load()) << "a close from inside is refused";

  // A slow callback on the real clock: removal returns only after the call.
  log.sleepMs = 30;
  qelsim_set_virtual_time(0);
  while (!log.inside.load()) std::this_thread::yield();
  ASSERT_TRUE(QelSetFrameCallback(0, nullptr, nullptr));
  EXPECT_FALSE(log.inside.load());
  const int calls = log.calls.load();
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(log.calls.load(), calls) << "no call after removal";

  ASSERT_TRUE(QelSetFrameCallback(0, Record, &log));
  while (!log.inside.load()) std::this_thread::yield();
  QelClose(0);
  EXPECT_FALSE(log.inside.load()) << "close waits for the running call";
  EXPECT_FALSE(QelSetFrameCallback(0, Record, &log));
  EXPECT_EQ(QelLastErrorCode(), QEL_ERROR_NO_CAMERA);
}

TEST_F(ExtendedFrames, StreamFormatAndTheFullFormatList) {
  ASSERT_EQ(QelOpen(1, 1280, 720, 30.0, "YUY2"), 0);
  int32_t width = 0;
  int32_t height = 0;
  double rate = 0.0;
  char format[8] = {};
  ASSERT_TRUE(QelGetStreamFormat(1, &width, &height, &rate, format, sizeof format));
  EXPECT_EQ(width, 1280);
  EXPECT_EQ(height, 720);
  EXPECT_DOUBLE_EQ(rate, 30.0);
  EXPECT_STREQ(format, "YUY2");
  EXPECT_FALSE(QelGetStreamFormat(1, nullptr, nullptr, nullptr, format, 4));
  EXPECT_EQ(QelLastErrorCode(), QEL_ERROR_BUFFER_TOO_SMALL);

  const int32_t count = QelGetFormatList(1, nullptr, 0);
  ASSERT_GT(count, 10) << "the QEL2 offers more than QelGetFormat's ten";
  std::vector<QelFormat> formats(static_cast<std::size_t>(count));
  ASSERT_EQ(QelGetFormatList(1, formats.data(), count), count);
  char text[4096];
  ASSERT_TRUE(QelGetFormat(1, text, sizeof text));
  std::string expected;
  for (int i = 0; i < 10; ++i) {
    char row[128];
    std::snprintf(row, sizeof row, "%d,%d,%d,%f,%s,", i, formats[i].width, formats[i].height,
                  formats[i].frameRate, formats[i].format);
    expected += row;
  }
  EXPECT_EQ(std::string(text), expected) << "the same order as QelGetFormat";
  bool mjpg = false;
  for (const QelFormat& each : formats) mjpg = mjpg || std::string(each.format) == "MJPG";
  EXPECT_TRUE(mjpg);
  EXPECT_EQ(QelGetFormatList(1, formats.data(), 2), count) << "a short array still counts all";
  EXPECT_EQ(QelGetFormatList(12, nullptr, 0), -1);
  EXPECT_EQ(QelLastErrorCode(), QEL_ERROR_NO_DEVICE);
}

TEST_F(ExtendedFrames, FastOpenReturnsWithTheFirstFrame) {
  uint32_t start = qelsim_now_ms();
  ASSERT_EQ(QelOpenEx(0, 960, 540, 30.0, "YUY2", QEL_OPEN_FAST), 0);
  EXPECT_LT(qelsim_now_ms() - start, 100u + 34u);
  int32_t key = -1;
  start = qelsim_now_ms();
  ASSERT_EQ(QelOpenSerialNoEx("QEL2#00C0FFEE", &key, 1280, 720, 30.0, QEL_OPEN_FAST), 0);
  EXPECT_EQ(key, 1);
  EXPECT_LT(qelsim_now_ms() - start, 100u + 34u);
  start = qelsim_now_ms();
  ASSERT_EQ(QelOpenEx(2, 640, 480, 30.0, "YUY2", 0), 1);
  EXPECT_GE(qelsim_now_ms() - start, 3000u) << "without the flag, the classic wait";
  EXPECT_EQ(QelOpenEx(2, 640, 480, 30.0, "YUY2", 0x80), -1);
  EXPECT_EQ(QelLastErrorCode(), QEL_ERROR_BAD_ARGUMENT);
  int32_t version[3] = {-1, -1, -1};
  QelLibraryVersion(&version[0], &version[1], &version[2]);
  EXPECT_EQ(version[0], QEL_VERSION_MAJOR);
  EXPECT_EQ(version[1], QEL_VERSION_MINOR);
  EXPECT_EQ(version[2], QEL_VERSION_PATCH);
}

}  // namespace
}  // namespace qel::test
