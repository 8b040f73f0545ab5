// Opening and closing are serialised per key and per table position, never
// process-wide: opens and closes of one key (one device) wait for each other,
// an open owns the table position it builds on until its slot is stored, and
// a close never waits for another camera's open.
//
// Thread safety: any thread. One mutex guards the bookkeeping below and is
// held only for its updates (no platform call, no other lock but the camera
// table's, which it may take inside).
#pragma once

#include <cstdint>

namespace qel {

// Holds the key for the scope: a second holder of the same key waits.
class KeyLock {
 public:
  explicit KeyLock(std::int32_t key);
  ~KeyLock();
  KeyLock(const KeyLock&) = delete;
  KeyLock& operator=(const KeyLock&) = delete;

 private:
  const std::int32_t key_;
};

// Reserves a table position for an open: false when a slot holds it or
// another open has reserved it.
bool ReservePosition(int position);
void ReleasePosition(int position);

// A reservation released at the end of the scope.
class PositionReservation {
 public:
  explicit PositionReservation(int position) : position_(position) {}
  ~PositionReservation() {
    if (position_ >= 0) ReleasePosition(position_);
  }
  PositionReservation(const PositionReservation&) = delete;
  PositionReservation& operator=(const PositionReservation&) = delete;

 private:
  const int position_;
};

}  // namespace qel
