#include "platform/win32/capture_objects.h"

#include <oleauto.h>

#include <string>

#include "platform/win32/grabber_callback.h"
#include "platform/win32/media_type_convert.h"

namespace qel::platform::win32 {

namespace {

// A zero-terminated wide copy of a name, for calls that take LPCWSTR.
std::wstring WideText(std::u16string_view text) { return std::wstring(text.begin(), text.end()); }

std::u16string FromWide(const wchar_t* text, std::size_t length) {
  return std::u16string(reinterpret_cast<const char16_t*>(text), length);
}

}  // namespace

// ---- device enumeration -------------------------------------------------

HResult Win32PropertyBag::Read(std::u16string_view name, std::u16string& value) {
  value.clear();
  const std::wstring wideName = WideText(name);
  VARIANT variant;
  VariantInit(&variant);
  variant.vt = VT_BSTR;
  const HRESULT result = bag_->Read(wideName.c_str(), &variant, nullptr);
  if (variant.vt == VT_BSTR && variant.bstrVal != nullptr) {
    value = FromWide(variant.bstrVal, SysStringLen(variant.bstrVal));
  }
  VariantClear(&variant);
  return static_cast<HResult>(result);
}

HResult Win32Moniker::GetDisplayName(std::u16string& name) {
  name.clear();
  LPOLESTR text = nullptr;
  const HRESULT result = moniker_->GetDisplayName(nullptr, nullptr, &text);
  if (text != nullptr) {
    name = FromWide(text, wcslen(text));
    CoTaskMemFree(text);
  }
  return static_cast<HResult>(result);
}

HResult Win32Moniker::BindToStorage(std::unique_ptr<PropertyBag>& bag) {
  ComPtr<IPropertyBag> object;
  const HRESULT result =
      moniker_->BindToStorage(nullptr, nullptr, IID_IPropertyBag, object.PutVoid());
  return Hand<Win32PropertyBag>(result, object, bag);
}

HResult Win32Moniker::BindToObject(std::unique_ptr<BaseFilter>& filter) {
  ComPtr<IBaseFilter> object;
  const HRESULT result =
      moniker_->BindToObject(nullptr, nullptr, IID_IBaseFilter, object.PutVoid());
  return Hand<Win32BaseFilter>(result, object, filter);
}

HResult Win32EnumMoniker::Next(std::unique_ptr<Moniker>& moniker) {
  ComPtr<IMoniker> object;
  ULONG fetched = 0;
  const HRESULT result = monikers_->Next(1, object.Put(), &fetched);
  return Hand<Win32Moniker>(result, object, moniker);
}

HResult Win32CreateDevEnum::CreateVideoInputEnumerator(std::unique_ptr<EnumMoniker>& monikers) {
  ComPtr<IEnumMoniker> object;
  const HRESULT result =
      devEnum_->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, object.Put(), 0);
  return Hand<Win32EnumMoniker>(result, object, monikers);
}

// ---- pins ---------------------------------------------------------------

HResult Win32Pin::QueryDirection(PinDirection& direction) {
  PIN_DIRECTION value = PINDIR_INPUT;
  const HRESULT result = pin_->QueryDirection(&value);
  if (SUCCEEDED(result)) {
    direction = value == PINDIR_OUTPUT ? PinDirection::kOutput : PinDirection::kInput;
  }
  return static_cast<HResult>(result);
}

HResult Win32EnumPins::Next(std::unique_ptr<Pin>& pin) {
  ComPtr<IPin> object;
  ULONG fetched = 0;
  const HRESULT result = pins_->Next(1, object.Put(), &fetched);
  return Hand<Win32Pin>(result, object, pin);
}

// ---- stream configuration -----------------------------------------------

namespace {
// Copies a media type the pin allocated into the seam's own, and frees it.
void TakeMediaType(AM_MEDIA_TYPE* format, std::unique_ptr<MediaType>& type) {
  if (format == nullptr) return;
  type = std::make_unique<MediaType>(FromAmMediaType(*format));
  DeleteMediaType(format);
}
}  // namespace

HResult Win32StreamConfig::GetFormat(std::unique_ptr<MediaType>& type) {
  type.reset();
  AM_MEDIA_TYPE* format = nullptr;
  const HRESULT result = config_->GetFormat(&format);
  TakeMediaType(format, type);
  return static_cast<HResult>(result);
}

HResult Win32StreamConfig::SetFormat(const MediaType& type) {
  BorrowedAmMediaType format(type);
  return static_cast<HResult>(config_->SetFormat(format.get()));
}

HResult Win32StreamConfig::GetNumberOfCapabilities(int& count, int& capsSize) {
  return static_cast<HResult>(config_->GetNumberOfCapabilities(&count, &capsSize));
}

HResult Win32StreamConfig::GetStreamCaps(int index, std::unique_ptr<MediaType>& type, void* caps) {
  type.reset();
  // The pin writes a whole capability record; without a place for it the
  // call is not made.
  if (caps == nullptr) return kPointer;
  AM_MEDIA_TYPE* format = nullptr;
  const HRESULT result = config_->GetStreamCaps(index, &format, static_cast<BYTE*>(caps));
  TakeMediaType(format, type);
  return static_cast<HResult>(result);
}

// ---- sample grabber -----------------------------------------------------

HResult Win32SampleGrabber::SetMediaType(const MediaType& type) {
  BorrowedAmMediaType format(type);
  return static_cast<HResult>(grabber_->SetMediaType(format.get()));
}

