#include "platform/linux/video_graph.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/linux/sys_api.h"
#include "platform/linux/video_codes.h"
#include "platform/linux/video_controls.h"
#include "platform/linux/video_device.h"
#include "platform/linux/video_stream.h"
#include "platform/linux/video_stream_config.h"

namespace qel::platform::linux_hw {

namespace {

struct GraphState;

// What a filter object and its pins share.
struct FilterState {
  enum class Kind { kCapture, kGrabber };
  explicit FilterState(Kind k) : kind(k) {}
  const Kind kind;
  std::shared_ptr<VideoDevice> device;  // of a capture filter

  std::mutex mutex;  // guards what follows; the streaming thread reads the callback
  const GraphState* graph = nullptr;  // the graph it was added to
  std::optional<MediaType> type;      // a grabber's requested type
  std::shared_ptr<SampleGrabberCallback> callback;
  long whichMethod = 0;
  bool oneShot = false;
  bool delivered = false;  // a one-shot grabber has had its frame
};

// Delivers one frame to the grabber's callback, outside every lock.
void Deliver(FilterState& grabber, double sampleTime, std::uint8_t* data, long length) {
  std::shared_ptr<SampleGrabberCallback> callback;
  long whichMethod = 0;
  {
    std::lock_guard lock(grabber.mutex);
    if (grabber.oneShot && grabber.delivered) return;
    grabber.delivered = true;
    callback = grabber.callback;
    whichMethod = grabber.whichMethod;
  }
  if (!callback) return;
  if (whichMethod == 0) {
    callback->SampleCB(sampleTime, nullptr);
  } else {
    callback->BufferCB(sampleTime, data, length);
  }
}

struct GraphState {
  std::mutex mutex;
  std::condition_variable stopped;
  std::vector<std::shared_ptr<FilterState>> filters;
  std::shared_ptr<FilterState> capture;  // the connected pair
  std::shared_ptr<FilterState> grabber;
  std::unique_ptr<VideoStream> stream;  // while running
  bool running = false;
  bool lost = false;          // the node went while running
  bool lostReported = false;  // the event has been taken

  // The stream ends before the filters it delivers to.
  ~GraphState() { StopStream(); }

  void StopStream() {
    std::unique_ptr<VideoStream> ending;
    {
      std::lock_guard lock(mutex);
      ending = std::move(stream);
      running = false;
    }
    ending.reset();
    stopped.notify_all();
  }
};

class VideoPin final : public Pin {
 public:
  VideoPin(std::shared_ptr<FilterState> filter, PinDirection direction)
      : filter_(std::move(filter)), direction_(direction) {}
  HResult QueryDirection(PinDirection& direction) override {
    direction = direction_;
    return kOk;
  }
  const std::shared_ptr<FilterState>& filter() const { return filter_; }
  PinDirection direction() const { return direction_; }

 private:
  std::shared_ptr<FilterState> filter_;
  PinDirection direction_;
};

// A capture filter has its output pin; a grabber an input, then an output.
class VideoEnumPins final : public EnumPins {
 public:
  explicit VideoEnumPins(std::shared_ptr<FilterState> filter) : filter_(std::move(filter)) {
    if (filter_->kind == FilterState::Kind::kGrabber) directions_.push_back(PinDirection::kInput);
    directions_.push_back(PinDirection::kOutput);
  }
  HResult Next(std::unique_ptr<Pin>& pin) override {
    pin.reset();
    if (next_ >= directions_.size()) return kFalse;
    pin = std::make_unique<VideoPin>(filter_, directions_[next_++]);
    return kOk;
  }

 private:
  std::shared_ptr<FilterState> filter_;
  std::vector<PinDirection> directions_;
  std::size_t next_ = 0;
};

class VideoSampleGrabber final : public SampleGrabber {
 public:
  explicit VideoSampleGrabber(std::shared_ptr<FilterState> filter) : filter_(std::move(filter)) {}
  HResult SetMediaType(const MediaType& type) override {
    std::lock_guard lock(filter_->mutex);
    filter_->type = type;
    return kOk;
  }
  // The node's buffers are handed on as they come; none is kept.
  HResult SetBufferSamples(bool buffer) override { return buffer ? kNotImplemented : kOk; }
  HResult SetOneShot(bool oneShot) override {
    std::lock_guard lock(filter_->mutex);
    filter_->oneShot = oneShot;
    filter_->delivered = false;
    return kOk;
  }
  HResult SetCallback(std::shared_ptr<SampleGrabberCallback> callback, long whichMethod) override {
    if (whichMethod != 0 && whichMethod != 1) return kInvalidArg;
    std::lock_guard lock(filter_->mutex);
    filter_->callback = std::move(callback);
    filter_->whichMethod = whichMethod;
    return kOk;
  }

