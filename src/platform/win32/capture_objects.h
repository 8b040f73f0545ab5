// The capture framework's objects behind the seam: each wrapper holds one
// reference to its COM object and forwards each call as one COM call, with
// the HRESULT as the framework gave it.
#pragma once

#include <windows.h>
#include <dshow.h>
#include <qedit.h>

#include <memory>

#include "platform/platform.h"
#include "platform/win32/com_ptr.h"

namespace qel::platform::win32 {

class Win32PropertyBag final : public PropertyBag {
 public:
  explicit Win32PropertyBag(ComPtr<IPropertyBag> bag) : bag_(std::move(bag)) {}
  HResult Read(std::u16string_view name, std::u16string& value) override;

 private:
  ComPtr<IPropertyBag> bag_;
};

class Win32Moniker final : public Moniker {
 public:
  explicit Win32Moniker(ComPtr<IMoniker> moniker) : moniker_(std::move(moniker)) {}
  HResult GetDisplayName(std::u16string& name) override;
  HResult BindToStorage(std::unique_ptr<PropertyBag>& bag) override;
  HResult BindToObject(std::unique_ptr<BaseFilter>& filter) override;

 private:
  ComPtr<IMoniker> moniker_;
};

class Win32EnumMoniker final : public EnumMoniker {
 public:
  explicit Win32EnumMoniker(ComPtr<IEnumMoniker> monikers) : monikers_(std::move(monikers)) {}
  HResult Next(std::unique_ptr<Moniker>& moniker) override;

 private:
  ComPtr<IEnumMoniker> monikers_;
};

class Win32CreateDevEnum final : public CreateDevEnum {
 public:
  explicit Win32CreateDevEnum(ComPtr<ICreateDevEnum> devEnum) : devEnum_(std::move(devEnum)) {}
  HResult CreateVideoInputEnumerator(std::unique_ptr<EnumMoniker>& monikers) override;

 private:
  ComPtr<ICreateDevEnum> devEnum_;
};

class Win32Pin final : public Pin {
 public:
  explicit Win32Pin(ComPtr<IPin> pin) : pin_(std::move(pin)) {}
  HResult QueryDirection(PinDirection& direction) override;
  IPin* get() const { return pin_.get(); }

 private:
  ComPtr<IPin> pin_;
};

class Win32EnumPins final : public EnumPins {
 public:
  explicit Win32EnumPins(ComPtr<IEnumPins> pins) : pins_(std::move(pins)) {}
  HResult Next(std::unique_ptr<Pin>& pin) override;

 private:
  ComPtr<IEnumPins> pins_;
};

class Win32StreamConfig final : public StreamConfig {
 public:
  explicit Win32StreamConfig(ComPtr<IAMStreamConfig> config) : config_(std::move(config)) {}
  HResult GetFormat(std::unique_ptr<MediaType>& type) override;
  HResult SetFormat(const MediaType& type) override;
  HResult GetNumberOfCapabilities(int& count, int& capsSize) override;
  HResult GetStreamCaps(int index, std::unique_ptr<MediaType>& type, void* caps) override;

 private:
  ComPtr<IAMStreamConfig> config_;
};

// IAMVideoProcAmp and IAMCameraControl carry the same three calls.
template <class Interface>
class Win32VideoPropertySet final : public VideoPropertySet {
 public:
  explicit Win32VideoPropertySet(ComPtr<Interface> set) : set_(std::move(set)) {}
  HResult GetRange(long property, long& min, long& max, long& step, long& defaultValue,
                   long& capsFlags) override {
    return static_cast<HResult>(
        set_->GetRange(property, &min, &max, &step, &defaultValue, &capsFlags));
  }
  HResult Get(long property, long& value, long& flags) override {
    return static_cast<HResult>(set_->Get(property, &value, &flags));
  }
  HResult Set(long property, long value, long flags) override {
    return static_cast<HResult>(set_->Set(property, value, flags));
  }

