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
    // S_FALSE (already initialised on this thread) counts too: every
    // successful initialisation needs its own undo on the same thread.
    const platform::HResult result = platform::ActivePlatform().CoInitializeEx();
    initialised_ = result == platform::kOk || result == platform::kFalse;
  }
}

ComForCall::~ComForCall() {
  if (initialised_) platform::ActivePlatform().CoUninitialize();
}

}  // namespace qel
