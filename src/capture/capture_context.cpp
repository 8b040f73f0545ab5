#include "capture/capture_context.h"

#include <cstring>
#include <mutex>
#include <optional>
#include <string>

#include "capture/capture.h"

namespace qel {

void CaptureContext::ClearRequest() {
  width = 0;
  height = 0;
  frameRate = 0.0;
  requestedDevice = 0;
  grabberSubtype = {};
  streamSubtype = {};
  options = 0;
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

std::optional<double> RunningFrameRate(std::int32_t captureIndex) {
  CaptureContext* context = ContextAt(captureIndex);
  if (context == nullptr) return std::nullopt;
  std::lock_guard lock(context->objectsMutex);
  if (!context->IsRunning()) return std::nullopt;
  return context->frameRate;
}

std::optional<std::int32_t> RunningDevice(std::int32_t captureIndex) {
  CaptureContext* context = ContextAt(captureIndex);
  if (context == nullptr || !context->IsRunning()) return std::nullopt;
  return context->boundDevice;
}

std::optional<std::string> RunningDevicePath(std::int32_t captureIndex) {
  CaptureContext* context = ContextAt(captureIndex);
  if (context == nullptr || !context->IsRunning()) return std::nullopt;
  return std::string(context->devicePath, strnlen(context->devicePath, kDevicePathSize));
}

std::shared_ptr<FrameStore> RunningFrames(std::int32_t captureIndex) {
  CaptureContext* context = ContextAt(captureIndex);
  if (context == nullptr) return nullptr;
  std::lock_guard lock(context->framesMutex);
  if (!context->IsRunning()) return nullptr;
  return context->frames;
}

std::optional<RunningFormat> RunningStreamFormat(std::int32_t captureIndex) {
  CaptureContext* context = ContextAt(captureIndex);
  if (context == nullptr) return std::nullopt;
  std::lock_guard lock(context->framesMutex);
  if (!context->IsRunning() || !context->frames) return std::nullopt;
  RunningFormat format;
  format.width = context->width;
  format.height = context->height;
  format.frameRate = context->frameRate;
  std::memcpy(format.format, context->frames->Shape().format, sizeof format.format);
  return format;
}

bool InFrameListener(std::int32_t captureIndex) {
  CaptureContext* context = ContextAt(captureIndex);
  if (context == nullptr) return false;
  std::shared_ptr<FrameStore> frames;
  {
    std::lock_guard lock(context->framesMutex);
    frames = context->frames;
  }
  return frames && frames->CallingFromListener();
}

bool PollDeviceLost(std::int32_t captureIndex) {
  constexpr int kMostEventsTaken = 64;  // a queue that never empties is not waited on
  CaptureContext* context = ContextAt(captureIndex);
  if (context == nullptr) return false;
  bool lost = false;
  std::shared_ptr<FrameStore> frames;
  {
    std::lock_guard lock(context->objectsMutex);
    if (!context->IsRunning() || !context->mediaEvent) return false;
    long code = 0;
    for (int taken = 0; taken < kMostEventsTaken; ++taken) {
      if (context->mediaEvent->GetEvent(code, 0) != platform::kOk) break;
      lost = lost || code == platform::kEventDeviceLost;
    }
    if (lost) {
      std::lock_guard framesLock(context->framesMutex);
      frames = context->frames;
    }
  }
  // Ended outside the objects lock: ending waits for a frame listener's call.
  if (frames) frames->End(StreamEnd::kDeviceLost);
  return lost;
}

std::int32_t UseRunningFilter(std::int32_t captureIndex, const FilterUse& use,
                              std::int32_t notRunning) {
  CaptureContext* context = ContextAt(captureIndex);
  if (context == nullptr) return notRunning;
  std::lock_guard lock(context->objectsMutex);
  if (!context->IsRunning() || !context->captureFilter) return notRunning;
  return use(*context->captureFilter, context->propertySupported.data());
}

}  // namespace qel