 private:
  ComPtr<Interface> set_;
};

using Win32VideoProcAmp = Win32VideoPropertySet<IAMVideoProcAmp>;
using Win32CameraControl = Win32VideoPropertySet<IAMCameraControl>;

class Win32SampleGrabber final : public SampleGrabber {
 public:
  explicit Win32SampleGrabber(ComPtr<ISampleGrabber> grabber) : grabber_(std::move(grabber)) {}
  HResult SetMediaType(const MediaType& type) override;
  HResult SetBufferSamples(bool buffer) override;
  HResult SetOneShot(bool oneShot) override;
  HResult SetCallback(std::shared_ptr<SampleGrabberCallback> callback, long whichMethod) override;

 private:
  // The adapter the grabber was given, held here as long as the grabber may
  // call it (the grabber need not count a reference of its own); released
  // after the grabber.
  ComPtr<ISampleGrabberCB> adapter_;
  ComPtr<ISampleGrabber> grabber_;
};

class Win32BaseFilter final : public BaseFilter {
 public:
  explicit Win32BaseFilter(ComPtr<IBaseFilter> filter) : filter_(std::move(filter)) {}
  HResult EnumPins(std::unique_ptr<platform::EnumPins>& pins) override;
  HResult QueryVideoProcAmp(std::unique_ptr<VideoPropertySet>& amp) override;
  HResult QueryCameraControl(std::unique_ptr<VideoPropertySet>& control) override;
  HResult QuerySampleGrabber(std::unique_ptr<SampleGrabber>& grabber) override;
  IBaseFilter* get() const { return filter_.get(); }

 private:
  ComPtr<IBaseFilter> filter_;
};

class Win32MediaControl final : public MediaControl {
 public:
  explicit Win32MediaControl(ComPtr<IMediaControl> control) : control_(std::move(control)) {}
  HResult Run() override;
  HResult Stop() override;

 private:
  ComPtr<IMediaControl> control_;
};

class Win32MediaEvent final : public MediaEvent {
 public:
  explicit Win32MediaEvent(ComPtr<IMediaEvent> events) : events_(std::move(events)) {}
  HResult WaitForCompletion(long timeoutMs, long& eventCode) override;
  HResult GetEvent(long& eventCode, long timeoutMs) override;

 private:
  ComPtr<IMediaEvent> events_;
};

class Win32GraphBuilder final : public GraphBuilder {
 public:
  explicit Win32GraphBuilder(ComPtr<IGraphBuilder> graph) : graph_(std::move(graph)) {}
  HResult AddFilter(BaseFilter& filter, std::u16string_view name) override;
  HResult Connect(Pin& output, Pin& input) override;
  HResult QueryMediaEvent(std::unique_ptr<MediaEvent>& events) override;
  HResult QueryMediaControl(std::unique_ptr<MediaControl>& control) override;
  IGraphBuilder* get() const { return graph_.get(); }

 private:
  ComPtr<IGraphBuilder> graph_;
};

class Win32CaptureGraphBuilder final : public CaptureGraphBuilder {
 public:
  explicit Win32CaptureGraphBuilder(ComPtr<ICaptureGraphBuilder2> builder)
      : builder_(std::move(builder)) {}
  HResult SetFiltergraph(GraphBuilder& graph) override;
  HResult FindCaptureStreamConfig(BaseFilter& filter,
                                  std::unique_ptr<StreamConfig>& config) override;

 private:
  ComPtr<ICaptureGraphBuilder2> builder_;
};

// Hands a COM object out as its wrapper when the call gave one; a null
// object leaves out empty. The call's result passes through.
template <class Wrapper, class Interface, class Base>
HResult Hand(HRESULT result, ComPtr<Interface>& object, std::unique_ptr<Base>& out) {
  out.reset();
  if (object) out = std::make_unique<Wrapper>(std::move(object));
  return static_cast<HResult>(result);
}

}  // namespace qel::platform::win32
