// Waiting threads wake when their reason comes, not at the next look: a
// frame, a close, a time-out shorter than the wait's slice, a released key.
// These run on the real clock; each bound sits well below the 100 ms slice
// that a missed wake-up would cost.
#include <atomic>
#include <chrono>
#include <optional>
#include <thread>
#include <vector>

#include "api/lifecycle_locks.h"
#include "support/rig_fixture.h"

namespace qel::test {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

class WakeUp : public RigTest {
 protected:
  void SetUp() override {
    RigTest::SetUp();
    qelsim_set_virtual_time(0);
    ASSERT_EQ(QelOpenEx(0, 960, 540, 30.0, "YUY2", QEL_OPEN_FAST), 0);
  }
  std::vector<unsigned char> frame_ = std::vector<unsigned char>(960 * 540 * 2);
  int32_t Wait(int32_t timeoutMs) {
    return QelWaitImage(0, frame_.data(), static_cast<int32_t>(frame_.size()), nullptr, timeoutMs);
  }
  // Lets the stream fall silent, once the frames on their way are taken.
  void Silence() {
    qelsim_set_frame_mode(kQel5Device, QELSIM_FRAMES_NONE);
    while (Wait(150) == 1) {
    }
  }
};

TEST_F(WakeUp, AWaitEndsAtItsFramesAndAtItsOwnTimeOut) {
  ASSERT_EQ(Wait(2000), 1);
  const Clock::time_point start = Clock::now();
  constexpr int kWaits = 8;
  for (int i = 0; i < kWaits; ++i) ASSERT_EQ(Wait(2000), 1);
  // Frames come every 33 ms: a waiter woken only by its slice needs 100 ms each.
  EXPECT_LT(Clock::now() - start, milliseconds(kWaits * 75));

  Silence();
  const Clock::time_point silent = Clock::now();
  EXPECT_EQ(Wait(10), 0);
  EXPECT_LT(Clock::now() - silent, milliseconds(80)) << "a 10 ms wait does not sleep a slice";
}

TEST_F(WakeUp, ACloseWakesAWaiterAtOnce) {
  Silence();
  std::atomic<bool> returned{false};
  std::optional<Clock::time_point> woke;
  std::thread waiter([&] {
    std::vector<unsigned char> own(960 * 540 * 2);
    QelWaitImage(0, own.data(), static_cast<int32_t>(own.size()), nullptr, -1);
    woke = Clock::now();
    returned = true;
  });
  std::this_thread::sleep_for(milliseconds(10));
  QelClose(0);
  const Clock::time_point closed = Clock::now();
  waiter.join();
  ASSERT_TRUE(returned.load());
  EXPECT_LT(*woke - closed, milliseconds(50));
}

TEST(KeyLockWakeUp, AReleasedKeyWakesItsWaiterWhileOthersWaitForOtherKeys) {
  std::optional<KeyLock> zero(std::in_place, 0);
  std::optional<KeyLock> one(std::in_place, 1);
  std::atomic<int> got{0};
  // The waiter for key 1 queues first: a single notification would go to it.
  std::thread forOne([&] {
    KeyLock lock(1);
    got += 1;
  });
  std::this_thread::sleep_for(milliseconds(30));
  std::thread forZero([&] {
    KeyLock lock(0);
    got += 10;
  });
  std::this_thread::sleep_for(milliseconds(30));
  zero.reset();
  const Clock::time_point released = Clock::now();
  while (got.load() != 10 && Clock::now() - released < milliseconds(2000)) {
    std::this_thread::sleep_for(milliseconds(1));
  }
  EXPECT_EQ(got.load(), 10) << "key 0's waiter took it; key 1's still waits";
  one.reset();
  forOne.join();
  forZero.join();
  EXPECT_EQ(got.load(), 11);
}

}  // namespace
}  // namespace qel::test
