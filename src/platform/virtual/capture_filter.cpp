#include "platform/virtual/capture_filter.h"

#include <vector>

#include "platform/virtual/rig.h"
#include "platform/virtual/rig_codes.h"
#include "platform/virtual/video_properties.h"

namespace qel::sim {

using platform::HResult;
using platform::kFail;
using platform::kFalse;
using platform::kNoInterface;
using platform::kOk;
using platform::PinDirection;

namespace {

class VirtualEnumPins : public platform::EnumPins {
 public:
  VirtualEnumPins(FilterPtr filter, std::vector<PinDirection> pins)
      : filter_(std::move(filter)), pins_(std::move(pins)) {}

  HResult Next(std::unique_ptr<platform::Pin>& pin) override {
    if (next_ >= pins_.size()) return kFalse;
    pin = std::make_unique<VirtualPin>(filter_, pins_[next_++]);
    return kOk;
  }

 private:
  FilterPtr filter_;
  std::vector<PinDirection> pins_;
  std::size_t next_ = 0;
};

class VirtualSampleGrabber : public platform::SampleGrabber {
 public:
  explicit VirtualSampleGrabber(FilterPtr filter) : filter_(std::move(filter)) {}

  HResult SetMediaType(const platform::MediaType& type) override {
    return Update("SetMediaType", [&](FilterState& f) {
      f.mediaType = type;
      f.hasMediaType = true;
    });
  }
  HResult SetBufferSamples(bool buffer) override {
    return Update("SetBufferSamples", [&](FilterState& f) { f.bufferSamples = buffer; });
  }
  HResult SetOneShot(bool oneShot) override {
    return Update("SetOneShot", [&](FilterState& f) { f.oneShot = oneShot; });
  }
  HResult SetCallback(std::shared_ptr<platform::SampleGrabberCallback> callback,
                      long whichMethod) override {
    if (whichMethod != 0 && whichMethod != 1) return platform::kInvalidArg;
    return Update("SetCallback", [&](FilterState& f) {
      f.callback = std::move(callback);
      f.whichMethod = whichMethod;
    });
  }

 private:
  template <typename Change>
  HResult Update(const char* operation, Change change) {
    Rig& rig = Rig::Instance();
    GraphPtr graph;  // released after the lock
    std::lock_guard lock(rig.mutex);
    graph = filter_->graph.lock();
    int device = graph ? graph->DeviceIdLocked() : -1;
    if (rig.FaultLocked(operation, device)) return kFail;
    change(*filter_);
    return kOk;
  }

  FilterPtr filter_;
};

}  // namespace

HResult VirtualFilter::EnumPins(std::unique_ptr<platform::EnumPins>& pins) {
  Rig& rig = Rig::Instance();
  GraphPtr graph;
  std::lock_guard lock(rig.mutex);
  graph = state_->graph.lock();
  if (rig.FaultLocked("EnumPins", FilterDeviceIdLocked(*state_))) return kFail;
  std::vector<PinDirection> directions;
  if (state_->kind == FilterKind::kCapture) {
    directions = {PinDirection::kOutput};
  } else {
    directions = {PinDirection::kInput, PinDirection::kOutput};
  }
  pins = std::make_unique<VirtualEnumPins>(state_, std::move(directions));
  return kOk;
}

HResult VirtualFilter::QueryProperties(bool cameraControl,
                                       std::unique_ptr<platform::VideoPropertySet>& set) {
  if (state_->kind != FilterKind::kCapture) return kNoInterface;
  Rig& rig = Rig::Instance();
  std::lock_guard lock(rig.mutex);
  const Device& device = *state_->device;
  const char* operation =
      cameraControl ? "QueryInterface.CameraControl" : "QueryInterface.VideoProcAmp";
  if (rig.FaultLocked(operation, device.id)) return kNoInterface;
  if (!(cameraControl ? device.hasCameraControl : device.hasVideoProcAmp)) return kNoInterface;
  set = MakeVideoPropertySet(state_->device, cameraControl ? 10 : 0);
  return kOk;
}

HResult VirtualFilter::QueryVideoProcAmp(std::unique_ptr<platform::VideoPropertySet>& amp) {
  return QueryProperties(false, amp);
}

HResult VirtualFilter::QueryCameraControl(std::unique_ptr<platform::VideoPropertySet>& control) {
  return QueryProperties(true, control);
}

HResult VirtualFilter::QuerySampleGrabber(std::unique_ptr<platform::SampleGrabber>& grabber) {
  if (state_->kind != FilterKind::kGrabber) return kNoInterface;
  Rig& rig = Rig::Instance();
  GraphPtr graph;
  std::lock_guard lock(rig.mutex);
  graph = state_->graph.lock();
  if (rig.FaultLocked("QueryInterface.SampleGrabber", FilterDeviceIdLocked(*state_))) {
    return kNoInterface;
  }
  grabber = std::make_unique<VirtualSampleGrabber>(state_);
  return kOk;
}

std::unique_ptr<platform::BaseFilter> MakeCaptureFilter(DevicePtr device) {
  auto state = std::make_shared<FilterState>();
  state->kind = FilterKind::kCapture;
  state->device = std::move(device);
  return std::make_unique<VirtualFilter>(std::move(state));
}

std::unique_ptr<platform::BaseFilter> MakeSampleGrabber() {
  auto state = std::make_shared<FilterState>();
  state->kind = FilterKind::kGrabber;
  return std::make_unique<VirtualFilter>(std::move(state));
}

GraphState::~GraphState() {
  stream.reset();
  std::lock_guard lock(Rig::Instance().mutex);
  for (const FilterPtr& f : filters) {
    f->inGraph = false;
    f->outputConnected = false;
    f->inputConnected = false;
  }
}

int GraphState::DeviceIdLocked() const {
  if (capture) return capture->device->id;
  for (const FilterPtr& f : filters) {
    if (f->kind == FilterKind::kCapture) return f->device->id;
  }
  return -1;
}

int FilterDeviceIdLocked(const FilterState& filter) {
  if (filter.device) return filter.device->id;
  GraphPtr graph = filter.graph.lock();
  // The caller holds its own reference to the graph, so this one is never the last.
  return graph ? graph->DeviceIdLocked() : -1;
}

}  // namespace qel::sim
