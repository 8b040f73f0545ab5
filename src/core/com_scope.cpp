#include "core/com_scope.h"

#include <atomic>

namespace qel {
namespace {

struct PeriodHold {
  std::atomic<bool> held{false};
  platform::MtaUsageCookie cookie = nullptr;
};

PeriodHold& Hold() {
  static PeriodHold* hold = new PeriodHold();  // never destroyed, like the tables
  return *hold;
}

}  // namespace

void CapturePeriodCom::Begin() {
  PeriodHold& hold = Hold();
  if (hold.held.load()) return;
  platform::MtaUsageCookie cookie = nullptr;
  if (platform::ActivePlatform().IncrementMtaUsage(cookie) == platform::kOk) {
    hold.cookie = cookie;
    hold.held.store(true);
  }
}

void CapturePeriodCom::End() {
  PeriodHold& hold = Hold();
  if (hold.held.exchange(false)) platform::ActivePlatform().DecrementMtaUsage(hold.cookie);
}

bool CapturePeriodCom::Held() { return Hold().held.load(); }

ComForCall::ComForCall() : platform_(platform::ActivePlatform()) {
  const platform::HResult result = platform_.CoInitializeEx();
  initialised_ = result == platform::kOk || result == platform::kFalse;
}

ComForCall::~ComForCall() {
  if (initialised_) platform_.CoUninitialize();
}

}  // namespace qel
