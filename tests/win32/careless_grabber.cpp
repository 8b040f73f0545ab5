#include "win32/careless_grabber.h"

#include <qedit.h>

#include <cstring>
#include <mutex>

#include "win32/com_object.h"
#include "win32/test_camera.h"

// Defined by libstrmiids; the toolchain's qedit.h does not declare it.
EXTERN_C const CLSID CLSID_SampleGrabber;

namespace qel::test {

void GrabberLog::Reset() {
  samplesPassed = 0;
  clearedWhileRunning = 0;
  calledAtRelease = 0;
}

GrabberLog& CarelessGrabberLog() {
  static GrabberLog log;
  return log;
}

namespace {

constexpr wchar_t kPinName[] = L"Input";

class CarelessGrabber;

// The input pin. Its references are the filter's.
class GrabberPin final : public IPin, public IMemInputPin {
 public:
  explicit GrabberPin(CarelessGrabber& filter) : filter_(filter) {}
  ~GrabberPin() { Disconnect(); }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IPin) {
      *object = static_cast<IPin*>(this);
    } else if (iid == IID_IMemInputPin) {
      *object = static_cast<IMemInputPin*>(this);
    } else {
      *object = nullptr;
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  // IPin.
  HRESULT STDMETHODCALLTYPE Connect(IPin*, const AM_MEDIA_TYPE*) override { return E_UNEXPECTED; }
  HRESULT STDMETHODCALLTYPE ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* type) override;
  HRESULT STDMETHODCALLTYPE Disconnect() override {
    std::lock_guard lock(mutex_);
    if (connected_ == nullptr) return S_FALSE;
    connected_->Release();
    connected_ = nullptr;
    ClearMediaType(type_);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE ConnectedTo(IPin** pin) override {
    std::lock_guard lock(mutex_);
    *pin = connected_;
    if (connected_ == nullptr) return VFW_E_NOT_CONNECTED;
    connected_->AddRef();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE ConnectionMediaType(AM_MEDIA_TYPE* type) override {
    std::lock_guard lock(mutex_);
    if (connected_ == nullptr) {
      *type = AM_MEDIA_TYPE{};
      return VFW_E_NOT_CONNECTED;
    }
    CopyMediaType(*type, type_);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE QueryPinInfo(PIN_INFO* info) override;
  HRESULT STDMETHODCALLTYPE QueryDirection(PIN_DIRECTION* direction) override {
    *direction = PINDIR_INPUT;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE QueryId(LPWSTR* id) override {
    *id = static_cast<LPWSTR>(CoTaskMemAlloc(sizeof kPinName));
    std::memcpy(*id, kPinName, sizeof kPinName);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE QueryAccept(const AM_MEDIA_TYPE* type) override;
  HRESULT STDMETHODCALLTYPE EnumMediaTypes(IEnumMediaTypes**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE QueryInternalConnections(IPin**, ULONG*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE EndOfStream() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE BeginFlush() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE EndFlush() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE NewSegment(REFERENCE_TIME, REFERENCE_TIME, double) override {
    return S_OK;
  }

  // IMemInputPin: the upstream pin brings its own allocator.
  HRESULT STDMETHODCALLTYPE GetAllocator(IMemAllocator** allocator) override {
    *allocator = nullptr;
    return VFW_E_NO_ALLOCATOR;
  }
  HRESULT STDMETHODCALLTYPE NotifyAllocator(IMemAllocator*, BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE GetAllocatorRequirements(ALLOCATOR_PROPERTIES*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Receive(IMediaSample* sample) override;
  HRESULT STDMETHODCALLTYPE ReceiveMultiple(IMediaSample** samples, long count,
                                            long* processed) override {
    *processed = 0;
    for (; *processed < count; ++*processed) Receive(samples[*processed]);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE ReceiveCanBlock() override { return S_FALSE; }

 private:
  CarelessGrabber& filter_;
  std::mutex mutex_;
  IPin* connected_ = nullptr;
  AM_MEDIA_TYPE type_{};
};

class CarelessGrabber final : public ComObject<IBaseFilter, ISampleGrabber> {
 public:
  CarelessGrabber() : pin_(*this) { ++CarelessGrabberLog().instances; }

  bool Accepts(const AM_MEDIA_TYPE& type) {
    std::lock_guard lock(mutex_);
    return type_.majortype == GUID_NULL ||
           (type.majortype == type_.majortype &&
            (type_.subtype == GUID_NULL || type.subtype == type_.subtype));
  }

  // A sample from upstream, handed to the callback it holds.
  void Deliver(IMediaSample* sample) {
    std::lock_guard lock(mutex_);
    if (callback_ == nullptr) return;
    BYTE* data = nullptr;
    REFERENCE_TIME start = 0, end = 0;
    sample->GetPointer(&data);
    sample->GetTime(&start, &end);
    ++CarelessGrabberLog().samplesPassed;
    const double time = static_cast<double>(start) / 1e7;
    if (which_ == 1) {
      callback_->BufferCB(time, data, sample->GetActualDataLength());
    } else {
      callback_->SampleCB(time, sample);
    }
  }

  // IPersist, IMediaFilter.
  HRESULT STDMETHODCALLTYPE GetClassID(CLSID* clsid) override {
    *clsid = CLSID_SampleGrabber;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Stop() override { return SetState(State_Stopped); }
  HRESULT STDMETHODCALLTYPE Pause() override { return SetState(State_Paused); }
  HRESULT STDMETHODCALLTYPE Run(REFERENCE_TIME) override { return SetState(State_Running); }
  HRESULT STDMETHODCALLTYPE GetState(DWORD, FILTER_STATE* state) override {
    std::lock_guard lock(mutex_);
    *state = state_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetSyncSource(IReferenceClock*) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE GetSyncSource(IReferenceClock** clock) override {
    *clock = nullptr;
    return S_OK;
  }

  // IBaseFilter.
  HRESULT STDMETHODCALLTYPE EnumPins(IEnumPins** pins) override {
    *pins = NewPinEnum(static_cast<IPin*>(&pin_));
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE FindPin(LPCWSTR id, IPin** pin) override {
    *pin = nullptr;
    if (wcscmp(id, kPinName) != 0) return VFW_E_NOT_FOUND;
    *pin = &pin_;
    pin_.AddRef();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE QueryFilterInfo(FILTER_INFO* info) override {
    info->achName[0] = L'\0';
    info->pGraph = graph_;
    if (graph_ != nullptr) graph_->AddRef();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE JoinFilterGraph(IFilterGraph* graph, LPCWSTR) override {
    graph_ = graph;  // not counted: the graph holds the filter
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE QueryVendorInfo(LPWSTR*) override { return E_NOTIMPL; }

  // ISampleGrabber.
  HRESULT STDMETHODCALLTYPE SetOneShot(BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE SetMediaType(const AM_MEDIA_TYPE* type) override {
    if (type == nullptr) return E_POINTER;
    std::lock_guard lock(mutex_);
    ClearMediaType(type_);
    CopyMediaType(type_, *type);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetConnectedMediaType(AM_MEDIA_TYPE* type) override {
    return pin_.ConnectionMediaType(type);
  }
  HRESULT STDMETHODCALLTYPE SetBufferSamples(BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE GetCurrentBuffer(long*, long*) override { return E_INVALIDARG; }
  HRESULT STDMETHODCALLTYPE GetCurrentSample(IMediaSample**) override { return E_NOTIMPL; }
  // Holds the callback without a reference of its own.
  HRESULT STDMETHODCALLTYPE SetCallback(ISampleGrabberCB* callback, long which) override {
    std::lock_guard lock(mutex_);
    if (callback == nullptr && state_ != State_Stopped) ++CarelessGrabberLog().clearedWhileRunning;
    callback_ = callback;
    which_ = which;
    return S_OK;
  }

 private:
  ~CarelessGrabber() override {
    // A last call to a callback it still holds, as a filter may make when it
    // flushes on its way out.
    if (callback_ != nullptr) {
      ++CarelessGrabberLog().calledAtRelease;
      BYTE last[4] = {};
      callback_->BufferCB(0.0, last, sizeof last);
    }
    ClearMediaType(type_);
    --CarelessGrabberLog().instances;
  }
  bool AlsoAnswers(REFIID iid) const override {
    return iid == IID_IPersist || iid == IID_IMediaFilter;
  }
  HRESULT SetState(FILTER_STATE state) {
    std::lock_guard lock(mutex_);
    state_ = state;
    return S_OK;
  }

  GrabberPin pin_;
  std::mutex mutex_;
  FILTER_STATE state_ = State_Stopped;
  AM_MEDIA_TYPE type_{};
  ISampleGrabberCB* callback_ = nullptr;
  long which_ = 0;
  IFilterGraph* graph_ = nullptr;
};

ULONG STDMETHODCALLTYPE GrabberPin::AddRef() { return filter_.AddRef(); }
ULONG STDMETHODCALLTYPE GrabberPin::Release() { return filter_.Release(); }

HRESULT STDMETHODCALLTYPE GrabberPin::ReceiveConnection(IPin* connector,
                                                        const AM_MEDIA_TYPE* type) {
  if (connector == nullptr || type == nullptr) return E_POINTER;
  if (!filter_.Accepts(*type)) return VFW_E_TYPE_NOT_ACCEPTED;
  std::lock_guard lock(mutex_);
  if (connected_ != nullptr) return VFW_E_ALREADY_CONNECTED;
  connected_ = connector;
  connected_->AddRef();
  CopyMediaType(type_, *type);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE GrabberPin::QueryPinInfo(PIN_INFO* info) {
  info->pFilter = &filter_;
  filter_.AddRef();
  info->dir = PINDIR_INPUT;
  wcsncpy(info->achName, kPinName, MAX_PIN_NAME);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE GrabberPin::QueryAccept(const AM_MEDIA_TYPE* type) {
  return type != nullptr && filter_.Accepts(*type) ? S_OK : S_FALSE;
}

HRESULT STDMETHODCALLTYPE GrabberPin::Receive(IMediaSample* sample) {
  if (sample == nullptr) return E_POINTER;
  filter_.Deliver(sample);
  return S_OK;
}

HRESULT CreateCarelessGrabber(REFIID iid, void** object) {
  return HandOut(static_cast<IBaseFilter*>(new CarelessGrabber()), iid, object);
}

}  // namespace

CarelessGrabberClass::CarelessGrabberClass() {
  CarelessGrabberLog().Reset();
  IClassFactory* factory = NewClassFactory(&CreateCarelessGrabber);
  if (FAILED(CoRegisterClassObject(CLSID_SampleGrabber, factory, CLSCTX_INPROC_SERVER,
                                   REGCLS_MULTIPLEUSE, &cookie_))) {
    cookie_ = 0;
  }
  factory->Release();
}

CarelessGrabberClass::~CarelessGrabberClass() {
  if (cookie_ != 0) CoRevokeClassObject(cookie_);
}

}  // namespace qel::test
