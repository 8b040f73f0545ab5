// The capture state of each capture index and of the process; internal to
// the capture subsystem. Other subsystems reach a capture through
// capture/capture.h.
//
// Thread safety (the order of these locks is written in core/core.h):
// - Opening and closing run under the open/close lock; the build and the
//   stop of a context happen there, so its request and outcome fields are
//   written by one thread at a time.
// - `running` and `buildStatus` are atomic so that any thread may test them.
// - objectsMutex guards the capture framework's objects wherever they are
//   used outside opening and closing (property calls), so that a teardown
//   never pulls them away from under a call.
// - framesMutex guards the `frames` pointer, so that frame delivery to the
//   application never waits for a property call. The store itself is
//   shared: whoever holds it may read frames after a teardown.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

#include "capture/capture_graph.h"
#include "capture/frame_store.h"
#include "capture/sample_grabber_cb.h"
#include "core/video_property_index.h"
#include "platform/platform.h"

namespace qel {

inline constexpr int kCaptureContexts = 10;
inline constexpr std::size_t kDevicePathSize = 1024;

struct CaptureContext {
  // The request, filled by the opener; zero asks for the last used values.
  std::int32_t width = 0;
  std::int32_t height = 0;
  double frameRate = 0.0;
  std::int32_t requestedDevice = 0;  // position among plug-and-play devices; -1 the first
  platform::Guid grabberSubtype;
  platform::Guid streamSubtype;  // GUID_NULL keeps the pin's current subtype
  std::uint32_t options = 0;     // kStartFast

  // The outcome of the build.
  std::int32_t boundDevice = 0;
  char devicePath[kDevicePathSize] = {};  // the bound device's display name (ANSI)
  std::atomic<std::int32_t> running{0};
  std::atomic<std::int32_t> buildStatus{0};
  std::array<std::int32_t, kVideoPropertyCount> propertySupported{};

  // The capture framework's objects while the graph exists; each holds one
  // reference, released by ReleaseCaptureObjects.
  std::mutex objectsMutex;
  std::unique_ptr<platform::GraphBuilder> graphBuilder;
  std::unique_ptr<platform::BaseFilter> grabberFilter;
  std::unique_ptr<platform::SampleGrabber> sampleGrabber;
  std::unique_ptr<platform::CaptureGraphBuilder> captureBuilder;
  std::unique_ptr<platform::BaseFilter> captureFilter;
  std::unique_ptr<platform::MediaEvent> mediaEvent;
  std::unique_ptr<platform::MediaType> streamFormat;
  platform::MediaType grabberType;
  // The frame store; its pointer is guarded by framesMutex (and changes only
  // under objectsMutex too).
  std::mutex framesMutex;
  std::shared_ptr<FrameStore> frames;

  bool IsRunning() const { return running.load() != 0; }
  // The request and outcome fields back to zero (objects are none whenever
  // the context is not running).
  void ClearRequest();
};

struct CaptureState {
  std::array<CaptureContext, kCaptureContexts> contexts;
  // The library's share of each index's grabber callback, from the build
  // step that attaches it until ReleaseCaptureObjects lets it go; only the
  // open or close holding that index touches its entry.
  std::array<std::shared_ptr<vrk_SampleGrabberCB>, kCaptureContexts> grabberCallbacks;

  // The capture period, shared by builds of different cameras that may run
  // at the same time: guarded by periodMutex, held only for short updates.
  std::mutex periodMutex;
  // Contexts being built or running. A period begins with the first of them
  // and ends when the last running graph stops.
  std::array<bool, kCaptureContexts> inUse{};
  // -1 outside a capture period; else the plug-and-play device count seen by
  // the period's first build.
  std::int32_t cachedDeviceCount = -1;
  // How long a build waits for the running graph's completion, and then at
  // most for its first frame; tests of a real graph shorten them.
  std::uint32_t completionWaitMs = kGraphWaitMs;
  std::uint32_t firstFrameWaitMs = kGraphWaitMs;
  std::int32_t lastWidth = 640;
  std::int32_t lastHeight = 480;
  double lastFrameRate = 30.0;
};

CaptureState& Capture();

// The context of a capture index 0..9, or null.
CaptureContext* ContextAt(std::int32_t captureIndex);

}  // namespace qel
