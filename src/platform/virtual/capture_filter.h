// The rig's filters: a device's capture filter (one output pin, the video
// property interfaces, a stream configuration) and the sample grabber (an
// input and an output pin and the grabber interface).
#pragma once

#include <memory>

#include "platform/platform.h"
#include "platform/virtual/capture_state.h"

namespace qel::sim {

class VirtualFilter : public platform::BaseFilter {
 public:
  explicit VirtualFilter(FilterPtr state) : state_(std::move(state)) {}

  platform::HResult EnumPins(std::unique_ptr<platform::EnumPins>& pins) override;
  platform::HResult QueryVideoProcAmp(std::unique_ptr<platform::VideoPropertySet>& amp) override;
  platform::HResult QueryCameraControl(
      std::unique_ptr<platform::VideoPropertySet>& control) override;
  platform::HResult QuerySampleGrabber(std::unique_ptr<platform::SampleGrabber>& grabber) override;

  const FilterPtr& State() const { return state_; }

 private:
  platform::HResult QueryProperties(bool cameraControl,
                                    std::unique_ptr<platform::VideoPropertySet>& set);

  FilterPtr state_;
};

class VirtualPin : public platform::Pin {
 public:
  VirtualPin(FilterPtr filter, platform::PinDirection direction)
      : filter_(std::move(filter)), direction_(direction) {}

  platform::HResult QueryDirection(platform::PinDirection& direction) override {
    direction = direction_;
    return platform::kOk;
  }

  const FilterPtr& Filter() const { return filter_; }
  platform::PinDirection Direction() const { return direction_; }

 private:
  FilterPtr filter_;
  platform::PinDirection direction_;
};

std::unique_ptr<platform::BaseFilter> MakeCaptureFilter(DevicePtr device);
std::unique_ptr<platform::BaseFilter> MakeSampleGrabber();

}  // namespace qel::sim
