// Bringing a camera's capture graph up and down: the camera's capture filter
// connected to a sample grabber whose callback receives every frame.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/platform.h"

namespace qel {

// BuildStatus codes of a build.
enum BuildStatus : std::int32_t {
  kBuildNotBuilt = -1,
  kBuildRunning = 0,
  kBuildNoFilterGraph = 3,
  kBuildNoDeviceEnumerator = 4,
  kBuildNoVideoInputs = 5,
  kBuildNoDisplayName = 6,
  kBuildAddCaptureFilterFailed = 7,
  kBuildNoPnpDevice = 8,
  kBuildNoSuchDevice = 9,
  kBuildSetFiltergraphFailed = 10,
  kBuildNoStreamConfig = 11,
  kBuildFormatRefused = 12,
  kBuildNoSampleGrabber = 13,
  kBuildGrabberTypeRefused = 14,
  kBuildAddGrabberFailed = 15,
  kBuildConnectFailed = 16,
  kBuildSetBufferSamplesFailed = 17,
  kBuildSetOneShotFailed = 18,
  kBuildSetCallbackFailed = 19,
  kBuildNoMediaEvent = 20,
  kBuildNoMediaControl = 21,
  kBuildRunFailed = 22,
  kBuildNoFirstFrame = 24,
};

inline constexpr int kBuildAttempts = 3;
inline constexpr std::uint32_t kGraphWaitMs = 3000;

// StopCapture results.
enum StopResult : std::int32_t { kStopDone = 0, kStopNotRunning = 1, kStopFailed = 2 };

// The opener's side of a build: starts a capture period when none is under
// way (COM initialised for the calling thread unless the library holds its
// own initialisation, all contexts cleared), refuses a running context, fills
// the request and builds. Returns the build status, or -2 when the context
// was running. The caller holds the lifecycle mutex.
std::int32_t StartCapture(std::int32_t captureIndex, std::int32_t device, std::int32_t width,
                          std::int32_t height, double frameRate, const platform::Guid& subtype);

// Builds the graph of a context whose request is filled: at most three
// attempts, retrying only a failed Run and a missing first frame. The outcome
// is in the context: buildStatus, running, boundDevice, devicePath, the size
// and rate used, propertySupported.
void BuildCaptureGraph(std::int32_t captureIndex);

// Stops and tears down a running graph; the last one out ends the capture
// period. 0 done, 1 not running (or no such index), 2 the graph would not stop.
std::int32_t StopCapture(std::int32_t captureIndex);

// Releases every object of the context, the callback object last.
void ReleaseCaptureObjects(std::int32_t captureIndex);

// The filter's first pin of the given direction, or none.
std::unique_ptr<platform::Pin> GetPinByDirection(platform::BaseFilter& filter,
                                                 platform::PinDirection direction);

}  // namespace qel
