#include <atomic>
#include <cstdlib>
#include <cstring>

#include "platform/platform.h"
#include "platform/virtual/virtual_platform.h"
#ifdef QEL_HAS_HARDWARE_BACKEND
#  ifdef _WIN32
#    include "platform/win32/win32_platform.h"
#  else
#    include "platform/linux/linux_platform.h"
#  endif
#endif

namespace qel::platform {

namespace {

#ifdef QEL_HAS_HARDWARE_BACKEND
Platform& HardwarePlatform() {
#  ifdef _WIN32
  return win32::HardwarePlatform();
#  else
  return linux_hw::HardwarePlatform();
#  endif
}
#endif

// Read from the environment at the first use, so that a qelsim_enable()
// made before any other call still overrides it.
std::atomic<bool>& RigChosen() {
  static std::atomic<bool> chosen{EnvironmentChoosesRig()};
  return chosen;
}

}  // namespace

// QEL_PLATFORM=rig in the environment chooses the rig before the application
// says anything; "hardware", unset or any other value leaves the default.
bool EnvironmentChoosesRig() {
  const char* chosen = std::getenv("QEL_PLATFORM");
  return chosen != nullptr && std::strcmp(chosen, "rig") == 0;
}

void UseVirtualRig(bool on) { RigChosen().store(on); }

bool VirtualRigActive() { return &ActivePlatform() == &sim::TheVirtualPlatform(); }

// The hardware backend, unless the application or the environment chose the
// rig; where no hardware backend is built, the rig whatever was chosen.
Platform& ActivePlatform() {
#ifdef QEL_HAS_HARDWARE_BACKEND
  if (!RigChosen().load()) return HardwarePlatform();
#endif
  return sim::TheVirtualPlatform();
}

}  // namespace qel::platform
