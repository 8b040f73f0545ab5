// The outcome codes of building and stopping a capture graph.
#pragma once

#include <cstdint>

namespace qel {

// BuildStatus: where a build stopped; kBuildRunning when it succeeded.
enum BuildStatus : std::int32_t {
  kCaptureAlreadyRunning = -2,  // StartCapture only: the context was running, nothing built
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

// StopCapture results.
enum StopResult : std::int32_t { kStopDone = 0, kStopNotRunning = 1, kStopFailed = 2 };

}  // namespace qel
