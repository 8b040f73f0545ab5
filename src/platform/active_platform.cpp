#include <atomic>

#include "platform/platform.h"
#include "platform/virtual/virtual_platform.h"
#ifdef _WIN32
#  include "platform/win32/win32_platform.h"
#endif
#ifdef __linux__
#  include "platform/linux/linux_platform.h"
#endif

namespace qel::platform {

namespace {
std::atomic<bool> rigChosen{false};
#ifdef __linux__
std::atomic<bool> linuxForTests{false};  // see RouteActivePlatformForTests
#endif
}  // namespace

void UseVirtualRig(bool on) { rigChosen.store(on); }

#ifdef __linux__
void linux_hw::RouteActivePlatformForTests(bool on) { linuxForTests.store(on); }
#endif

// On Windows the hardware backend, unless the application chose the rig;
// elsewhere only the rig is built.
Platform& ActivePlatform() {
#ifdef _WIN32
  if (!rigChosen.load()) return win32::HardwarePlatform();
#endif
#ifdef __linux__
  if (linuxForTests.load()) return linux_hw::HardwarePlatform();
#endif
  return sim::TheVirtualPlatform();
}

}  // namespace qel::platform
