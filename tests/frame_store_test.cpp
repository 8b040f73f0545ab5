#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "capture/frame_store.h"
#include "capture/sample_grabber_cb.h"
#include "qel/qelsim.h"

namespace qel {
namespace {

std::vector<uint8_t> Frame(std::size_t length, uint8_t fill) {
  return std::vector<uint8_t>(length, fill);
}

TEST(FrameStoreTest, OnlyAFrameWithANewSampleTimeIsHandedOut) {
  FrameStore store;
  std::vector<uint8_t> out(16, 0xEE);
  auto first = Frame(8, 1);
  ASSERT_TRUE(store.Deliver(0.0, first.data(), 8));
  EXPECT_EQ(store.FrameLength(), 8);
  EXPECT_EQ(store.TakeLatest(out.data()), -1) << "time 0.0 equals the initial delivered time";

  auto second = Frame(8, 2);
  store.Deliver(0.033, second.data(), 8);
  EXPECT_EQ(store.TakeLatest(out.data()), 8);
  EXPECT_EQ(out[0], 2);
  out.assign(16, 0xEE);
  EXPECT_EQ(store.TakeLatest(out.data()), -1);
  EXPECT_EQ(out[0], 0xEE) << "untouched without a new frame";
}

TEST(FrameStoreTest, EmptyFramesBeforeAndAfterTheFirst) {
  FrameStore store;
  EXPECT_FALSE(store.Deliver(0.5, nullptr, 0));
  EXPECT_EQ(store.FrameLength(), 0);
  EXPECT_EQ(store.TakeLatest(nullptr), -1);

  auto frame = Frame(4, 9);
  ASSERT_TRUE(store.Deliver(1.0, frame.data(), 4));
  ASSERT_TRUE(store.Deliver(2.0, nullptr, 0)) << "an empty frame after the first is stored";
  EXPECT_EQ(store.FrameLength(), 0);
  std::vector<uint8_t> out(4, 0xEE);
  EXPECT_EQ(store.TakeLatest(out.data()), 0);
  EXPECT_EQ(out[0], 0xEE);
}

TEST(FrameStoreTest, LongerFramesGrowTheBuffers) {
  FrameStore store;
  auto small = Frame(10, 1);
  auto large = Frame(100000, 7);
  store.Deliver(1.0, small.data(), 10);
  store.Deliver(2.0, large.data(), 100000);
  std::vector<uint8_t> out(100000);
  ASSERT_EQ(store.TakeLatest(out.data()), 100000);
  EXPECT_EQ(out.back(), 7);
  store.Deliver(3.0, large.data(), 100000);
  EXPECT_EQ(store.TakeLatest(out.data(), 50), 50) << "a copy limit bounds the copy";
}

TEST(FrameStoreTest, ConcurrentReaderNeverSeesATornFrame) {
  FrameStore store;
  constexpr int32_t kLength = 64 * 1024;
  std::atomic<bool> done{false};
  std::thread stream([&] {
    std::vector<uint8_t> frame(kLength);
    for (int64_t counter = 1; counter <= 2000; ++counter) {
      qelsim_fill_frame(frame.data(), kLength, counter);
      store.Deliver(static_cast<double>(counter), frame.data(), kLength);
    }
    done = true;
  });
  std::vector<uint8_t> out(kLength);
  int64_t last = 0;
  int received = 0;
  while (!done.load() || received == 0) {
    if (store.TakeLatest(out.data()) != kLength) continue;
    int64_t counter = 0;
    ASSERT_EQ(qelsim_check_frame(out.data(), kLength, &counter), 1);
    EXPECT_GT(counter, last);
    last = counter;
    ++received;
  }
  stream.join();
  EXPECT_GT(received, 0);
}

TEST(SampleGrabberCallbackTest, ComIdentityWithoutReferenceCounting) {
  auto store = std::make_shared<FrameStore>();
  vrk_SampleGrabberCB callback(4, store);
  void* object = nullptr;
  EXPECT_EQ(callback.QueryInterface(platform::kIidSampleGrabberCB, &object), platform::kOk);
  EXPECT_EQ(object, &callback);
  object = nullptr;
  EXPECT_EQ(callback.QueryInterface(platform::kIidUnknown, &object), platform::kOk);
  EXPECT_EQ(object, &callback);
  object = &store;
  EXPECT_EQ(callback.QueryInterface(platform::kMediaTypeVideo, &object), platform::kNoInterface);
  EXPECT_EQ(object, &store);
  EXPECT_EQ(callback.AddRef(), 2u);
  EXPECT_EQ(callback.AddRef(), 2u);
  EXPECT_EQ(callback.Release(), 1u);
  EXPECT_EQ(callback.SampleCB(1.0, nullptr), platform::kOk);
  EXPECT_EQ(callback.BufferCB(0.0, nullptr, 0), platform::kFalse) << "empty first frame";
  uint8_t byte = 1;
  EXPECT_EQ(callback.BufferCB(1.0, &byte, 1), platform::kOk);
  EXPECT_EQ(store->FrameLength(), 1);
}

}  // namespace
}  // namespace qel