HResult Win32SampleGrabber::SetBufferSamples(bool buffer) {
  return static_cast<HResult>(grabber_->SetBufferSamples(buffer ? TRUE : FALSE));
}

HResult Win32SampleGrabber::SetOneShot(bool oneShot) {
  return static_cast<HResult>(grabber_->SetOneShot(oneShot ? TRUE : FALSE));
}

HResult Win32SampleGrabber::SetCallback(std::shared_ptr<SampleGrabberCallback> callback,
                                        long whichMethod) {
  ComPtr<ISampleGrabberCB> adapter;
  if (callback) adapter = ComPtr<ISampleGrabberCB>(new GrabberCallbackAdapter(std::move(callback)));
  const HRESULT result = grabber_->SetCallback(adapter.get(), whichMethod);
  // The adapter the grabber had is let go only once it holds the new one (or
  // none); a refused call leaves it as it was.
  if (SUCCEEDED(result)) adapter_ = std::move(adapter);
  return static_cast<HResult>(result);
}

// ---- filters and the graph ----------------------------------------------

HResult Win32BaseFilter::EnumPins(std::unique_ptr<platform::EnumPins>& pins) {
  ComPtr<IEnumPins> object;
  const HRESULT result = filter_->EnumPins(object.Put());
  return Hand<Win32EnumPins>(result, object, pins);
}

HResult Win32BaseFilter::QueryVideoProcAmp(std::unique_ptr<VideoPropertySet>& amp) {
  ComPtr<IAMVideoProcAmp> object;
  const HRESULT result = QueryInto(filter_.get(), IID_IAMVideoProcAmp, object);
  return Hand<Win32VideoProcAmp>(result, object, amp);
}

HResult Win32BaseFilter::QueryCameraControl(std::unique_ptr<VideoPropertySet>& control) {
  ComPtr<IAMCameraControl> object;
  const HRESULT result = QueryInto(filter_.get(), IID_IAMCameraControl, object);
  return Hand<Win32CameraControl>(result, object, control);
}

HResult Win32BaseFilter::QuerySampleGrabber(std::unique_ptr<SampleGrabber>& grabber) {
  ComPtr<ISampleGrabber> object;
  const HRESULT result = QueryInto(filter_.get(), IID_ISampleGrabber, object);
  return Hand<Win32SampleGrabber>(result, object, grabber);
}

HResult Win32MediaControl::Run() { return static_cast<HResult>(control_->Run()); }

HResult Win32MediaControl::Stop() { return static_cast<HResult>(control_->Stop()); }

HResult Win32MediaEvent::WaitForCompletion(long timeoutMs, long& eventCode) {
  return static_cast<HResult>(events_->WaitForCompletion(timeoutMs, &eventCode));
}

HResult Win32MediaEvent::GetEvent(long& eventCode, long timeoutMs) {
  LONG_PTR first = 0;
  LONG_PTR second = 0;
  const HRESULT result = events_->GetEvent(&eventCode, &first, &second, timeoutMs);
  // Every event taken must have its parameters freed, whatever it is.
  if (SUCCEEDED(result)) events_->FreeEventParams(eventCode, first, second);
  return static_cast<HResult>(result);
}

// Objects passed in by reference must be this backend's own: only those carry
// a COM object to hand on.
HResult Win32GraphBuilder::AddFilter(BaseFilter& filter, std::u16string_view name) {
  auto* own = dynamic_cast<Win32BaseFilter*>(&filter);
  if (own == nullptr) return kInvalidArg;
  const std::wstring wideName = WideText(name);
  return static_cast<HResult>(graph_->AddFilter(own->get(), wideName.c_str()));
}

HResult Win32GraphBuilder::Connect(Pin& output, Pin& input) {
  auto* out = dynamic_cast<Win32Pin*>(&output);
  auto* in = dynamic_cast<Win32Pin*>(&input);
  if (out == nullptr || in == nullptr) return kInvalidArg;
  return static_cast<HResult>(graph_->Connect(out->get(), in->get()));
}

HResult Win32GraphBuilder::QueryMediaEvent(std::unique_ptr<MediaEvent>& events) {
  ComPtr<IMediaEvent> object;
  const HRESULT result = QueryInto(graph_.get(), IID_IMediaEvent, object);
  return Hand<Win32MediaEvent>(result, object, events);
}

HResult Win32GraphBuilder::QueryMediaControl(std::unique_ptr<MediaControl>& control) {
  ComPtr<IMediaControl> object;
  const HRESULT result = QueryInto(graph_.get(), IID_IMediaControl, object);
  return Hand<Win32MediaControl>(result, object, control);
}

HResult Win32CaptureGraphBuilder::SetFiltergraph(GraphBuilder& graph) {
  auto* own = dynamic_cast<Win32GraphBuilder*>(&graph);
  if (own == nullptr) return kInvalidArg;
  return static_cast<HResult>(builder_->SetFiltergraph(own->get()));
}

HResult Win32CaptureGraphBuilder::FindCaptureStreamConfig(BaseFilter& filter,
                                                          std::unique_ptr<StreamConfig>& config) {
  auto* own = dynamic_cast<Win32BaseFilter*>(&filter);
  if (own == nullptr) {
    config.reset();
    return kInvalidArg;
  }
  ComPtr<IAMStreamConfig> object;
  const HRESULT result = builder_->FindInterface(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video,
                                                 own->get(), IID_IAMStreamConfig, object.PutVoid());
  return Hand<Win32StreamConfig>(result, object, config);
}

}  // namespace qel::platform::win32
