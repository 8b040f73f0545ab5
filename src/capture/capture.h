// What the rest of the library may ask of the capture subsystem: building
// and stopping a camera's capture graph, and reading the running capture's
// state. The capture contexts themselves stay inside capture/.
//
// Thread safety: any thread. Captures of different indices may be built and
// stopped at the same time; the caller makes sure that only one thread at a
// time starts or stops a given index (api/ does so per table position).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "capture/build_status.h"
#include "platform/platform.h"
#include "qel/qel.h"

namespace qel {

class FrameStore;

// Starts a capture period when none is under way (all contexts cleared),
// refuses a running context, fills the request and builds, with COM
// initialised on the calling thread for the call's length and the
// multithreaded apartment held while any graph exists (core/com_scope.h).
// Returns the build status, or kCaptureAlreadyRunning.
// With kStartFast the build skips the fixed wait for the graph's completion
// and sleeps until the first frame instead of polling for it.
inline constexpr std::uint32_t kStartFast = 0x1;
std::int32_t StartCapture(std::int32_t captureIndex, std::int32_t device, std::int32_t width,
                          std::int32_t height, double frameRate, const platform::Guid& subtype,
                          std::uint32_t options = 0);

// Stops and tears down a running graph; the last one out ends the capture
// period and releases the apartment's hold. Never throws: a graph that could
// not be stopped, for whatever reason, stays running and gives kStopFailed.
std::int32_t StopCapture(std::int32_t captureIndex);

// The frame rate a running capture was built with; none when not running.
std::optional<double> RunningFrameRate(std::int32_t captureIndex);
// The position of the device a running capture is bound to.
std::optional<std::int32_t> RunningDevice(std::int32_t captureIndex);
// The display name of the device a running capture is bound to.
std::optional<std::string> RunningDevicePath(std::int32_t captureIndex);
// The frame store of a running capture; null otherwise. Holding it keeps
// the frames alive through a teardown on another thread.
std::shared_ptr<FrameStore> RunningFrames(std::int32_t captureIndex);

// What a running capture streams.
struct RunningFormat {
  std::int32_t width = 0;
  std::int32_t height = 0;
  double frameRate = 0.0;
  char format[QEL_FORMAT_NAME_SIZE] = {};
};
std::optional<RunningFormat> RunningStreamFormat(std::int32_t captureIndex);

// Takes the running graph's queued events; true when one said its device
// was lost, which also ends the capture's frame store (StreamEnd::kDeviceLost).
bool PollDeviceLost(std::int32_t captureIndex);

// True on the thread of a running call of the capture's frame listener.
bool InFrameListener(std::int32_t captureIndex);

// Calls use with the running capture's device filter and the flags of the
// video properties it reported a range for, under the context's objects
// lock, so that a close waits for the call; returns notRunning without
// calling it when the capture does not run.
using FilterUse = std::function<std::int32_t(platform::BaseFilter& filter,
                                             const std::int32_t* propertySupported)>;
std::int32_t UseRunningFilter(std::int32_t captureIndex, const FilterUse& use,
                              std::int32_t notRunning);

}  // namespace qel
