#include "platform/virtual/rig.h"

#include <algorithm>
#include <mutex>

#include "platform/virtual/population.h"

namespace qel::sim {
namespace {

// Set on the thread that fills the rig for the first time, whose own calls
// of Instance() during the filling must not wait for themselves.
thread_local bool fillingHere = false;

}  // namespace

Rig& Rig::Instance() {
  // Never destroyed: streaming threads may outlive static destruction.
  static Rig* rig = new Rig;
  // A process starts with the default population, as an application using
  // the rig without hardware expects; every other thread waits for it.
  static std::once_flag filled;
  if (!fillingHere) {
    std::call_once(filled, [] {
      fillingHere = true;
      {
        std::lock_guard lock(rig->mutex);
        AddDefaultPopulationLocked();
      }
      fillingHere = false;
    });
  }
  return *rig;
}

void Rig::PassGateLocked(std::unique_lock<std::mutex>& lock, std::string_view operation,
                         int device) {
  const auto closed = [&] {
    return std::find_if(gates.begin(), gates.end(), [&](const Gate& gate) {
      return gate.operation == operation && (gate.device == -1 || gate.device == device);
    });
  };
  auto gate = closed();
  if (gate == gates.end()) return;
  ++gate->waiting;
  changed.notify_all();
  changed.wait(lock, [&] { return closed() == gates.end(); });
}

void Rig::RemoveLocked(const DevicePtr& device) {
  device->removed = true;
  std::erase(devices, device);
  changed.notify_all();
}

DevicePtr Rig::FindLocked(int id) const {
  for (const DevicePtr& d : devices) {
    if (d->id == id && !d->removed) return d;
  }
  return nullptr;
}

}  // namespace qel::sim