 private:
  std::shared_ptr<FilterState> filter_;
};

class VideoFilter final : public BaseFilter {
 public:
  explicit VideoFilter(std::shared_ptr<FilterState> state) : state_(std::move(state)) {}
  HResult EnumPins(std::unique_ptr<platform::EnumPins>& pins) override {
    pins = std::make_unique<VideoEnumPins>(state_);
    return kOk;
  }
  HResult QueryVideoProcAmp(std::unique_ptr<VideoPropertySet>& amp) override {
    return QueryProperties(PropertyFamily::kVideoProcAmp, amp);
  }
  HResult QueryCameraControl(std::unique_ptr<VideoPropertySet>& control) override {
    return QueryProperties(PropertyFamily::kCameraControl, control);
  }
  HResult QuerySampleGrabber(std::unique_ptr<SampleGrabber>& grabber) override {
    grabber.reset();
    if (state_->kind != FilterState::Kind::kGrabber) return kNoInterface;
    grabber = std::make_unique<VideoSampleGrabber>(state_);
    return kOk;
  }
  const std::shared_ptr<FilterState>& state() const { return state_; }

 private:
  HResult QueryProperties(PropertyFamily family, std::unique_ptr<VideoPropertySet>& set) {
    set.reset();
    if (state_->kind != FilterState::Kind::kCapture) return kNoInterface;
    set = MakeVideoPropertySet(state_->device, family);
    return kOk;
  }

  std::shared_ptr<FilterState> state_;
};

class VideoMediaControl final : public MediaControl {
 public:
  explicit VideoMediaControl(std::shared_ptr<GraphState> graph) : graph_(std::move(graph)) {}

  HResult Run() override {
    std::lock_guard lock(graph_->mutex);
    if (graph_->running) return kOk;
    if (!graph_->capture || !graph_->grabber) return kWrongState;
    std::shared_ptr<FilterState> grabber = graph_->grabber;
    {
      std::lock_guard grabberLock(grabber->mutex);
      grabber->delivered = false;
    }
    GraphState* graph = graph_.get();
    StreamSink sink;
    // The graph outlives its stream (its destructor ends it), so the sink
    // may point at it.
    sink.deliver = [grabber](double t, std::uint8_t* data, long length) {
      Deliver(*grabber, t, data, length);
    };
    sink.lost = [graph] {
      std::lock_guard lostLock(graph->mutex);
      graph->lost = true;
    };
    const HResult started = VideoStream::Start(graph_->capture->device, sink, graph_->stream);
    if (started != kOk) return started;
    graph_->running = true;
    graph_->lost = false;
    graph_->lostReported = false;
    return kOk;
  }

  HResult Stop() override {
    graph_->StopStream();
    return kOk;
  }

 private:
  std::shared_ptr<GraphState> graph_;
};

class VideoMediaEvent final : public MediaEvent {
 public:
  explicit VideoMediaEvent(std::shared_ptr<GraphState> graph) : graph_(std::move(graph)) {}

  // A live graph never completes: the wait lasts its whole time-out (on the
  // table's clock when that is a test's), or until the graph stops.
  HResult WaitForCompletion(long timeoutMs, long& eventCode) override {
    eventCode = 0;
    std::unique_lock lock(graph_->mutex);
    if (!graph_->running) return kWrongState;
    const long wait = timeoutMs < 0 ? 0 : timeoutMs;
    if (Sys().monotonicNs != SystemSysApi().monotonicNs) {
      lock.unlock();
      Sys().sleepMs(static_cast<std::uint32_t>(wait));
      return kAbort;
    }
    graph_->stopped.wait_for(lock, std::chrono::milliseconds(wait),
                             [this] { return !graph_->running; });
    return kAbort;
  }

  // The one event: the device went while the graph ran, told once.
  HResult GetEvent(long& eventCode, long) override {
    std::lock_guard lock(graph_->mutex);
    eventCode = 0;
    if (!graph_->running || !graph_->lost || graph_->lostReported) return kAbort;
    graph_->lostReported = true;
    eventCode = kEventDeviceLost;
    return kOk;
  }

