#include "platform/virtual/filter_graph.h"

#include "platform/virtual/capture_filter.h"
#include "platform/virtual/capture_state.h"
#include "platform/virtual/clock.h"
#include "platform/virtual/rig.h"
#include "platform/virtual/rig_codes.h"
#include "platform/virtual/stream_config.h"

namespace qel::sim {

using platform::HResult;
using platform::kFail;
using platform::kOk;

namespace {

// Stops the graph's stream, if any. The stream is joined without the lock.
void StopGraph(std::unique_lock<std::mutex>& lock, GraphState& graph) {
  graph.running = false;
  std::unique_ptr<StreamRunner> stream = std::move(graph.stream);
  if (stream) {
    lock.unlock();
    stream.reset();
    lock.lock();
  }
}

bool AcceptsSubtype(const FilterState& grabber, const platform::Guid& subtype) {
  if (!grabber.hasMediaType) return true;
  const platform::MediaType& t = grabber.mediaType;
  if (!(t.majortype == platform::kMediaTypeVideo)) return false;
  return t.subtype == platform::kGuidNull || t.subtype == subtype;
}

class VirtualMediaControl : public platform::MediaControl {
 public:
  explicit VirtualMediaControl(GraphPtr graph) : graph_(std::move(graph)) {}

  HResult Run() override {
    Rig& rig = Rig::Instance();
    std::unique_lock lock(rig.mutex);
    GraphState& g = *graph_;
    rig.PassGateLocked(lock, "Run", g.DeviceIdLocked());
    if (rig.FaultLocked("Run", g.DeviceIdLocked())) return kFail;
    if (g.running) return kOk;
    if (g.capture && g.grabber) {
      Device& device = *g.capture->device;
      if (device.removed) return kDeviceGone;
      if (device.activeStream != nullptr) return kDeviceInUse;
      const Capability* format = device.CurrentFormat();
      if (format == nullptr) return kFail;
      device.grabberBufferedSamples = g.grabber->bufferSamples;
      device.grabberOneShot = g.grabber->oneShot;
      g.stream = std::make_unique<StreamRunner>(g.capture->device, g.grabber, *format);
    }
    g.running = true;
    return kOk;
  }

  HResult Stop() override {
    Rig& rig = Rig::Instance();
    std::unique_lock lock(rig.mutex);
    if (rig.FaultLocked("Stop", graph_->DeviceIdLocked())) return kFail;
    StopGraph(lock, *graph_);
    return kOk;
  }

 private:
  GraphPtr graph_;
};

class VirtualMediaEvent : public platform::MediaEvent {
 public:
  explicit VirtualMediaEvent(GraphPtr graph) : graph_(std::move(graph)) {}

  // A capture graph never completes: while it runs the wait lasts the whole
  // time-out.
  HResult WaitForCompletion(long timeoutMs, long& eventCode) override {
    Rig& rig = Rig::Instance();
    std::unique_lock lock(rig.mutex);
    bool fault = rig.FaultLocked("WaitForCompletion", graph_->DeviceIdLocked());
    eventCode = 0;
    if (!graph_->running) return fault ? platform::kAbort : platform::kWrongState;
    AdvanceClockLocked(lock, timeoutMs < 0 ? 0u : static_cast<std::uint32_t>(timeoutMs));
    return platform::kAbort;
  }

  // The one event a capture graph reports: its device removed while it runs.
  // No wait: the library polls with a time-out of 0.
  HResult GetEvent(long& eventCode, long /*timeoutMs*/) override {
    Rig& rig = Rig::Instance();
    std::lock_guard lock(rig.mutex);
    eventCode = 0;
    GraphState& g = *graph_;
    if (!g.running || !g.capture || !g.capture->device->removed || g.deviceLostReported) {
      return platform::kAbort;
    }
    g.deviceLostReported = true;
    eventCode = platform::kEventDeviceLost;
    return kOk;
  }

 private:
  GraphPtr graph_;
};

class VirtualFilterGraph : public platform::GraphBuilder {
 public:
  VirtualFilterGraph() : graph_(std::make_shared<GraphState>()) {}

  HResult AddFilter(platform::BaseFilter& filter, std::u16string_view /*name*/) override {
    auto* impl = dynamic_cast<VirtualFilter*>(&filter);
    if (impl == nullptr) return platform::kInvalidArg;
    const FilterPtr& state = impl->State();
    Rig& rig = Rig::Instance();
    std::lock_guard lock(rig.mutex);
    bool capture = state->kind == FilterKind::kCapture;
    int device = capture ? state->device->id : graph_->DeviceIdLocked();
    if (rig.FaultLocked(capture ? "AddFilter.capture" : "AddFilter.grabber", device)) return kFail;
    if (state->inGraph) return kFail;  // a filter belongs to one graph at a time
    if (capture && state->device->removed) return kDeviceGone;
    state->inGraph = true;
    state->graph = graph_;
    graph_->filters.push_back(state);
    return kOk;
  }

