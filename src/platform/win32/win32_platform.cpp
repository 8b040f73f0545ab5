#include "platform/win32/win32_platform.h"

#include <windows.h>
#include <dshow.h>
#include <qedit.h>

#include <string>

#include "platform/win32/capture_objects.h"
#include "platform/win32/hid_services.h"

// The toolchain's qedit.h names the sample grabber's interfaces but not its
// class; libstrmiids defines the class identifier.
EXTERN_C const CLSID CLSID_SampleGrabber;

namespace qel::platform::win32 {

namespace {

template <class Interface>
HRESULT CreateInProc(REFCLSID clsid, REFIID iid, ComPtr<Interface>& object) {
  return CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, iid, object.PutVoid());
}

class Win32Platform final : public Platform {
 public:
  HResult CoInitializeEx() override {
    return static_cast<HResult>(::CoInitializeEx(nullptr, COINIT_MULTITHREADED));
  }
  void CoUninitialize() override { ::CoUninitialize(); }
  HResult IncrementMtaUsage(MtaUsageCookie& cookie) override {
    CO_MTA_USAGE_COOKIE held = nullptr;
    const HRESULT result = ::CoIncrementMTAUsage(&held);
    cookie = held;
    return static_cast<HResult>(result);
  }
  HResult DecrementMtaUsage(MtaUsageCookie cookie) override {
    return static_cast<HResult>(::CoDecrementMTAUsage(static_cast<CO_MTA_USAGE_COOKIE>(cookie)));
  }

  HResult CreateFilterGraph(std::unique_ptr<GraphBuilder>& graph) override {
    ComPtr<IGraphBuilder> object;
    const HRESULT result = CreateInProc(CLSID_FilterGraph, IID_IGraphBuilder, object);
    return Hand<Win32GraphBuilder>(result, object, graph);
  }

  HResult CreateSystemDeviceEnum(std::unique_ptr<CreateDevEnum>& devEnum) override {
    ComPtr<ICreateDevEnum> object;
    const HRESULT result = CreateInProc(CLSID_SystemDeviceEnum, IID_ICreateDevEnum, object);
    return Hand<Win32CreateDevEnum>(result, object, devEnum);
  }

  HResult CreateCaptureGraphBuilder(std::unique_ptr<CaptureGraphBuilder>& builder) override {
    ComPtr<ICaptureGraphBuilder2> object;
    const HRESULT result =
        CreateInProc(CLSID_CaptureGraphBuilder2, IID_ICaptureGraphBuilder2, object);
    return Hand<Win32CaptureGraphBuilder>(result, object, builder);
  }

  HResult CreateSampleGrabber(std::unique_ptr<BaseFilter>& grabber) override {
    ComPtr<IBaseFilter> object;
    const HRESULT result = CreateInProc(CLSID_SampleGrabber, IID_IBaseFilter, object);
    return Hand<Win32BaseFilter>(result, object, grabber);
  }

  std::string WideToAnsi(std::u16string_view wide) override {
    if (wide.empty()) return std::string();
    // The whole string, in the ANSI code page (no terminator: the length
    // is explicit, so the view need not be terminated).
    const auto* text = reinterpret_cast<const wchar_t*>(wide.data());
    const int length = static_cast<int>(wide.size());
    const int size = WideCharToMultiByte(CP_ACP, 0, text, length, nullptr, 0, nullptr, nullptr);
    if (size <= 0) return std::string();
    std::string ansi(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_ACP, 0, text, length, ansi.data(), size, nullptr, nullptr);
    return ansi;
  }

  std::unique_ptr<HidInterfaceSet> GetHidInterfaceSet() override { return OpenHidInterfaceSet(); }
  std::uint32_t GetParentDevInst(std::uint32_t devInst, std::uint32_t& parent) override {
    return win32::GetParentDevInst(devInst, parent);
  }
  std::uint32_t GetDeviceId(std::uint32_t devInst, char* buffer, std::uint32_t size) override {
    return win32::GetDeviceId(devInst, buffer, size);
  }
  std::unique_ptr<HidDevice> OpenHidDevice(const char* path, HidOpenMode mode) override {
    return win32::OpenHidDevice(path, mode);
  }

  std::uint32_t GetTickCount() override { return ::GetTickCount(); }
  void Sleep(std::uint32_t ms) override { ::Sleep(ms); }
  bool ClockIsReal() override { return true; }
};

}  // namespace

Platform& HardwarePlatform() {
  static Win32Platform platform;
  return platform;
}

}  // namespace qel::platform::win32
