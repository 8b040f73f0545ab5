// A COM initialisation made for the length of one call: taken only when the
// library holds no initialisation of its own, undone at the end only when
// this call's CoInitializeEx returned S_OK.
#pragma once

#include "capture/capture_context.h"
#include "platform/platform.h"

namespace qel {

class ComForCall {
 public:
  ComForCall() {
    if (Capture().comInitialised.load() == 0) {
      initialised_ = platform::ActivePlatform().CoInitializeEx() == platform::kOk;
    }
  }
  ~ComForCall() {
    if (initialised_) platform::ActivePlatform().CoUninitialize();
  }
  ComForCall(const ComForCall&) = delete;
  ComForCall& operator=(const ComForCall&) = delete;

 private:
  bool initialised_ = false;
};

}  // namespace qel
