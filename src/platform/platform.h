// The seam between the library core and the platform.
//
// Every platform operation the library uses is named here, one virtual call
// per operation, with the results the platform gives (HResult values exactly,
// configuration-manager codes, truth values of SetupAPI and HID calls, an
// empty pointer for an invalid handle). The core interprets every result;
// a backend only forwards calls, so no library logic exists twice.
//
// Ownership: every object a call hands out is returned in a unique_ptr and
// holds one reference to the platform object; destroying it is the Release.
// Objects passed by reference are borrowed for the duration of the call.
// A backend keeps the underlying object alive as long as the platform would
// (for example a filter added to a graph lives as long as the graph).
//
// Thread safety: the Platform object and every object it hands out may be
// used from any thread, one call at a time per object; the sample grabber
// calls the library's callback on a streaming thread of its own.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/guid.h"
#include "platform/hresult.h"
#include "platform/media_type.h"

namespace qel::platform {

// ---- capture framework --------------------------------------------------

// IPropertyBag of a device moniker.
class PropertyBag {
 public:
  virtual ~PropertyBag() = default;
  // Read(name, VT_BSTR variant): the device's "FriendlyName" and the like.
  virtual HResult Read(std::u16string_view name, std::u16string& value) = 0;
};

class BaseFilter;

// IMoniker of one video-input device.
class Moniker {
 public:
  virtual ~Moniker() = default;
  // GetDisplayName(no bind context, no left moniker).
  virtual HResult GetDisplayName(std::u16string& name) = 0;
  // BindToStorage(IID_IPropertyBag).
  virtual HResult BindToStorage(std::unique_ptr<PropertyBag>& bag) = 0;
  // BindToObject(IID_IBaseFilter).
  virtual HResult BindToObject(std::unique_ptr<BaseFilter>& filter) = 0;
};

// IEnumMoniker.
class EnumMoniker {
 public:
  virtual ~EnumMoniker() = default;
  // Next(1): S_OK with one moniker, S_FALSE when none remain.
  virtual HResult Next(std::unique_ptr<Moniker>& moniker) = 0;
};

// ICreateDevEnum (the system device enumerator).
class CreateDevEnum {
 public:
  virtual ~CreateDevEnum() = default;
  // CreateClassEnumerator(CLSID_VideoInputDeviceCategory, flags 0):
  // S_OK with an enumerator, S_FALSE and none for an empty category.
  virtual HResult CreateVideoInputEnumerator(std::unique_ptr<EnumMoniker>& monikers) = 0;
};

enum class PinDirection { kInput = 0, kOutput = 1 };

// IPin.
class Pin {
 public:
  virtual ~Pin() = default;
  virtual HResult QueryDirection(PinDirection& direction) = 0;
};

// IEnumPins.
class EnumPins {
 public:
  virtual ~EnumPins() = default;
  // Next(1): S_OK with one pin, S_FALSE when none remain.
  virtual HResult Next(std::unique_ptr<Pin>& pin) = 0;
};

// IAMStreamConfig of a capture pin.
class StreamConfig {
 public:
  virtual ~StreamConfig() = default;
  virtual HResult GetFormat(std::unique_ptr<MediaType>& type) = 0;
  virtual HResult SetFormat(const MediaType& type) = 0;
  virtual HResult GetNumberOfCapabilities(int& count, int& capsSize) = 0;
  // GetStreamCaps(index): the media type, and the capability record written
  // to caps, which holds the capsSize bytes GetNumberOfCapabilities gave.
  virtual HResult GetStreamCaps(int index, std::unique_ptr<MediaType>& type, void* caps) = 0;
};

// IAMVideoProcAmp and IAMCameraControl: the same three calls, on properties
// numbered 0..9 and 0..6 respectively.
class VideoPropertySet {
 public:
  virtual ~VideoPropertySet() = default;
  virtual HResult GetRange(long property, long& min, long& max, long& step, long& defaultValue,
                           long& capsFlags) = 0;
  virtual HResult Get(long property, long& value, long& flags) = 0;
  virtual HResult Set(long property, long value, long flags) = 0;
};

// ISampleGrabberCB, implemented by the library. The sample grabber calls it
// on the streaming thread.
class SampleGrabberCallback {
 public:
  virtual ~SampleGrabberCallback() = default;
  virtual HResult QueryInterface(const Guid& iid, void** object) = 0;
  virtual unsigned long AddRef() = 0;
  virtual unsigned long Release() = 0;
  virtual HResult SampleCB(double sampleTime, void* sample) = 0;
  virtual HResult BufferCB(double sampleTime, std::uint8_t* buffer, long length) = 0;
};

// ISampleGrabber.
class SampleGrabber {
 public:
  virtual ~SampleGrabber() = default;
  virtual HResult SetMediaType(const MediaType& type) = 0;
  virtual HResult SetBufferSamples(bool buffer) = 0;
  virtual HResult SetOneShot(bool oneShot) = 0;
  // SetCallback(callback, method selector): 0 SampleCB, 1 BufferCB. The
  // backend shares the callback, and keeps whatever the platform's grabber
  // calls alive, until SetCallback replaces it or clears it (null). A
  // grabber may count no references and may call the callback as long as it
  // holds it, so its user stops the graph, then clears the callback, then
  // releases the grabber.
  virtual HResult SetCallback(std::shared_ptr<SampleGrabberCallback> callback,
                              long whichMethod) = 0;
};

// IBaseFilter, with the QueryInterface calls the library makes on filters.
class BaseFilter {
 public:
  virtual ~BaseFilter() = default;
  virtual HResult EnumPins(std::unique_ptr<platform::EnumPins>& pins) = 0;
  virtual HResult QueryVideoProcAmp(std::unique_ptr<VideoPropertySet>& amp) = 0;
  virtual HResult QueryCameraControl(std::unique_ptr<VideoPropertySet>& control) = 0;
  virtual HResult QuerySampleGrabber(std::unique_ptr<SampleGrabber>& grabber) = 0;
};

// IMediaControl.
class MediaControl {
 public:
  virtual ~MediaControl() = default;
  virtual HResult Run() = 0;
  virtual HResult Stop() = 0;
};

// IMediaEvent.
class MediaEvent {
 public:
  virtual ~MediaEvent() = default;
  // E_ABORT when the time-out passes while the graph runs.
  virtual HResult WaitForCompletion(long timeoutMs, long& eventCode) = 0;
  // The next event of the graph's queue (its parameters already freed);
  // E_ABORT when none arrives within timeoutMs.
  virtual HResult GetEvent(long& eventCode, long timeoutMs) = 0;
};

// EC_DEVICE_LOST: a capture device of the graph was removed (or came back).
inline constexpr long kEventDeviceLost = 0x1F;

// IGraphBuilder (the filter graph), with its QueryInterface calls.
class GraphBuilder {
 public:
  virtual ~GraphBuilder() = default;
  virtual HResult AddFilter(BaseFilter& filter, std::u16string_view name) = 0;
  virtual HResult Connect(Pin& output, Pin& input) = 0;
  virtual HResult QueryMediaEvent(std::unique_ptr<MediaEvent>& events) = 0;
  virtual HResult QueryMediaControl(std::unique_ptr<MediaControl>& control) = 0;
};

// ICaptureGraphBuilder2.
class CaptureGraphBuilder {
 public:
  virtual ~CaptureGraphBuilder() = default;
  virtual HResult SetFiltergraph(GraphBuilder& graph) = 0;
  // FindInterface(PIN_CATEGORY_CAPTURE, MEDIATYPE_Video, filter, IID_IAMStreamConfig).
  virtual HResult FindCaptureStreamConfig(BaseFilter& filter,
                                          std::unique_ptr<StreamConfig>& config) = 0;
};

// ---- HID services -------------------------------------------------------

// HIDP_CAPS, the fields the library reads.
struct HidCaps {
  std::uint16_t usage = 0;
  std::uint16_t usagePage = 0;
  std::uint16_t inputReportByteLength = 0;
  std::uint16_t outputReportByteLength = 0;
  std::uint16_t featureReportByteLength = 0;
};

// An open HID device handle; destroying it is CloseHandle.
class HidDevice {
 public:
  virtual ~HidDevice() = default;
  // HidD_GetPreparsedData followed by HidP_GetCaps; false when either fails.
  virtual bool GetCaps(HidCaps& caps) = 0;
  // HidD_GetSerialNumberString into a buffer of bufferBytes bytes (UTF-16).
  virtual bool GetSerialNumberString(char16_t* buffer, std::uint32_t bufferBytes) = 0;
  // WriteFile of one output report, waiting at most timeoutMs for the device
  // to take it. False when it was not taken in time or the write failed.
  virtual bool Write(const std::uint8_t* report, std::uint32_t length, std::uint32_t timeoutMs) = 0;
  // ReadFile of one input report, waiting at most timeoutMs for it to arrive.
  // False when no report arrived in time or the read failed.
  virtual bool Read(std::uint8_t* report, std::uint32_t length, std::uint32_t timeoutMs) = 0;
  // After a Write or Read that returned false: true when it failed because
  // the device is no longer attached (unplugged), so that no later transfer
  // can succeed either.
  virtual bool DeviceGone() = 0;
};

// How a HID device path is opened: for the command channel (read and write
// access, synchronous I/O, a non-inheritable handle) or only to read its
// capabilities and serial string (no access rights, overlapped).
enum class HidOpenMode { kCommandChannel, kSerialQuery };

// The device information set of present HID interfaces (SetupDiGetClassDevsA
// on the HID class GUID with DIGCF_PRESENT | DIGCF_DEVICEINTERFACE).
class HidInterfaceSet {
 public:
  virtual ~HidInterfaceSet() = default;
  // SetupDiEnumDeviceInfo(member): false past the end.
  virtual bool EnumDeviceInfo(std::uint32_t member, std::uint32_t& devInst) = 0;
  // SetupDiEnumDeviceInterfaces(no filter, HID GUID, member).
  virtual bool EnumDeviceInterface(std::uint32_t member) = 0;
  // SetupDiGetDeviceInterfaceDetailA without a buffer: the size the detail
  // record needs, or 0 when the platform does not say.
  virtual std::uint32_t DeviceInterfaceDetailSize(std::uint32_t member) = 0;
  // SetupDiGetDeviceInterfaceDetailA into a record of recordSize bytes; the
  // device path is written as zero-terminated text into path (pathSize bytes).
  virtual bool GetDeviceInterfacePath(std::uint32_t member, std::uint32_t recordSize, char* path,
                                      std::uint32_t pathSize) = 0;
};

// ---- the platform -------------------------------------------------------

// A CO_MTA_USAGE_COOKIE: one hold on the multithreaded apartment.
using MtaUsageCookie = void*;

class Platform {
 public:
  virtual ~Platform() = default;

