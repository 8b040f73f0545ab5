#include "platform/virtual/com.h"

#include <atomic>

#include "platform/virtual/rig.h"

namespace qel::sim {

namespace {

std::atomic<int> g_depth{0};
thread_local int tl_depth = 0;

}  // namespace

platform::HResult ComInitialize() {
  if (Rig::Instance().Fault("CoInitializeEx", -1)) return platform::kChangedMode;
  ++g_depth;
  return tl_depth++ == 0 ? platform::kOk : platform::kFalse;
}

void ComUninitialize() {
  // An unbalanced call changes nothing.
  if (tl_depth == 0) return;
  --tl_depth;
  --g_depth;
}

int ComDepth() { return g_depth.load(); }

int ComThreadDepth() { return tl_depth; }

bool ComAvailable() { return g_depth.load() > 0; }

}  // namespace qel::sim
