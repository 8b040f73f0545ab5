#include <cmath>
// The rig's clock and its barrier with the streams, and the frame pattern.
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "support/rig_fixture.h"
#include "support/rig_graph.h"

namespace qel::test {
namespace {

using RigClock = ComRigTest;

TEST_F(RigClock, VirtualTickCountMovesOnlyWhenReadOrWaitedOn) {
  platform::Platform& p = ActivePlatform();
  std::uint32_t t0 = qelsim_now_ms();
  EXPECT_EQ(qelsim_now_ms(), t0) << "the control interface only looks";
  EXPECT_EQ(p.GetTickCount(), t0);
  EXPECT_EQ(p.GetTickCount(), t0 + 1);
  p.Sleep(5000);
  EXPECT_EQ(qelsim_now_ms(), t0 + 5002);

  qelsim_set_tick_count(0xFFFFFFFEu);
  EXPECT_EQ(p.GetTickCount(), 0xFFFFFFFEu);
  p.Sleep(3);
  EXPECT_EQ(p.GetTickCount(), 2u) << "the tick count wraps";
}

TEST_F(RigClock, AdvanceReturnsOnlyAfterTheDueFrameWasHandled) {
  Graph g;
  ASSERT_EQ(g.Build(1, 480, 270, 166667, kYuy2, kYuy2), kOk);
  std::atomic<int> finished{0};
  g.recorder->onFrame = [&](double) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ++finished;
  };
  ASSERT_EQ(g.control->Run(), kOk);
  for (int i = 1; i <= 5; ++i) {
    qelsim_advance_ms(17);
    EXPECT_EQ(finished.load(), i);
  }
  // Reading the tick count moves the clock but delivers nothing; the next
  // wait delivers the latest frame due meanwhile, skipping the others.
  for (int i = 0; i < 40; ++i) ActivePlatform().GetTickCount();
  EXPECT_EQ(finished.load(), 5);
  ActivePlatform().Sleep(0);
  EXPECT_EQ(finished.load(), 6);
  EXPECT_EQ(g.recorder->Frames().back().counter, 7) << "frame 6 was skipped";
}

TEST_F(RigClock, CallbacksMayAdvanceTheClockOrStopTheirOwnGraph) {
  Graph a, b;
  ASSERT_EQ(a.Build(1, 480, 270, 333333, kYuy2, kYuy2), kOk);
  ASSERT_EQ(b.Build(2, 328, 204, 250000, kYuy2, kYuy2), kOk);
  a.recorder->onFrame = [&](double) { ActivePlatform().Sleep(10); };
  b.recorder->onFrame = [&](double time) {
    if (time > 0.1) b.control->Stop();
  };
  ASSERT_EQ(a.control->Run(), kOk);
  ASSERT_EQ(b.control->Run(), kOk);
  for (int i = 0; i < 20; ++i) qelsim_advance_ms(25);
  std::size_t stoppedAt = b.recorder->Frames().size();
  EXPECT_GE(stoppedAt, 2u);
  for (int i = 0; i < 5; ++i) qelsim_advance_ms(25);
  EXPECT_EQ(b.recorder->Frames().size(), stoppedAt);
  EXPECT_GT(a.recorder->Frames().size(), 10u);
}

TEST_F(RigClock, StoppingWhileAnotherThreadAdvancesNeverDeadlocks) {
  for (int round = 0; round < 20; ++round) {
    auto g = std::make_unique<Graph>();
    ASSERT_EQ(g->Build(1, 480, 270, 166667, kYuy2, kYuy2), kOk);
    ASSERT_EQ(g->control->Run(), kOk);
    std::atomic<bool> done{false};
    std::thread clock([&] {
      while (!done) qelsim_advance_ms(7);
    });
    while (g->recorder->Frames().size() < 3) std::this_thread::yield();
    if (round % 2) {
      g->control->Stop();
    } else {
      g.reset();  // released while running
    }
    done = true;
    clock.join();
  }
}

// In real time a stream never runs ahead of its rate, and a late streaming
// thread skips to the frame due rather than bunching up: bounds that a loaded
// machine cannot break.
TEST_F(RigClock, RealTimeStreamsDeliverAtTheirRate) {
  qelsim_set_virtual_time(0);
  Graph g;
  ASSERT_EQ(g.Build(2, 328, 204, 41667, kYuy2, kYuy2), kOk);  // 240 fps
  const auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(g.control->Run(), kOk);
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  g.control->Stop();
  const double elapsed =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  auto frames = g.recorder->Frames();
  ASSERT_GE(frames.size(), 1u);
  EXPECT_LE(static_cast<double>(frames.size()), elapsed * 240.0 + 2.0);
  for (std::size_t i = 0; i < frames.size(); ++i) {
    const double slots = frames[i].time / 0.0041667;
    EXPECT_NEAR(slots, std::round(slots), 1e-6) << "sample times fall on the frame grid";
    if (i > 0) {
      EXPECT_GT(frames[i].time, frames[i - 1].time);
    }
  }
  EXPECT_LE(frames.back().time, elapsed + 0.0042);
}

TEST(RigPattern, CheckerAcceptsWholeFramesAndRejectsTornOnes) {
  std::vector<unsigned char> a(1000), b(1000);
  qelsim_fill_frame(a.data(), 1000, 41);
  qelsim_fill_frame(b.data(), 1000, 42);
  std::int64_t counter = 0;
  ASSERT_EQ(qelsim_check_frame(a.data(), 1000, &counter), 1);
  EXPECT_EQ(counter, 41);

  for (std::size_t cut : {8u, 12u, 17u, 500u, 999u}) {
    std::vector<unsigned char> torn(a.begin(), a.begin() + static_cast<long>(cut));
    torn.insert(torn.end(), b.begin() + static_cast<long>(cut), b.end());
    EXPECT_EQ(qelsim_check_frame(torn.data(), 1000, &counter), 0) << "cut at " << cut;
  }
  EXPECT_EQ(qelsim_check_frame(a.data(), 999, &counter), 0) << "the length is part of the frame";
  a[600] ^= 1;
  EXPECT_EQ(qelsim_check_frame(a.data(), 1000, &counter), 0);
  EXPECT_EQ(qelsim_check_frame(nullptr, 1000, &counter), 0);
  EXPECT_EQ(qelsim_check_frame(b.data(), 0, &counter), 0);

  // Shorter than the header: counter-derived bytes only.
  unsigned char small[7];
  qelsim_fill_frame(small, 7, 0x1234);
  ASSERT_EQ(qelsim_check_frame(small, 7, &counter), 1);
  EXPECT_EQ(counter, 0x34);
  small[5] ^= 0x80;
  EXPECT_EQ(qelsim_check_frame(small, 7, &counter), 0);
}

}  // namespace
}  // namespace qel::test
