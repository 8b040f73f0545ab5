#include "win32/test_camera.h"

#include <chrono>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "win32/com_object.h"

namespace qel::test {

void TestCameraLog::Reset() {
  framesSent = 0;
  formatFourcc = 0;
  formatWidth = 0;
  formatHeight = 0;
  formatInterval = 0;
  brightness = 0;
  contrast = 0;
  hue = 1;
  runAnswersFalse = false;
  silent = false;
  unplugged = false;
}

TestCameraLog& CameraLog() {
  static TestCameraLog log;
  return log;
}

void CopyMediaType(AM_MEDIA_TYPE& to, const AM_MEDIA_TYPE& from) {
  to = from;
  if (from.cbFormat != 0 && from.pbFormat != nullptr) {
    to.pbFormat = static_cast<BYTE*>(CoTaskMemAlloc(from.cbFormat));
    std::memcpy(to.pbFormat, from.pbFormat, from.cbFormat);
  } else {
    to.pbFormat = nullptr;
    to.cbFormat = 0;
  }
  if (to.pUnk != nullptr) to.pUnk->AddRef();
}

void ClearMediaType(AM_MEDIA_TYPE& type) {
  if (type.pbFormat != nullptr) CoTaskMemFree(type.pbFormat);
  if (type.pUnk != nullptr) type.pUnk->Release();
  type = AM_MEDIA_TYPE{};
}

namespace {

constexpr const wchar_t kPinName[] = L"Capture";
constexpr long kPropertyCount = 3;  // brightness, contrast, hue

AM_MEDIA_TYPE* NewTaskMediaType(const AM_MEDIA_TYPE& from) {
  auto* type = static_cast<AM_MEDIA_TYPE*>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
  CopyMediaType(*type, from);
  return type;
}

// The media subtype of a FOURCC: {fourcc-0000-0010-8000-00AA00389B71}.
GUID FourccGuid(DWORD fourcc) {
  return GUID{fourcc, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
}

// The pin's media type for one of its formats, as a driver describes it;
// owned by the caller (ClearMediaType).
AM_MEDIA_TYPE MakeType(const TestCameraFormat& format) {
  const bool compressed = format.fourcc == MAKEFOURCC('M', 'J', 'P', 'G');
  AM_MEDIA_TYPE type{};
  type.majortype = MEDIATYPE_Video;
  type.subtype = FourccGuid(format.fourcc);
  type.bFixedSizeSamples = compressed ? FALSE : TRUE;
  type.lSampleSize = static_cast<ULONG>(format.width * format.height * (compressed ? 3 : 2));
  type.formattype = FORMAT_VideoInfo;
  type.cbFormat = sizeof(VIDEOINFOHEADER);
  type.pbFormat = static_cast<BYTE*>(CoTaskMemAlloc(sizeof(VIDEOINFOHEADER)));
  VIDEOINFOHEADER video{};
  video.AvgTimePerFrame = kTestCameraInterval;
  video.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  video.bmiHeader.biWidth = format.width;
  video.bmiHeader.biHeight = format.height;
  video.bmiHeader.biPlanes = 1;
  video.bmiHeader.biBitCount = compressed ? 24 : 16;
  video.bmiHeader.biCompression = format.fourcc;
  video.bmiHeader.biSizeImage = type.lSampleSize;
  std::memcpy(type.pbFormat, &video, sizeof video);
  return type;
}

// The format a type asks for, as a driver's SetFormat checks it: one of the
// pin's formats by subtype and size, and every field that follows from those
// as the pin itself describes that format; none otherwise.
const TestCameraFormat* OfferedFormat(const AM_MEDIA_TYPE& type) {
  if (type.majortype != MEDIATYPE_Video || type.formattype != FORMAT_VideoInfo ||
      type.pbFormat == nullptr || type.cbFormat < sizeof(VIDEOINFOHEADER)) {
    return nullptr;
  }
  VIDEOINFOHEADER video;
  std::memcpy(&video, type.pbFormat, sizeof video);
  for (const TestCameraFormat& format : kTestCameraFormats) {
    if (type.subtype != FourccGuid(format.fourcc) || video.bmiHeader.biWidth != format.width ||
        std::abs(video.bmiHeader.biHeight) != format.height) {
      continue;
    }
    AM_MEDIA_TYPE own = MakeType(format);
    VIDEOINFOHEADER ownVideo;
    std::memcpy(&ownVideo, own.pbFormat, sizeof ownVideo);
    const bool agrees =
        type.bFixedSizeSamples == own.bFixedSizeSamples && type.lSampleSize == own.lSampleSize &&
        video.bmiHeader.biBitCount == ownVideo.bmiHeader.biBitCount &&
        video.bmiHeader.biCompression == ownVideo.bmiHeader.biCompression &&
        video.bmiHeader.biSizeImage == ownVideo.bmiHeader.biSizeImage && video.AvgTimePerFrame > 0;
    ClearMediaType(own);
    return agrees ? &format : nullptr;
  }
  return nullptr;
}

// ---- enumerators ----------------------------------------------------------

class PinEnum final : public ComObject<IEnumPins> {
 public:
  PinEnum(IPin* pin, ULONG position) : pin_(pin), position_(position) { pin_->AddRef(); }
  HRESULT STDMETHODCALLTYPE Next(ULONG count, IPin** pins, ULONG* fetched) override {
    ULONG given = 0;
    if (count > 0 && position_ == 0) {
      pins[0] = pin_;
      pin_->AddRef();
      position_ = 1;
      given = 1;
    }
    if (fetched != nullptr) *fetched = given;
    return given == count ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE Skip(ULONG count) override {
    position_ += count;
    return position_ <= 1 ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE Reset() override {
    position_ = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Clone(IEnumPins** clone) override {
    *clone = new PinEnum(pin_, position_);
    return S_OK;
  }

 private:
  ~PinEnum() override { pin_->Release(); }

  IPin* pin_;
  ULONG position_;
};

class MediaTypeEnum final : public ComObject<IEnumMediaTypes> {
 public:
  MediaTypeEnum(const AM_MEDIA_TYPE& type, ULONG position) : position_(position) {
    CopyMediaType(type_, type);
  }
  HRESULT STDMETHODCALLTYPE Next(ULONG count, AM_MEDIA_TYPE** types, ULONG* fetched) override {
    ULONG given = 0;
    if (count > 0 && position_ == 0) {
      types[0] = NewTaskMediaType(type_);
      position_ = 1;
      given = 1;
    }
    if (fetched != nullptr) *fetched = given;
    return given == count ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE Skip(ULONG count) override {
    position_ += count;
    return position_ <= 1 ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE Reset() override {
    position_ = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Clone(IEnumMediaTypes** clone) override {
    *clone = new MediaTypeEnum(type_, position_);
    return S_OK;
  }

 private:
  ~MediaTypeEnum() override { ClearMediaType(type_); }

  AM_MEDIA_TYPE type_{};
  ULONG position_;
};

// ---- the filter and its pin -----------------------------------------------

class TestCameraFilter;

// The capture pin. Its references are the filter's.
class CapturePin final : public IPin, public IAMStreamConfig, public IKsPropertySet {
 public:
  explicit CapturePin(TestCameraFilter& filter);
  ~CapturePin();

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  // IPin.
  HRESULT STDMETHODCALLTYPE Connect(IPin* receiver, const AM_MEDIA_TYPE* type) override;
  HRESULT STDMETHODCALLTYPE ReceiveConnection(IPin*, const AM_MEDIA_TYPE*) override {
    return E_UNEXPECTED;
  }
  HRESULT STDMETHODCALLTYPE Disconnect() override;
  HRESULT STDMETHODCALLTYPE ConnectedTo(IPin** pin) override;
  HRESULT STDMETHODCALLTYPE ConnectionMediaType(AM_MEDIA_TYPE* type) override;
  HRESULT STDMETHODCALLTYPE QueryPinInfo(PIN_INFO* info) override;
  HRESULT STDMETHODCALLTYPE QueryDirection(PIN_DIRECTION* direction) override {
    *direction = PINDIR_OUTPUT;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE QueryId(LPWSTR* id) override {
    *id = static_cast<LPWSTR>(CoTaskMemAlloc(sizeof kPinName));
    std::memcpy(*id, kPinName, sizeof kPinName);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE QueryAccept(const AM_MEDIA_TYPE* type) override {
    return type != nullptr && OfferedFormat(*type) != nullptr ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE EnumMediaTypes(IEnumMediaTypes** types) override {
    std::lock_guard lock(mutex_);
    *types = new MediaTypeEnum(format_, 0);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE QueryInternalConnections(IPin**, ULONG*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE EndOfStream() override { return E_UNEXPECTED; }
  HRESULT STDMETHODCALLTYPE BeginFlush() override { return E_UNEXPECTED; }
  HRESULT STDMETHODCALLTYPE EndFlush() override { return E_UNEXPECTED; }
  HRESULT STDMETHODCALLTYPE NewSegment(REFERENCE_TIME, REFERENCE_TIME, double) override {
    return S_OK;
  }

  // IAMStreamConfig.
  HRESULT STDMETHODCALLTYPE SetFormat(AM_MEDIA_TYPE* type) override;
  HRESULT STDMETHODCALLTYPE GetFormat(AM_MEDIA_TYPE** type) override;
  HRESULT STDMETHODCALLTYPE GetNumberOfCapabilities(int* count, int* size) override;
  HRESULT STDMETHODCALLTYPE GetStreamCaps(int index, AM_MEDIA_TYPE** type, BYTE* caps) override;

  // IKsPropertySet: the pin category only.
  HRESULT STDMETHODCALLTYPE Set(REFGUID, DWORD, LPVOID, DWORD, LPVOID, DWORD) override {
    return E_PROP_SET_UNSUPPORTED;
  }
  HRESULT STDMETHODCALLTYPE Get(REFGUID set, DWORD id, LPVOID, DWORD, LPVOID data, DWORD size,
                                DWORD* returned) override;
  HRESULT STDMETHODCALLTYPE QuerySupported(REFGUID set, DWORD id, DWORD* support) override;

  // Streaming, driven by the filter's state changes.
  HRESULT Start();
  void Stop();
  void SetRunning(bool running, REFERENCE_TIME start) {
    streamStart_ = start;
    running_ = running;
  }

 private:
  void Stream();

  TestCameraFilter& filter_;
  std::mutex mutex_;
  AM_MEDIA_TYPE format_{};
  IPin* connected_ = nullptr;
  IMemInputPin* input_ = nullptr;
  IMemAllocator* allocator_ = nullptr;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> running_{false};
  std::atomic<REFERENCE_TIME> streamStart_{0};
};

class TestCameraFilter final : public ComObject<IBaseFilter, IAMVideoProcAmp> {
 public:
  TestCameraFilter() : pin_(*this) { ++CameraLog().instances; }

  // IPersist, IMediaFilter.
  HRESULT STDMETHODCALLTYPE GetClassID(CLSID* clsid) override {
    *clsid = kTestCameraClsid;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Stop() override {
    pin_.SetRunning(false, 0);
    pin_.Stop();
    state_ = State_Stopped;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Pause() override {
    if (state_ == State_Stopped) {
      const HRESULT result = pin_.Start();
      if (FAILED(result)) return result;
    }
    pin_.SetRunning(false, 0);
    const bool wasStopped = state_ == State_Stopped;
    state_ = State_Paused;
    // A slow source completes the move to paused later; until then GetState
    // says so, and the graph's Run answers S_FALSE.
    if (wasStopped && CameraLog().runAnswersFalse) {
      intermediateStates_ = 3;
      return S_FALSE;
    }
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Run(REFERENCE_TIME start) override {
    if (state_ == State_Stopped) {
      const HRESULT result = Pause();
      if (FAILED(result)) return result;
    }
    pin_.SetRunning(true, start);
    state_ = State_Running;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetState(DWORD, FILTER_STATE* state) override {
    *state = state_;
    if (intermediateStates_ > 0) {
      --intermediateStates_;
      return VFW_S_STATE_INTERMEDIATE;
    }
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetSyncSource(IReferenceClock* clock) override {
    if (clock != nullptr) clock->AddRef();
    if (clock_ != nullptr) clock_->Release();
    clock_ = clock;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetSyncSource(IReferenceClock** clock) override {
    *clock = clock_;
    if (clock_ != nullptr) clock_->AddRef();
    return S_OK;
  }

  // IBaseFilter.
  HRESULT STDMETHODCALLTYPE EnumPins(IEnumPins** pins) override {
    *pins = NewPinEnum(static_cast<IPin*>(&pin_));
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE FindPin(LPCWSTR id, IPin** pin) override {
    if (wcscmp(id, kPinName) != 0) {
      *pin = nullptr;
      return VFW_E_NOT_FOUND;
    }
    *pin = &pin_;
    pin_.AddRef();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE QueryFilterInfo(FILTER_INFO* info) override {
    wcsncpy(info->achName, name_, MAX_FILTER_NAME);
    info->achName[MAX_FILTER_NAME - 1] = L'\0';
    info->pGraph = graph_;
    if (graph_ != nullptr) graph_->AddRef();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) override {
    graph_ = graph;  // not counted: the graph holds the filter
    name_[0] = L'\0';
    if (name != nullptr) {
      wcsncpy(name_, name, MAX_FILTER_NAME);
      name_[MAX_FILTER_NAME - 1] = L'\0';
    }
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE QueryVendorInfo(LPWSTR*) override { return E_NOTIMPL; }

  // IAMVideoProcAmp: brightness 0..64, contrast 0..1, hue 1..2.
  HRESULT STDMETHODCALLTYPE GetRange(long property, long* min, long* max, long* step,
                                     long* defaultValue, long* flags) override {
    static constexpr long kRanges[kPropertyCount][3] = {{0, 64, 32}, {0, 1, 0}, {1, 2, 1}};
    if (property < 0 || property >= kPropertyCount) return E_PROP_ID_UNSUPPORTED;
    *min = kRanges[property][0];
    *max = kRanges[property][1];
    *step = 1;
    *defaultValue = kRanges[property][2];
    *flags = VideoProcAmp_Flags_Manual;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Set(long property, long value, long) override {
    std::atomic<long>* stored = Property(property);
    if (stored == nullptr) return E_PROP_ID_UNSUPPORTED;
    *stored = value;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Get(long property, long* value, long* flags) override {
    std::atomic<long>* stored = Property(property);
    if (stored == nullptr) return E_PROP_ID_UNSUPPORTED;
    *value = *stored;
    *flags = VideoProcAmp_Flags_Manual;
    return S_OK;
  }

 private:
  ~TestCameraFilter() override {
    pin_.Stop();
    if (clock_ != nullptr) clock_->Release();
    --CameraLog().instances;
  }
  bool AlsoAnswers(REFIID iid) const override {
    return iid == IID_IPersist || iid == IID_IMediaFilter;
  }

  static std::atomic<long>* Property(long property) {
    switch (property) {
      case VideoProcAmp_Brightness:
        return &CameraLog().brightness;
      case VideoProcAmp_Contrast:
        return &CameraLog().contrast;
      case VideoProcAmp_Hue:
        return &CameraLog().hue;
      default:
        return nullptr;
    }
  }

  CapturePin pin_;
  FILTER_STATE state_ = State_Stopped;
  std::atomic<int> intermediateStates_{0};
  IFilterGraph* graph_ = nullptr;

 public:
  IFilterGraph* Graph() const { return graph_; }
  IReferenceClock* clock_ = nullptr;
  wchar_t name_[MAX_FILTER_NAME] = {};
};

CapturePin::CapturePin(TestCameraFilter& filter) : filter_(filter) {
  format_ = MakeType(kTestCameraFormats[0]);
}

CapturePin::~CapturePin() {
  Stop();
  Disconnect();
  ClearMediaType(format_);
}

HRESULT STDMETHODCALLTYPE CapturePin::QueryInterface(REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  if (iid == IID_IUnknown || iid == IID_IPin) {
    *object = static_cast<IPin*>(this);
  } else if (iid == IID_IAMStreamConfig) {
    *object = static_cast<IAMStreamConfig*>(this);
  } else if (iid == IID_IKsPropertySet) {
    *object = static_cast<IKsPropertySet*>(this);
  } else {
    *object = nullptr;
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

ULONG STDMETHODCALLTYPE CapturePin::AddRef() { return filter_.AddRef(); }
ULONG STDMETHODCALLTYPE CapturePin::Release() { return filter_.Release(); }

HRESULT STDMETHODCALLTYPE CapturePin::Connect(IPin* receiver, const AM_MEDIA_TYPE* type) {
  if (receiver == nullptr) return E_POINTER;
  std::lock_guard lock(mutex_);
  if (connected_ != nullptr) return VFW_E_ALREADY_CONNECTED;
  // Only the current format is offered.
  if (type != nullptr && type->majortype != GUID_NULL &&
      (type->majortype != format_.majortype ||
       (type->subtype != GUID_NULL && type->subtype != format_.subtype))) {
    return VFW_E_NO_ACCEPTABLE_TYPES;
  }
  HRESULT result = receiver->ReceiveConnection(static_cast<IPin*>(this), &format_);
  if (FAILED(result)) return VFW_E_NO_ACCEPTABLE_TYPES;

  IMemInputPin* input = nullptr;
  IMemAllocator* allocator = nullptr;
  result = receiver->QueryInterface(IID_IMemInputPin, reinterpret_cast<void**>(&input));
  if (SUCCEEDED(result) && FAILED(input->GetAllocator(&allocator))) {
    result = CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER,
                              IID_IMemAllocator, reinterpret_cast<void**>(&allocator));
  }
  if (SUCCEEDED(result)) {
    ALLOCATOR_PROPERTIES wanted{3, static_cast<long>(format_.lSampleSize), 1, 0};
    ALLOCATOR_PROPERTIES actual{};
    result = allocator->SetProperties(&wanted, &actual);
    if (SUCCEEDED(result)) result = input->NotifyAllocator(allocator, FALSE);
  }
  if (FAILED(result)) {
    if (allocator != nullptr) allocator->Release();
    if (input != nullptr) input->Release();
    receiver->Disconnect();
    return result;
  }
  connected_ = receiver;
  connected_->AddRef();
  input_ = input;
  allocator_ = allocator;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CapturePin::Disconnect() {
  std::lock_guard lock(mutex_);
  if (connected_ == nullptr) return S_FALSE;
  allocator_->Release();
  input_->Release();
  connected_->Release();
  allocator_ = nullptr;
  input_ = nullptr;
  connected_ = nullptr;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CapturePin::ConnectedTo(IPin** pin) {
  std::lock_guard lock(mutex_);
  *pin = connected_;
  if (connected_ == nullptr) return VFW_E_NOT_CONNECTED;
  connected_->AddRef();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CapturePin::ConnectionMediaType(AM_MEDIA_TYPE* type) {
  std::lock_guard lock(mutex_);
  if (connected_ == nullptr) {
    *type = AM_MEDIA_TYPE{};
    return VFW_E_NOT_CONNECTED;
  }
  CopyMediaType(*type, format_);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CapturePin::QueryPinInfo(PIN_INFO* info) {
  info->pFilter = &filter_;
  filter_.AddRef();
  info->dir = PINDIR_OUTPUT;
  wcsncpy(info->achName, kPinName, MAX_PIN_NAME);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CapturePin::SetFormat(AM_MEDIA_TYPE* type) {
  if (type == nullptr) return E_POINTER;
  const TestCameraFormat* format = OfferedFormat(*type);
  if (format == nullptr) return VFW_E_INVALIDMEDIATYPE;
  std::lock_guard lock(mutex_);
  if (connected_ != nullptr) return VFW_E_ALREADY_CONNECTED;
  ClearMediaType(format_);
  CopyMediaType(format_, *type);
  VIDEOINFOHEADER video;
  std::memcpy(&video, type->pbFormat, sizeof video);
  CameraLog().formatFourcc = format->fourcc;
  CameraLog().formatWidth = video.bmiHeader.biWidth;
  CameraLog().formatHeight = video.bmiHeader.biHeight;
  CameraLog().formatInterval = video.AvgTimePerFrame;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CapturePin::GetFormat(AM_MEDIA_TYPE** type) {
  if (type == nullptr) return E_POINTER;
  std::lock_guard lock(mutex_);
  *type = NewTaskMediaType(format_);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CapturePin::GetNumberOfCapabilities(int* count, int* size) {
  *count = static_cast<int>(std::size(kTestCameraFormats));
  *size = sizeof(VIDEO_STREAM_CONFIG_CAPS);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CapturePin::GetStreamCaps(int index, AM_MEDIA_TYPE** type, BYTE* caps) {
  if (index < 0 || index >= static_cast<int>(std::size(kTestCameraFormats))) return S_FALSE;
  const TestCameraFormat& format = kTestCameraFormats[index];
  *type = static_cast<AM_MEDIA_TYPE*>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
  **type = MakeType(format);
  VIDEO_STREAM_CONFIG_CAPS record{};
  record.guid = FORMAT_VideoInfo;
  record.InputSize = record.MinCroppingSize =
      record.MaxCroppingSize = {format.width, format.height};
  record.MinOutputSize = record.MaxOutputSize = {format.width, format.height};
  record.MinFrameInterval = record.MaxFrameInterval = kTestCameraInterval;
  std::memcpy(caps, &record, sizeof record);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CapturePin::Get(REFGUID set, DWORD id, LPVOID, DWORD, LPVOID data,
                                          DWORD size, DWORD* returned) {
  if (set != AMPROPSETID_Pin) return E_PROP_SET_UNSUPPORTED;
  if (id != AMPROPERTY_PIN_CATEGORY) return E_PROP_ID_UNSUPPORTED;
  if (data == nullptr || size < sizeof(GUID)) return E_UNEXPECTED;
  *static_cast<GUID*>(data) = PIN_CATEGORY_CAPTURE;
  if (returned != nullptr) *returned = sizeof(GUID);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CapturePin::QuerySupported(REFGUID set, DWORD id, DWORD* support) {
  if (set != AMPROPSETID_Pin) return E_PROP_SET_UNSUPPORTED;
  if (id != AMPROPERTY_PIN_CATEGORY) return E_PROP_ID_UNSUPPORTED;
  if (support != nullptr) *support = KSPROPERTY_SUPPORT_GET;
  return S_OK;
}

HRESULT CapturePin::Start() {
  std::lock_guard lock(mutex_);
  if (allocator_ == nullptr) return S_OK;  // not connected: nothing to stream
  const HRESULT result = allocator_->Commit();
  if (FAILED(result)) return result;
  stop_ = false;
  thread_ = std::thread(&CapturePin::Stream, this);
  return S_OK;
}

void CapturePin::Stop() {
  stop_ = true;
  {
    std::lock_guard lock(mutex_);
    // Ends a GetBuffer that waits for a free sample.
    if (allocator_ != nullptr) allocator_->Decommit();
  }
  if (thread_.joinable()) thread_.join();
}

// Delivers a frame every 10 ms while the graph runs; each frame's first four
// bytes carry its number, its sample times follow the frame interval.
void CapturePin::Stream() {
  IMemAllocator* allocator = allocator_;
  IMemInputPin* input = input_;
  long length = format_.lSampleSize;
  bool lostReported = false;
  for (REFERENCE_TIME frame = 0; !stop_;) {
    if (CameraLog().unplugged && !lostReported && filter_.Graph() != nullptr) {
      // As a capture driver does: the graph queues the event for its
      // application (IMediaEvent::GetEvent).
      IMediaEventSink* sink = nullptr;
      if (SUCCEEDED(filter_.Graph()->QueryInterface(IID_IMediaEventSink,
                                                    reinterpret_cast<void**>(&sink)))) {
        sink->Notify(EC_DEVICE_LOST, 0, 0);
        sink->Release();
      }
      lostReported = true;
    }
    if (!running_ || CameraLog().silent || CameraLog().unplugged) {
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
      continue;
    }
    IMediaSample* sample = nullptr;
    if (FAILED(allocator->GetBuffer(&sample, nullptr, nullptr, 0))) break;
    BYTE* data = nullptr;
    sample->GetPointer(&data);
    const long size = std::min<long>(length, sample->GetSize());
    std::memset(data, 0x80, static_cast<std::size_t>(size));
    const std::int32_t number = static_cast<std::int32_t>(frame);
    std::memcpy(data, &number, std::min<long>(size, sizeof number));
    sample->SetActualDataLength(size);
    REFERENCE_TIME start = frame * kTestCameraInterval;
    REFERENCE_TIME end = start + kTestCameraInterval;
    sample->SetTime(&start, &end);
    sample->SetSyncPoint(TRUE);
    if (SUCCEEDED(input->Receive(sample))) ++CameraLog().framesSent;
    sample->Release();
    ++frame;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

HRESULT CreateTestCamera(REFIID iid, void** object) {
  return HandOut(NewTestCamera(), iid, object);
}

class ClassFactory final : public ComObject<IClassFactory> {
 public:
  explicit ClassFactory(HRESULT (*make)(REFIID, void**)) : make_(make) {}
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    return make_(iid, object);
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

 private:
  HRESULT (*make_)(REFIID, void**);
};

}  // namespace

IBaseFilter* NewTestCamera() { return new TestCameraFilter(); }

IClassFactory* NewClassFactory(HRESULT (*make)(REFIID iid, void** object)) {
  return new ClassFactory(make);
}

IEnumPins* NewPinEnum(IPin* pin) { return new PinEnum(pin, 0); }

TestCameraClass::TestCameraClass() {
  IClassFactory* factory = NewClassFactory(&CreateTestCamera);
  if (FAILED(CoRegisterClassObject(kTestCameraClsid, factory, CLSCTX_INPROC_SERVER,
                                   REGCLS_MULTIPLEUSE, &cookie_))) {
    cookie_ = 0;
  }
  factory->Release();
}

TestCameraClass::~TestCameraClass() {
  if (cookie_ != 0) CoRevokeClassObject(cookie_);
}

}  // namespace qel::test
