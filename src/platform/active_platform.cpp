#include <atomic>

#include "platform/platform.h"
#include "platform/virtual/virtual_platform.h"
#ifdef _WIN32
#  include "platform/win32/win32_platform.h"
#endif

namespace qel::platform {

namespace {
std::atomic<bool> rigChosen{false};
}  // namespace

void UseVirtualRig(bool on) { rigChosen.store(on); }

// On Windows the hardware backend, unless the application chose the rig;
// elsewhere only the rig is built.
Platform& ActivePlatform() {
#ifdef _WIN32
  if (!rigChosen.load()) return win32::HardwarePlatform();
#endif
  return sim::TheVirtualPlatform();
}

}  // namespace qel::platform