  // COM. CoInitializeEx and CoUninitialize count per thread: each successful
  // initialisation (S_OK or S_FALSE) is undone on the thread that made it.
  virtual HResult CoInitializeEx() = 0;  // no reserved pointer, COINIT_MULTITHREADED
  virtual void CoUninitialize() = 0;
  // CoIncrementMTAUsage: the multithreaded apartment lives, whatever thread
  // joins or leaves it, until the matching CoDecrementMTAUsage, which any
  // thread may make.
  virtual HResult IncrementMtaUsage(MtaUsageCookie& cookie) = 0;
  virtual HResult DecrementMtaUsage(MtaUsageCookie cookie) = 0;
  virtual HResult CreateFilterGraph(std::unique_ptr<GraphBuilder>& graph) = 0;
  virtual HResult CreateSystemDeviceEnum(std::unique_ptr<CreateDevEnum>& devEnum) = 0;
  virtual HResult CreateCaptureGraphBuilder(std::unique_ptr<CaptureGraphBuilder>& builder) = 0;
  virtual HResult CreateSampleGrabber(std::unique_ptr<BaseFilter>& grabber) = 0;
  // WideCharToMultiByte(CP_ACP, 0, whole string): the text in the ANSI code page.
  virtual std::string WideToAnsi(std::u16string_view wide) = 0;

