#include "platform/virtual/rig.h"

namespace qel::sim {

Rig& Rig::Instance() {
  // Never destroyed: streaming threads may outlive static destruction.
  static Rig* rig = new Rig;
  return *rig;
}

DevicePtr Rig::FindLocked(int id) const {
  for (const DevicePtr& d : devices) {
    if (d->id == id && !d->removed) return d;
  }
  return nullptr;
}

}  // namespace qel::sim
