#include "capture/capture_graph.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <thread>

#include "capture/capture_context.h"

namespace qel {

using platform::HResult;
using platform::kOk;

namespace {

constexpr std::u16string_view kPnpMarker = u"@device:pnp";

std::u16string NumberedName(const char* prefix, int number) {
  char text[33];
  std::snprintf(text, sizeof text, "%s %d", prefix, number);
  return std::u16string(text, text + std::strlen(text));
}

// AvgTimePerFrame: the frame interval in 100 ns units, rounded; none when the
// rate gives no representable interval.
bool FrameInterval(double frameRate, std::int64_t& interval) {
  const double units = std::floor(10'000'000.0 / frameRate + 0.5);
  if (!std::isfinite(units) ||
      units < static_cast<double>(std::numeric_limits<std::int64_t>::min()) ||
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
  constexpr Family kFamilies[] = {{&platform::BaseFilter::QueryVideoProcAmp, 0, 10},
                                  {&platform::BaseFilter::QueryCameraControl, 10, 7}};
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

// One attempt of the build: steps until the first failure, whose status is
// returned; 0 when the graph runs and a frame has arrived. Objects that live
// only during the build are locals and released on every path.
std::int32_t BuildAttempt(std::int32_t captureIndex) {
  CaptureState& state = Capture();
  CaptureContext& context = state.contexts[static_cast<std::size_t>(captureIndex)];
  platform::Platform& platform = platform::ActivePlatform();

  if (platform.CreateFilterGraph(context.graphBuilder) != kOk || !context.graphBuilder) {
    return kBuildNoFilterGraph;
  }
  {
    std::unique_ptr<platform::CreateDevEnum> deviceEnum;
    if (platform.CreateSystemDeviceEnum(deviceEnum) != kOk || !deviceEnum) {
      return kBuildNoDeviceEnumerator;
    }
    std::unique_ptr<platform::EnumMoniker> monikerEnum;
    if (deviceEnum->CreateVideoInputEnumerator(monikerEnum) != kOk || !monikerEnum) {
      return kBuildNoVideoInputs;
    }

    // Device search: only plug-and-play devices count, and the same rule
    // numbers the device listing, so ordinal n here is listing position n.
    std::int32_t ordinal = 0;
    bool bound = false;
    for (;;) {
      std::unique_ptr<platform::Moniker> moniker;
      if (monikerEnum->Next(moniker) != kOk || !moniker) break;
      std::u16string displayName;
      if (moniker->GetDisplayName(displayName) != kOk) return kBuildNoDisplayName;
      const std::string ansiName = platform.WideToAnsi(displayName);
      if (displayName.find(kPnpMarker) == std::u16string::npos) continue;
      if (!bound && (context.requestedDevice == -1 || context.requestedDevice == ordinal)) {
        if (moniker->BindToObject(context.captureFilter) != kOk || !context.captureFilter ||
            context.graphBuilder->AddFilter(*context.captureFilter,
                                            NumberedName("Video Capture", captureIndex)) != kOk) {
          return kBuildAddCaptureFilterFailed;
        }
        context.boundDevice = ordinal;
        std::snprintf(context.devicePath, sizeof context.devicePath, "%s", ansiName.c_str());
        bound = true;
      }
      ++ordinal;
    }

    // A period whose first build found no device counts again, so that a
    // camera plugged in later can be opened.
    if (state.cachedDeviceCount <= 0) state.cachedDeviceCount = ordinal;
    if (state.cachedDeviceCount == 0) return kBuildNoPnpDevice;
    if (!bound) return kBuildNoSuchDevice;
  }

  if (platform.CreateCaptureGraphBuilder(context.captureBuilder) != kOk ||
      !context.captureBuilder ||
      context.captureBuilder->SetFiltergraph(*context.graphBuilder) != kOk) {
    return kBuildSetFiltergraphFailed;
  }
  {
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

    if (context.width == 0) context.width = state.lastWidth;
    if (context.height == 0) context.height = state.lastHeight;
    if (context.frameRate == 0.0) context.frameRate = state.lastFrameRate;
    state.lastWidth = context.width;
    state.lastHeight = context.height;
    state.lastFrameRate = context.frameRate;

    // Only size, interval and subtype change; every other field keeps what
    // the pin reported.
    std::int64_t interval = 0;
    if (!FrameInterval(context.frameRate, interval)) return kBuildFormatRefused;
    video.bmiHeader.biWidth = context.width;
    video.bmiHeader.biHeight = context.height;
    video.AvgTimePerFrame = interval;
    context.streamFormat->SetVideoInfo(video);
    if (!(context.streamSubtype == platform::kGuidNull)) {
      context.streamFormat->subtype = context.streamSubtype;
    }
    context.streamSubtype = context.streamFormat->subtype;
    if (streamConfig->SetFormat(*context.streamFormat) != kOk) return kBuildFormatRefused;
  }

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
                                      NumberedName("Grabber", captureIndex)) != kOk) {
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
  {
    std::lock_guard lock(context.framesMutex);
    context.frames = frames;
  }
  auto& callback = state.grabberCallbacks[static_cast<std::size_t>(captureIndex)];
  callback = std::make_unique<vrk_SampleGrabberCB>(captureIndex, frames);
  if (context.sampleGrabber->SetCallback(callback.get(), 1) != kOk) {
    return kBuildSetCallbackFailed;
  }

  ProbeProperties(context);

  if (context.graphBuilder->QueryMediaEvent(context.mediaEvent) != kOk || !context.mediaEvent) {
    return kBuildNoMediaEvent;
  }
  {
    std::unique_ptr<platform::MediaControl> mediaControl;
    if (context.graphBuilder->QueryMediaControl(mediaControl) != kOk || !mediaControl) {
      return kBuildNoMediaControl;
    }
    if (mediaControl->Run() != kOk) return kBuildRunFailed;
  }

  // On a live graph this returns at its time-out, while frames already flow.
  long eventCode = 0;
  context.mediaEvent->WaitForCompletion(kGraphWaitMs, eventCode);

  // The first frame: polled without sleeping, bounded by the tick count
  // (unsigned difference, so the counter's wrap does no harm).
  const std::uint32_t start = platform.GetTickCount();
  while (frames->FrameLength() == 0) {
    if (platform.GetTickCount() - start > kGraphWaitMs) return kBuildNoFirstFrame;
    std::this_thread::yield();
  }
  return kBuildRunning;
}

}  // namespace

std::int32_t StartCapture(std::int32_t captureIndex, std::int32_t device, std::int32_t width,
                          std::int32_t height, double frameRate, const platform::Guid& subtype) {
  CaptureState& state = Capture();
  CaptureContext* context = ContextAt(captureIndex);
  if (context == nullptr) return kBuildNotBuilt;
  if (state.cachedDeviceCount == -1) {
    if (state.comInitialised.load() == 0 &&
        platform::ActivePlatform().CoInitializeEx() == platform::kOk) {
      state.comInitialised.store(1);
    }
    for (CaptureContext& each : state.contexts) each.ClearRequest();
  }
  if (context->running.load() != 0) return -2;
  context->width = width;
  context->height = height;
  context->frameRate = frameRate;
  context->requestedDevice = device;
  context->devicePath[0] = '\0';
  context->grabberSubtype = subtype;
  context->streamSubtype = subtype;
  context->buildStatus.store(kBuildNotBuilt);
  BuildCaptureGraph(captureIndex);
  return context->buildStatus.load();
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
    ReleaseCaptureObjects(captureIndex);
    if (status != kBuildRunFailed && status != kBuildNoFirstFrame) break;
  }
  context->buildStatus.store(status);
}

std::int32_t StopCapture(std::int32_t captureIndex) {
  CaptureState& state = Capture();
  CaptureContext* context = ContextAt(captureIndex);
  if (context == nullptr || context->running.load() == 0) return kStopNotRunning;
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

  for (const CaptureContext& each : state.contexts) {
    if (each.running.load() != 0) return kStopDone;
  }
  if (state.comInitialised.load() == 1) {
    platform::ActivePlatform().CoUninitialize();
    state.comInitialised.store(0);
  }
  state.cachedDeviceCount = -1;
  return kStopDone;
}

void ReleaseCaptureObjects(std::int32_t captureIndex) {
  CaptureContext* context = ContextAt(captureIndex);
  if (context == nullptr) return;
  std::unique_ptr<vrk_SampleGrabberCB> callback;
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
    // Releasing the graph stops a graph still running, so the streaming
    // thread is gone before the callback object is deleted below.
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
