#include "platform/platform.h"
#include "platform/virtual/virtual_platform.h"

namespace qel::platform {

// Only the virtual rig is built here; a hardware backend is chosen here where
// one exists.
Platform& ActivePlatform() { return sim::TheVirtualPlatform(); }

}  // namespace qel::platform
