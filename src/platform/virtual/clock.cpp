#include "platform/virtual/clock.h"

#include <chrono>
#include <thread>

#include "platform/virtual/rig.h"
#include "platform/virtual/stream.h"

namespace qel::sim {

namespace {

std::uint32_t RealMs(const Rig& rig) {
  auto elapsed = std::chrono::steady_clock::now() - rig.realEpoch;
  return static_cast<std::uint32_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count());
}

std::uint32_t TickLocked(const Rig& rig) {
  std::uint32_t base =
      rig.virtualTime ? static_cast<std::uint32_t>(rig.virtualElapsed) : RealMs(rig);
  return base + rig.tickOffset;
}

}  // namespace

std::uint32_t ReadTickCount() {
  Rig& rig = Rig::Instance();
  std::unique_lock lock(rig.mutex);
  std::uint32_t now = TickLocked(rig);
  // The frames due meanwhile arrive at the next wait: a loop of reads (an
  // exchange's deadline check) renders none.
  if (rig.virtualTime) ++rig.virtualElapsed;
  return now;
}

std::uint32_t PeekTickCount() {
  Rig& rig = Rig::Instance();
  std::lock_guard lock(rig.mutex);
  return TickLocked(rig);
}

void AdvanceClock(std::uint32_t ms) {
  Rig& rig = Rig::Instance();
  std::unique_lock lock(rig.mutex);
  AdvanceClockLocked(lock, ms);
}

void AdvanceClockLocked(std::unique_lock<std::mutex>& lock, std::uint32_t ms) {
  Rig& rig = Rig::Instance();
  if (!rig.virtualTime) {
    lock.unlock();
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    lock.lock();
    return;
  }
  rig.virtualElapsed += ms;
  DeliverDueFramesLocked(lock, rig.virtualElapsed);
}

bool ClockIsVirtual() {
  Rig& rig = Rig::Instance();
  std::lock_guard lock(rig.mutex);
  return rig.virtualTime;
}

void SetTickCount(std::uint32_t ms) {
  Rig& rig = Rig::Instance();
  std::lock_guard lock(rig.mutex);
  std::uint32_t base =
      rig.virtualTime ? static_cast<std::uint32_t>(rig.virtualElapsed) : RealMs(rig);
  rig.tickOffset = ms - base;
}

void SetVirtualTime(bool on) {
  Rig& rig = Rig::Instance();
  std::lock_guard lock(rig.mutex);
  if (rig.virtualTime == on) return;
  // Keep the tick count continuous across the switch.
  std::uint32_t now = TickLocked(rig);
  rig.virtualTime = on;
  std::uint32_t base = on ? static_cast<std::uint32_t>(rig.virtualElapsed) : RealMs(rig);
  rig.tickOffset = now - base;
  rig.changed.notify_all();
}

void ResetClockLocked() {
  Rig& rig = Rig::Instance();
  rig.virtualTime = false;
  rig.virtualElapsed = 0;
  rig.tickOffset = 0;
  rig.realEpoch = std::chrono::steady_clock::now();
  rig.changed.notify_all();
}

}  // namespace qel::sim
