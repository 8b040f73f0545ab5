#include "capture/capture_context.h"

#include <cstring>

namespace qel {

void CaptureContext::ClearRequest() {
  width = 0;
  height = 0;
  frameRate = 0.0;
  requestedDevice = 0;
  grabberSubtype = {};
  streamSubtype = {};
  boundDevice = 0;
  std::memset(devicePath, 0, sizeof devicePath);
  running.store(0);
  buildStatus.store(0);
  propertySupported.fill(0);
}

// Never destroyed, like the camera table: graphs still running at exit stay
// as they are.
CaptureState& Capture() {
  static CaptureState* state = new CaptureState();
  return *state;
}

CaptureContext* ContextAt(std::int32_t captureIndex) {
  if (captureIndex < 0 || captureIndex >= kCaptureContexts) return nullptr;
  return &Capture().contexts[static_cast<std::size_t>(captureIndex)];
}

}  // namespace qel
