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

// The step a failed build stopped at, for reasons and logs.
inline const char* BuildStepName(std::int32_t status) {
  switch (status) {
    case kCaptureAlreadyRunning:
      return "the capture was already running";
    case kBuildNoFilterGraph:
      return "creating the filter graph";
    case kBuildNoDeviceEnumerator:
      return "creating the device enumerator";
    case kBuildNoVideoInputs:
      return "enumerating the video inputs";
    case kBuildNoDisplayName:
      return "reading a device's display name";
    case kBuildAddCaptureFilterFailed:
      return "AddFilter of the capture filter";
    case kBuildNoPnpDevice:
      return "no plug-and-play video device";
    case kBuildNoSuchDevice:
      return "no device at this position";
    case kBuildSetFiltergraphFailed:
      return "SetFiltergraph";
    case kBuildNoStreamConfig:
      return "finding the stream configuration";
    case kBuildFormatRefused:
      return "the device refused the size, rate or format";
    case kBuildNoSampleGrabber:
      return "creating the sample grabber";
    case kBuildGrabberTypeRefused:
      return "SetMediaType of the sample grabber";
    case kBuildAddGrabberFailed:
      return "AddFilter of the sample grabber";
    case kBuildConnectFailed:
      return "connecting the capture pin to the grabber";
    case kBuildSetBufferSamplesFailed:
      return "SetBufferSamples";
    case kBuildSetOneShotFailed:
      return "SetOneShot";
    case kBuildSetCallbackFailed:
      return "SetCallback";
    case kBuildNoMediaEvent:
      return "querying the media event";
    case kBuildNoMediaControl:
      return "querying the media control";
    case kBuildRunFailed:
      return "Run";
    case kBuildNoFirstFrame:
      return "no first frame within the wait";
    default:
      return "not built";
  }
}

// StopCapture results.
enum StopResult : std::int32_t { kStopDone = 0, kStopNotRunning = 1, kStopFailed = 2 };

}  // namespace qel
