#include "core/com_scope.h"

#include "platform/platform.h"

namespace qel {
namespace {

std::atomic<bool>& PeriodHeld() {
  static std::atomic<bool> held{false};
  return held;
}

}  // namespace

void CapturePeriodCom::Begin() {
  if (!PeriodHeld().load() && platform::ActivePlatform().CoInitializeEx() == platform::kOk) {
    PeriodHeld().store(true);
  }
}

void CapturePeriodCom::End() {
  if (PeriodHeld().exchange(false)) platform::ActivePlatform().CoUninitialize();
}

bool CapturePeriodCom::Held() { return PeriodHeld().load(); }

ComForCall::ComForCall() {
  if (!CapturePeriodCom::Held()) {
    initialised_ = platform::ActivePlatform().CoInitializeEx() == platform::kOk;
  }
}

ComForCall::~ComForCall() {
  if (initialised_) platform::ActivePlatform().CoUninitialize();
}

}  // namespace qel
