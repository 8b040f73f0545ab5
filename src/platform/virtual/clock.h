// The rig's clock: real time, or a virtual millisecond count that advances
// only when the library waits, sleeps or reads the tick count. Every wait or
// sleep on the virtual clock lets the running streams deliver the frame due
// at the new time before it returns; a read of the tick count moves the clock
// without delivering, and what fell due meanwhile comes with the next wait.
#pragma once

#include <cstdint>
#include <mutex>

namespace qel::sim {

// GetTickCount of the platform: on the virtual clock each read advances the
// clock by 1 ms (after reading it), delivering no frame.
std::uint32_t ReadTickCount();
// The tick count without advancing the clock.
std::uint32_t PeekTickCount();
// Advances the virtual clock by ms, or sleeps ms in real time.
void AdvanceClock(std::uint32_t ms);
// Same, with the rig mutex already held through lock (it is released while
// waiting).
void AdvanceClockLocked(std::unique_lock<std::mutex>& lock, std::uint32_t ms);
// True while the rig runs on its virtual clock.
bool ClockIsVirtual();
void SetTickCount(std::uint32_t ms);
void SetVirtualTime(bool on);
// Back to the real-time clock at virtual time 0. Rig mutex held.
void ResetClockLocked();

}  // namespace qel::sim