 private:
  std::shared_ptr<GraphState> graph_;
};

class VideoGraph final : public GraphBuilder {
 public:
  VideoGraph() : state_(std::make_shared<GraphState>()) {}
  // The graph's filters and stream go with its last user (a media control
  // or event, or a capture graph builder, may still hold it).
  ~VideoGraph() override { state_->StopStream(); }

  HResult AddFilter(BaseFilter& filter, std::u16string_view) override {
    auto* ours = dynamic_cast<VideoFilter*>(&filter);
    if (ours == nullptr) return kInvalidArg;
    const std::shared_ptr<FilterState>& added = ours->state();
    {
      std::lock_guard lock(added->mutex);
      if (added->graph != nullptr) return kFail;
      added->graph = state_.get();
    }
    std::lock_guard lock(state_->mutex);
    state_->filters.push_back(added);
    return kOk;
  }

  HResult Connect(Pin& output, Pin& input) override {
    auto* from = dynamic_cast<VideoPin*>(&output);
    auto* to = dynamic_cast<VideoPin*>(&input);
    if (from == nullptr || to == nullptr) return kInvalidArg;
    const std::shared_ptr<FilterState>& capture = from->filter();
    const std::shared_ptr<FilterState>& grabber = to->filter();
    if (from->direction() != PinDirection::kOutput || to->direction() != PinDirection::kInput ||
        capture->kind != FilterState::Kind::kCapture ||
        grabber->kind != FilterState::Kind::kGrabber || !InThisGraph(*capture) ||
        !InThisGraph(*grabber)) {
      return kInvalidArg;
    }
    // No converter is put between them: the grabber takes the node's format.
    {
      std::lock_guard lock(grabber->mutex);
      if (grabber->type && !(grabber->type->subtype == kGuidNull) &&
          !(grabber->type->subtype == CurrentSubtype(*capture->device))) {
        return kNoAcceptableTypes;
      }
    }
    std::lock_guard lock(state_->mutex);
    if (state_->running) return kWrongState;
    state_->capture = capture;
    state_->grabber = grabber;
    return kOk;
  }

  HResult QueryMediaEvent(std::unique_ptr<MediaEvent>& events) override {
    events = std::make_unique<VideoMediaEvent>(state_);
    return kOk;
  }
  HResult QueryMediaControl(std::unique_ptr<MediaControl>& control) override {
    control = std::make_unique<VideoMediaControl>(state_);
    return kOk;
  }

  const std::shared_ptr<GraphState>& state() const { return state_; }

 private:
  bool InThisGraph(FilterState& filter) {
    std::lock_guard lock(filter.mutex);
    return filter.graph == state_.get();
  }

  std::shared_ptr<GraphState> state_;
};

class VideoCaptureGraphBuilder final : public CaptureGraphBuilder {
 public:
  HResult SetFiltergraph(GraphBuilder& graph) override {
    if (graph_) return kWrongState;
    auto* ours = dynamic_cast<VideoGraph*>(&graph);
    if (ours == nullptr) return kInvalidArg;
    graph_ = ours->state();
    return kOk;
  }

  HResult FindCaptureStreamConfig(BaseFilter& filter,
                                  std::unique_ptr<StreamConfig>& config) override {
    config.reset();
    auto* ours = dynamic_cast<VideoFilter*>(&filter);
    if (!graph_ || ours == nullptr || ours->state()->kind != FilterState::Kind::kCapture) {
      return kNoInterface;
    }
    {
      std::lock_guard lock(ours->state()->mutex);
      if (ours->state()->graph != graph_.get()) return kNoInterface;
    }
    config = MakeVideoStreamConfig(ours->state()->device);
    return kOk;
  }

 private:
  std::shared_ptr<GraphState> graph_;
};

}  // namespace

std::unique_ptr<BaseFilter> MakeCaptureFilter(std::shared_ptr<VideoDevice> device) {
  auto state = std::make_shared<FilterState>(FilterState::Kind::kCapture);
  state->device = std::move(device);
  return std::make_unique<VideoFilter>(std::move(state));
}

std::unique_ptr<BaseFilter> MakeSampleGrabber() {
  return std::make_unique<VideoFilter>(std::make_shared<FilterState>(FilterState::Kind::kGrabber));
}

std::unique_ptr<GraphBuilder> MakeFilterGraph() { return std::make_unique<VideoGraph>(); }

std::unique_ptr<CaptureGraphBuilder> MakeCaptureGraphBuilder() {
  return std::make_unique<VideoCaptureGraphBuilder>();
}

}  // namespace qel::platform::linux_hw