  HResult Connect(platform::Pin& output, platform::Pin& input) override {
    auto* out = dynamic_cast<VirtualPin*>(&output);
    auto* in = dynamic_cast<VirtualPin*>(&input);
    if (out == nullptr || in == nullptr) return platform::kInvalidArg;
    Rig& rig = Rig::Instance();
    std::lock_guard lock(rig.mutex);
    GraphState& g = *graph_;
    if (rig.FaultLocked("Connect", g.DeviceIdLocked())) return kFail;
    const FilterPtr& source = out->Filter();
    const FilterPtr& sink = in->Filter();
    if (out->Direction() != platform::PinDirection::kOutput ||
        in->Direction() != platform::PinDirection::kInput) {
      return kFail;
    }
    if (source->graph.lock() != graph_ || sink->graph.lock() != graph_) return kNotInGraph;
    if (g.running) return platform::kWrongState;
    if (source->kind != FilterKind::kCapture || sink->kind != FilterKind::kGrabber) {
      return kNoAcceptableTypes;  // the rig has no other filters to connect
    }
    if (source->outputConnected || sink->inputConnected) return kAlreadyConnected;
    const Capability* format = source->device->CurrentFormat();
    if (format == nullptr || !AcceptsSubtype(*sink, format->subtype)) return kNoAcceptableTypes;
    source->outputConnected = true;
    sink->inputConnected = true;
    g.capture = source;
    g.grabber = sink;
    return kOk;
  }

  HResult QueryMediaEvent(std::unique_ptr<platform::MediaEvent>& events) override {
    if (Rig::Instance().Fault("QueryInterface.MediaEvent", DeviceId())) {
      return platform::kNoInterface;
    }
    events = std::make_unique<VirtualMediaEvent>(graph_);
    return kOk;
  }

  HResult QueryMediaControl(std::unique_ptr<platform::MediaControl>& control) override {
    if (Rig::Instance().Fault("QueryInterface.MediaControl", DeviceId())) {
      return platform::kNoInterface;
    }
    control = std::make_unique<VirtualMediaControl>(graph_);
    return kOk;
  }

  const GraphPtr& State() const { return graph_; }

 private:
  int DeviceId() {
    std::lock_guard lock(Rig::Instance().mutex);
    return graph_->DeviceIdLocked();
  }

  GraphPtr graph_;
};

class VirtualCaptureGraphBuilder : public platform::CaptureGraphBuilder {
 public:
  HResult SetFiltergraph(platform::GraphBuilder& graph) override {
    auto* impl = dynamic_cast<VirtualFilterGraph*>(&graph);
    if (impl == nullptr) return platform::kInvalidArg;
    Rig& rig = Rig::Instance();
    std::lock_guard lock(rig.mutex);
    if (rig.FaultLocked("SetFiltergraph", impl->State()->DeviceIdLocked())) return kFail;
    if (graph_) return platform::kWrongState;  // the graph is set once
    graph_ = impl->State();
    return kOk;
  }

  HResult FindCaptureStreamConfig(platform::BaseFilter& filter,
                                  std::unique_ptr<platform::StreamConfig>& config) override {
    auto* impl = dynamic_cast<VirtualFilter*>(&filter);
    if (impl == nullptr) return platform::kNoInterface;
    const FilterPtr& state = impl->State();
    Rig& rig = Rig::Instance();
    std::lock_guard lock(rig.mutex);
    int device = state->kind == FilterKind::kCapture ? state->device->id : -1;
    if (rig.FaultLocked("FindInterface", device)) return platform::kNoInterface;
    if (!graph_) return platform::kFail;  // no graph set
    if (state->kind != FilterKind::kCapture) return platform::kNoInterface;
    config = MakeStreamConfig(state->device);
    return kOk;
  }

 private:
  GraphPtr graph_;
};

}  // namespace

std::unique_ptr<platform::GraphBuilder> MakeFilterGraph() {
  return std::make_unique<VirtualFilterGraph>();
}

std::unique_ptr<platform::CaptureGraphBuilder> MakeCaptureGraphBuilder() {
  return std::make_unique<VirtualCaptureGraphBuilder>();
}

}  // namespace qel::sim
