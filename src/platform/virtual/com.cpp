#include "platform/virtual/com.h"

#include <atomic>
#include <mutex>
#include <set>

#include "platform/virtual/rig.h"

namespace qel::sim {

namespace {

std::atomic<int> g_depth{0};
thread_local int tl_depth = 0;

std::mutex g_mtaMutex;
std::set<std::uintptr_t>& MtaCookies() {
  static std::set<std::uintptr_t>* cookies = new std::set<std::uintptr_t>();
  return *cookies;
}
std::uintptr_t g_nextCookie = 1;

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

int ThreadComDepth() { return tl_depth; }

platform::HResult IncrementMta(platform::MtaUsageCookie& cookie) {
  std::lock_guard lock(g_mtaMutex);
  const std::uintptr_t value = g_nextCookie++;
  MtaCookies().insert(value);
  cookie = reinterpret_cast<platform::MtaUsageCookie>(value);
  return platform::kOk;
}

platform::HResult DecrementMta(platform::MtaUsageCookie cookie) {
  std::lock_guard lock(g_mtaMutex);
  return MtaCookies().erase(reinterpret_cast<std::uintptr_t>(cookie)) == 1 ? platform::kOk
                                                                           : platform::kInvalidArg;
}

int MtaUsage() {
  std::lock_guard lock(g_mtaMutex);
  return static_cast<int>(MtaCookies().size());
}

bool ComAvailable() { return g_depth.load() > 0 || MtaUsage() > 0; }

}  // namespace qel::sim
