#include "capture/capture_graph.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include "capture/capture_context.h"
#include "capture/media_format.h"
#include "core/ansi_text.h"
#include "core/com_scope.h"
#include "core/device_walk.h"

namespace qel {

using platform::HResult;
using platform::kOk;

namespace {

constexpr long kBufferCallback = 1;  // SetCallback's selector of BufferCB

// Ends the context's frame store, outside every lock of the context: ending
// waits for a frame listener's call, which may use the context's objects.
void EndFrames(CaptureContext& context, StreamEnd reason) {
  std::shared_ptr<FrameStore> frames;
  {
    std::lock_guard lock(context.framesMutex);
    frames = context.frames;
  }
  if (frames) frames->End(reason);
}

// Stops a graph that may be running; a graph that does not stop, or cannot
// even be asked to for want of memory, is released all the same.
void StopGraph(CaptureContext& context) noexcept {
  try {
    std::unique_ptr<platform::MediaControl> mediaControl;
    if (context.graphBuilder && context.graphBuilder->QueryMediaControl(mediaControl) == kOk &&
        mediaControl) {
      mediaControl->Stop();
    }
  } catch (...) {
  }
}

// AvgTimePerFrame: the frame interval in 100 ns units, rounded; none when the
// rate gives no positive, representable interval (NaN, infinite, negative or
// tiny rates).
bool FrameInterval(double frameRate, std::int64_t& interval) {
  const double units = std::floor(10'000'000.0 / frameRate + 0.5);
  if (!std::isfinite(units) || units < 1.0 ||
      units >= static_cast<double>(std::numeric_limits<std::int64_t>::max())) {
    return false;
  }
  interval = static_cast<std::int64_t>(units);
  return true;
}

void ProbeProperties(CaptureContext& context) {
  context.propertySupported.fill(0);
  struct Family {
    HResult (platform::BaseFilter::*query)(std::unique_ptr<platform::VideoPropertySet>&);
    int first;
    int count;
  };
  constexpr Family kFamilies[] = {
      {&platform::BaseFilter::QueryVideoProcAmp, 0, kVideoProcAmpCount},
      {&platform::BaseFilter::QueryCameraControl, kFirstCameraControl, kCameraControlCount}};
  for (const Family& family : kFamilies) {
    std::unique_ptr<platform::VideoPropertySet> properties;
    if (((*context.captureFilter).*family.query)(properties) != kOk || !properties) continue;
    for (int property = 0; property < family.count; ++property) {
      long min = 0, max = 0, step = 0, defaultValue = 0, flags = 0;
      context.propertySupported[static_cast<std::size_t>(family.first + property)] =
          properties->GetRange(property, min, max, step, defaultValue, flags) == kOk ? 1 : 0;
    }
  }
}

// The steps of one build attempt. Each returns kBuildRunning to go on or the
// status the attempt stops with; the objects they store in the context are
// released by the caller when an attempt fails, and objects that live only
// during a step are its locals.

// Finds the requested plug-and-play device, binds it to its filter and adds
// that to the graph; counts the devices for the capture period.
std::int32_t BindDevice(CaptureContext& context, std::int32_t captureIndex) {
  CaptureState& state = Capture();
  PnpDeviceWalk walk;
  switch (walk.Begin()) {
    case PnpDeviceWalk::Start::kReady:
      break;
    case PnpDeviceWalk::Start::kNoDeviceEnumerator:
      return kBuildNoDeviceEnumerator;
    case PnpDeviceWalk::Start::kNoVideoInputs:
      return kBuildNoVideoInputs;
  }
  bool bound = false;
  PnpDeviceWalk::Device device;
  for (;;) {
    const PnpDeviceWalk::Step step = walk.Next(device);
    if (step == PnpDeviceWalk::Step::kNoDisplayName) return kBuildNoDisplayName;
    if (step == PnpDeviceWalk::Step::kEnd) break;
    if (bound || (context.requestedDevice != -1 && context.requestedDevice != device.position)) {
      continue;
    }
    if (device.moniker->BindToObject(context.captureFilter) != kOk || !context.captureFilter ||
        context.graphBuilder->AddFilter(*context.captureFilter, CaptureFilterName(captureIndex)) !=
            kOk) {
      return kBuildAddCaptureFilterFailed;
    }
    context.boundDevice = device.position;
    CopyAnsiText(device.displayName, context.devicePath, sizeof context.devicePath);
    bound = true;
  }

  // A period whose first build found no device counts again, so that a
  // camera plugged in later can be opened.
  std::lock_guard lock(state.periodMutex);
  if (state.cachedDeviceCount <= 0) state.cachedDeviceCount = walk.DevicesSeen();
  if (state.cachedDeviceCount == 0) return kBuildNoPnpDevice;
  return bound ? kBuildRunning : kBuildNoSuchDevice;
}

// The pin's own media type for subtype at width x |height|, when one of its
// capabilities offers exactly that format.
std::unique_ptr<platform::MediaType> OfferedType(platform::StreamConfig& config,
                                                 const platform::Guid& subtype, std::int32_t width,
                                                 std::int32_t height) {
  int count = 0;
  int capsSize = 0;
  if (config.GetNumberOfCapabilities(count, capsSize) != kOk ||
      capsSize != platform::kVideoStreamConfigCapsSize) {
    return nullptr;
  }
  std::vector<std::uint8_t> caps(platform::kVideoStreamConfigCapsSize);
  for (int index = 0; index < count; ++index) {
    std::unique_ptr<platform::MediaType> type;
    platform::VideoInfoHeader video;
    if (config.GetStreamCaps(index, type, caps.data()) == kOk && type && type->subtype == subtype &&
        type->GetVideoInfo(video) && video.bmiHeader.biWidth == width &&
        std::abs(static_cast<std::int64_t>(video.bmiHeader.biHeight)) ==
            std::abs(static_cast<std::int64_t>(height))) {
      return type;
    }
  }
  return nullptr;
}

// Makes the fields that follow from the subtype and the size agree with the
// edited ones, so that the driver is not handed a type that contradicts
// itself: as the pin describes that format where it offers it; otherwise an
// uncompressed type's image size is worked out anew (rows of whole 32-bit
// words, as bitmaps lay them out).
void FitImageFields(platform::MediaType& type, platform::VideoInfoHeader& video,
                    platform::StreamConfig& config) {
  platform::BitmapInfoHeader& bitmap = video.bmiHeader;
  platform::VideoInfoHeader offeredVideo;
  const std::unique_ptr<platform::MediaType> offered =
      OfferedType(config, type.subtype, bitmap.biWidth, bitmap.biHeight);
  if (offered && offered->GetVideoInfo(offeredVideo)) {
    bitmap.biBitCount = offeredVideo.bmiHeader.biBitCount;
    bitmap.biCompression = offeredVideo.bmiHeader.biCompression;
    bitmap.biSizeImage = offeredVideo.bmiHeader.biSizeImage;
    type.fixedSizeSamples = offered->fixedSizeSamples;
    type.temporalCompression = offered->temporalCompression;
    type.sampleSize = offered->sampleSize;
  } else if (type.fixedSizeSamples) {
    const std::uint64_t stride =
        (static_cast<std::uint64_t>(std::abs(static_cast<std::int64_t>(bitmap.biWidth))) *
             bitmap.biBitCount +
         31) /
        32 * 4;
    const std::uint64_t size =
        stride * static_cast<std::uint64_t>(std::abs(static_cast<std::int64_t>(bitmap.biHeight)));
    bitmap.biSizeImage = static_cast<std::uint32_t>(std::min<std::uint64_t>(size, UINT32_MAX));
    type.sampleSize = bitmap.biSizeImage;
  }
}

// Attaches a capture graph builder and edits the capture pin's current
// format: size, interval and subtype change, and the fields that follow from
// them (bit count, compression, image and sample size) are made to agree;
// every other field keeps what the pin reported. Zero in the request means
// the last used value.
std::int32_t SetStreamFormat(CaptureContext& context) {
  CaptureState& state = Capture();
  platform::Platform& platform = platform::ActivePlatform();
  if (platform.CreateCaptureGraphBuilder(context.captureBuilder) != kOk ||
      !context.captureBuilder ||
      context.captureBuilder->SetFiltergraph(*context.graphBuilder) != kOk) {
    return kBuildSetFiltergraphFailed;
  }
  std::unique_ptr<platform::StreamConfig> streamConfig;
  if (context.captureBuilder->FindCaptureStreamConfig(*context.captureFilter, streamConfig) !=
          kOk ||
      !streamConfig) {
    return kBuildNoStreamConfig;
  }
  platform::VideoInfoHeader video;
  if (streamConfig->GetFormat(context.streamFormat) != kOk || !context.streamFormat ||
      !context.streamFormat->GetVideoInfo(video)) {
    return kBuildFormatRefused;
  }

  std::int64_t interval = 0;
  {
    std::lock_guard lock(state.periodMutex);
    if (context.width == 0) context.width = state.lastWidth;
    if (context.height == 0) context.height = state.lastHeight;
    if (context.frameRate == 0.0) context.frameRate = state.lastFrameRate;
    // A rate without a frame interval is refused before it could become the
    // last used one, which later opens asking for 0 would inherit.
    if (!FrameInterval(context.frameRate, interval)) return kBuildFormatRefused;
    state.lastWidth = context.width;
    state.lastHeight = context.height;
    state.lastFrameRate = context.frameRate;
  }

  video.bmiHeader.biWidth = context.width;
  video.bmiHeader.biHeight = context.height;
  video.AvgTimePerFrame = interval;
  if (!(context.streamSubtype == platform::kGuidNull)) {
    context.streamFormat->subtype = context.streamSubtype;
  }
  context.streamSubtype = context.streamFormat->subtype;
  FitImageFields(*context.streamFormat, video, *streamConfig);
  context.streamFormat->SetVideoInfo(video);
  return streamConfig->SetFormat(*context.streamFormat) == kOk ? kBuildRunning
                                                               : kBuildFormatRefused;
}

// Adds a sample grabber for the requested subtype, connects the capture pin
// to it and installs the callback object that stores every frame.
std::int32_t AttachGrabber(CaptureContext& context, std::int32_t captureIndex) {
  platform::Platform& platform = platform::ActivePlatform();
  if (platform.CreateSampleGrabber(context.grabberFilter) != kOk || !context.grabberFilter ||
      context.grabberFilter->QuerySampleGrabber(context.sampleGrabber) != kOk ||
      !context.sampleGrabber) {
    return kBuildNoSampleGrabber;
  }
  context.grabberType = platform::MediaType{};
  context.grabberType.majortype = platform::kMediaTypeVideo;
  context.grabberType.subtype = context.grabberSubtype;
  context.grabberType.fixedSizeSamples = false;
  context.grabberType.formattype = platform::kFormatVideoInfo;
  if (context.sampleGrabber->SetMediaType(context.grabberType) != kOk) {
    return kBuildGrabberTypeRefused;
  }
  if (context.graphBuilder->AddFilter(*context.grabberFilter,
                                      NumberedFilterName("Grabber", captureIndex)) != kOk) {
    return kBuildAddGrabberFailed;
  }
  {
    auto capturePin = GetPinByDirection(*context.captureFilter, platform::PinDirection::kOutput);
    auto grabberPin = GetPinByDirection(*context.grabberFilter, platform::PinDirection::kInput);
    if (!capturePin || !grabberPin ||
        context.graphBuilder->Connect(*capturePin, *grabberPin) != kOk) {
      return kBuildConnectFailed;
    }
  }
  if (context.sampleGrabber->SetBufferSamples(false) != kOk) return kBuildSetBufferSamplesFailed;
  if (context.sampleGrabber->SetOneShot(false) != kOk) return kBuildSetOneShotFailed;

  auto frames = std::make_shared<FrameStore>();
  StreamShape shape;
  shape.width = context.width;
  shape.height = context.height;
  char name[80];
  SubtypeToName(context.streamSubtype, name);
  CopyFormatName(shape.format, sizeof shape.format, name);
  frames->SetShape(shape);
  if ((context.options & kStartFast) != 0) frames->CountFirstFrame();
  {
    std::lock_guard lock(context.framesMutex);
    context.frames = frames;
  }
  auto& callback = Capture().grabberCallbacks[static_cast<std::size_t>(captureIndex)];
  callback = std::make_shared<vrk_SampleGrabberCB>(captureIndex, frames);
  return context.sampleGrabber->SetCallback(callback, kBufferCallback) == kOk
             ? kBuildRunning
             : kBuildSetCallbackFailed;
}

// Runs the graph and waits for its first frame.
std::int32_t RunAndWaitForFirstFrame(CaptureContext& context) {
  platform::Platform& platform = platform::ActivePlatform();
  if (context.graphBuilder->QueryMediaEvent(context.mediaEvent) != kOk || !context.mediaEvent) {
    return kBuildNoMediaEvent;
  }
  {
    std::unique_ptr<platform::MediaControl> mediaControl;
    if (context.graphBuilder->QueryMediaControl(mediaControl) != kOk || !mediaControl) {
      return kBuildNoMediaControl;
    }
    // S_FALSE: the graph reaches the running state asynchronously; the wait
    // for the first frame below decides.
    const HResult run = mediaControl->Run();
    if (run != kOk && run != platform::kFalse) return kBuildRunFailed;
  }

  const bool fast = (context.options & kStartFast) != 0;
  if (!fast) {
    // On a live graph this returns at its time-out, while frames already flow.
    long eventCode = 0;
    context.mediaEvent->WaitForCompletion(Capture().completionWaitMs, eventCode);
  }

  // The first frame, bounded by the tick count (unsigned difference, so the
  // counter's wrap does no harm): polled without sleeping, or for a fast
  // start slept on until the store signals its arrival.
  const std::uint32_t start = platform.GetTickCount();
  while (context.frames->FrameLength() == 0) {
    const std::uint32_t waited = platform.GetTickCount() - start;
    if (waited > Capture().firstFrameWaitMs) return kBuildNoFirstFrame;
    if (!fast) {
      std::this_thread::yield();
    } else if (platform.ClockIsReal()) {
      const std::uint32_t left = Capture().firstFrameWaitMs - waited + 1;
      context.frames->WaitForDelivery(0, std::chrono::milliseconds(left));
    } else {
      platform.Sleep(1);
    }
  }
  return kBuildRunning;
}

// The context is no longer in use; the last one out ends the capture period.
void ReleaseFromPeriod(std::int32_t captureIndex) {
  CaptureState& state = Capture();
  std::lock_guard lock(state.periodMutex);
  state.inUse[static_cast<std::size_t>(captureIndex)] = false;
  if (std::find(state.inUse.begin(), state.inUse.end(), true) != state.inUse.end()) return;
  CapturePeriodCom::End();
  state.cachedDeviceCount = -1;
}

// One attempt: the steps in order until the first that fails.
std::int32_t BuildAttempt(std::int32_t captureIndex) {
  CaptureContext& context = *ContextAt(captureIndex);
  if (platform::ActivePlatform().CreateFilterGraph(context.graphBuilder) != kOk ||
      !context.graphBuilder) {
    return kBuildNoFilterGraph;
  }
  std::int32_t status = BindDevice(context, captureIndex);
  if (status == kBuildRunning) status = SetStreamFormat(context);
  if (status == kBuildRunning) status = AttachGrabber(context, captureIndex);
  if (status != kBuildRunning) return status;
  ProbeProperties(context);
  return RunAndWaitForFirstFrame(context);
}

}  // namespace

std::int32_t StartCapture(std::int32_t captureIndex, std::int32_t device, std::int32_t width,
                          std::int32_t height, double frameRate, const platform::Guid& subtype,
                          std::uint32_t options) {
  CaptureState& state = Capture();
  CaptureContext* context = ContextAt(captureIndex);
  if (context == nullptr) return kBuildNotBuilt;
  ComForCall com;  // this call's own, undone on this thread as it returns
  {
    std::lock_guard lock(state.periodMutex);
    const bool anyInUse =
        std::find(state.inUse.begin(), state.inUse.end(), true) != state.inUse.end();
    if (state.cachedDeviceCount == -1 && !anyInUse) {
      for (CaptureContext& each : state.contexts) each.ClearRequest();
    }
    if (context->IsRunning() || state.inUse[static_cast<std::size_t>(captureIndex)]) {
      return kCaptureAlreadyRunning;
    }
    CapturePeriodCom::Begin();  // may throw: nothing is marked in use before it returns
    state.inUse[static_cast<std::size_t>(captureIndex)] = true;
  }
  context->width = width;
  context->height = height;
  context->frameRate = frameRate;
  context->requestedDevice = device;
  context->devicePath[0] = '\0';
  context->grabberSubtype = subtype;
  context->streamSubtype = subtype;
  context->options = options;
  context->buildStatus.store(kBuildNotBuilt);
  try {
    BuildCaptureGraph(captureIndex);
  } catch (...) {  // out of memory: whatever the attempt made goes, stopped first
    StopGraph(*context);
    ReleaseCaptureObjects(captureIndex);
    context->buildStatus.store(kBuildNotBuilt);
  }
  const std::int32_t status = context->buildStatus.load();
  // A failed build that leaves nothing in use ends the period: no hold on
  // the apartment stays behind.
  if (status != kBuildRunning) ReleaseFromPeriod(captureIndex);
  return status;
}

void BuildCaptureGraph(std::int32_t captureIndex) {
  CaptureContext* context = ContextAt(captureIndex);
  if (context == nullptr) return;
  context->boundDevice = -1;
  std::int32_t status = kBuildNotBuilt;
  for (int attempt = 1; attempt <= kBuildAttempts; ++attempt) {
    status = BuildAttempt(captureIndex);
    if (status == kBuildRunning) {
      context->running.store(1);
      context->buildStatus.store(kBuildRunning);
      return;
    }
    const bool ran = status == kBuildRunFailed || status == kBuildNoFirstFrame;
    if (ran) StopGraph(*context);
    ReleaseCaptureObjects(captureIndex);
    if (!ran) break;
  }
  context->buildStatus.store(status);
}

namespace {

// Once the graph has stopped, nothing below throws: the context is then
// marked stopped, released and out of the period, all or nothing.
std::int32_t StopRunningCapture(std::int32_t captureIndex) {
  CaptureContext* context = ContextAt(captureIndex);
  if (context == nullptr || context->running.load() == 0) return kStopNotRunning;
  ComForCall com;
  // Waiters wake and the frame listener goes, waiting for a call of it in
  // progress: after this the streaming thread no longer enters the
  // application, and so never takes a lock of the library but the store's.
  EndFrames(*context, StreamEnd::kClosed);
  {
    std::unique_ptr<platform::MediaControl> mediaControl;
    if (!context->graphBuilder || context->graphBuilder->QueryMediaControl(mediaControl) != kOk ||
        !mediaControl) {
      return kStopFailed;
    }
    mediaControl->Stop();
  }
  long eventCode = 0;
  if (context->mediaEvent &&
      context->mediaEvent->WaitForCompletion(kGraphWaitMs, eventCode) == platform::kAbort) {
    return kStopFailed;
  }
  {
    std::lock_guard lock(context->objectsMutex);
    std::lock_guard framesLock(context->framesMutex);
    context->running.store(0);
  }
  ReleaseCaptureObjects(captureIndex);
  ReleaseFromPeriod(captureIndex);
  return kStopDone;
}

}  // namespace

std::int32_t StopCapture(std::int32_t captureIndex) {
  try {
    return StopRunningCapture(captureIndex);
  } catch (...) {  // out of memory before the graph stopped: it runs on, as after a failed stop
    return kStopFailed;
  }
}

void ReleaseCaptureObjects(std::int32_t captureIndex) {
  CaptureContext* context = ContextAt(captureIndex);
  if (context == nullptr) return;
  // The grabber lets go of the callback before anything is released: it may
  // count no reference on it, and may call it for as long as it holds it.
  // The graph has stopped by now.
  EndFrames(*context, StreamEnd::kClosed);
  try {
    if (context->sampleGrabber) context->sampleGrabber->SetCallback(nullptr, kBufferCallback);
  } catch (...) {  // out of memory: the release goes on, so nothing stays half torn down
  }
  std::shared_ptr<vrk_SampleGrabberCB> callback;
  {
    std::lock_guard lock(context->objectsMutex);
    context->mediaEvent.reset();
    context->sampleGrabber.reset();
    context->grabberFilter.reset();
    context->captureBuilder.reset();
    context->captureFilter.reset();
    {
      std::lock_guard framesLock(context->framesMutex);
      context->frames.reset();  // readers still holding the store keep it alive
    }
    context->streamFormat.reset();
    // Releasing the graph joins what is left of its streaming threads, here
    // under objectsMutex: safe because the streaming thread's callback never
    // takes objectsMutex (core/core.h). The library's share of the callback
    // object ends below; a platform object still holding it keeps it alive.
    context->graphBuilder.reset();
    callback = std::move(Capture().grabberCallbacks[static_cast<std::size_t>(captureIndex)]);
  }
}

std::unique_ptr<platform::Pin> GetPinByDirection(platform::BaseFilter& filter,
                                                 platform::PinDirection direction) {
  std::unique_ptr<platform::EnumPins> pins;
  if (filter.EnumPins(pins) != kOk || !pins) return nullptr;
  for (;;) {
    std::unique_ptr<platform::Pin> pin;
    if (pins->Next(pin) != kOk || !pin) return nullptr;
    platform::PinDirection pinDirection{};
    if (pin->QueryDirection(pinDirection) == kOk && pinDirection == direction) return pin;
  }
}

}  // namespace qel