  // Device setup and HID services.
  // SetupDiGetClassDevsA for the HID class (HidD_GetHidGuid); empty on failure.
  virtual std::unique_ptr<HidInterfaceSet> GetHidInterfaceSet() = 0;
  // CM_Get_Parent(devInst, 0): a CR_* code, kCrSuccess on success.
  virtual std::uint32_t GetParentDevInst(std::uint32_t devInst, std::uint32_t& parent) = 0;
  // CM_Get_Device_IDA(devInst, buffer, size, 0): a CR_* code.
  virtual std::uint32_t GetDeviceId(std::uint32_t devInst, char* buffer, std::uint32_t size) = 0;
  // CreateFileA(path, the mode's access, share read|write, OPEN_EXISTING, the
  // mode's attributes); empty for INVALID_HANDLE_VALUE.
  virtual std::unique_ptr<HidDevice> OpenHidDevice(const char* path, HidOpenMode mode) = 0;
  // Why the calling thread's last OpenHidDevice gave no device, when the
  // backend can tell more than the failure itself (a permission refused, and
  // what grants it); empty otherwise. Reading it forgets it.
  virtual std::string TakeHidOpenFailure() { return std::string(); }

  // Time.
  virtual std::uint32_t GetTickCount() = 0;  // milliseconds, wrapping
  virtual void Sleep(std::uint32_t ms) = 0;
  // False when time passes only as the library reads or sleeps on it (the
  // rig's virtual clock): a wait must then sleep through Sleep() rather than
  // on a condition variable, so that the clock moves and frames come.
  virtual bool ClockIsReal() = 0;
};

// The platform the library runs on: the hardware backend where one is built
// (QEL_HAS_HARDWARE_BACKEND), else the virtual camera rig.
Platform& ActivePlatform();

// Chooses the virtual rig (true) or the hardware backend (false) where a
// hardware backend is built (qelsim_enable); no effect elsewhere. Until the
// first choice, QEL_PLATFORM=rig in the environment chooses the rig.
void UseVirtualRig(bool on);

// Whether ActivePlatform() is the rig (qelsim_enabled).
bool VirtualRigActive();

// Whether the environment chooses the rig: QEL_PLATFORM=rig.
bool EnvironmentChoosesRig();

}  // namespace qel::platform
