// Helpers of the rig's C control interface.
#pragma once

#include <mutex>

#include "platform/virtual/rig.h"

namespace qel::sim {

// Runs f(device) under the rig mutex for a present device accepted by
// filter; -1 when there is none.
template <typename Filter, typename F>
int WithDevice(int id, Filter filter, F f) {
  Rig& rig = Rig::Instance();
  std::lock_guard lock(rig.mutex);
  DevicePtr d = rig.FindLocked(id);
  if (!d || !filter(*d)) return -1;
  return f(*d);
}

inline bool AnyDevice(const Device&) { return true; }
inline bool VideoDevice(const Device& d) { return d.IsVideo(); }
inline bool HidDevice(const Device& d) { return !d.hid.empty() || d.kind == DeviceKind::kCamera; }
inline bool CameraDevice(const Device& d) { return d.firmware != nullptr; }

}  // namespace qel::sim
