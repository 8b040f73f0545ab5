#include "platform/linux/linux_platform.h"

#include <string>

#include "platform/linux/hid_shim.h"
#include "platform/linux/sys_api.h"
#include "platform/linux/utf_text.h"
#include "platform/linux/video_enum.h"
#include "platform/linux/video_graph.h"

namespace qel::platform::linux_hw {

namespace {

class LinuxPlatform final : public Platform {
 public:
  // There is no COM: the core's bookkeeping of apartments has nothing to do.
  HResult CoInitializeEx() override { return kOk; }
  void CoUninitialize() override {}
  HResult IncrementMtaUsage(MtaUsageCookie& cookie) override {
    cookie = nullptr;
    return kOk;
  }
  HResult DecrementMtaUsage(MtaUsageCookie) override { return kOk; }

  HResult CreateFilterGraph(std::unique_ptr<GraphBuilder>& graph) override {
    graph = MakeFilterGraph();
    return kOk;
  }
  HResult CreateSystemDeviceEnum(std::unique_ptr<CreateDevEnum>& devEnum) override {
    devEnum = MakeVideoDevEnum();
    return kOk;
  }
  HResult CreateCaptureGraphBuilder(std::unique_ptr<CaptureGraphBuilder>& builder) override {
    builder = MakeCaptureGraphBuilder();
    return kOk;
  }
  HResult CreateSampleGrabber(std::unique_ptr<BaseFilter>& grabber) override {
    grabber = MakeSampleGrabber();
    return kOk;
  }

  // The system's text is UTF-8.
  std::string WideToAnsi(std::u16string_view wide) override { return Utf16ToUtf8(wide); }

  std::unique_ptr<HidInterfaceSet> GetHidInterfaceSet() override { return OpenHidInterfaceSet(); }
  std::uint32_t GetParentDevInst(std::uint32_t devInst, std::uint32_t& parent) override {
    return linux_hw::GetParentDevInst(devInst, parent);
  }
  std::uint32_t GetDeviceId(std::uint32_t devInst, char* buffer, std::uint32_t size) override {
    return linux_hw::GetDeviceId(devInst, buffer, size);
  }
  std::unique_ptr<HidDevice> OpenHidDevice(const char* path, HidOpenMode mode) override {
    return linux_hw::OpenHidDevice(path, mode);
  }
  std::string TakeHidOpenFailure() override { return linux_hw::TakeHidOpenFailure(); }

  // Milliseconds of the monotonic clock, wrapping at 32 bits like the tick
  // count the core expects.
  std::uint32_t GetTickCount() override {
    return static_cast<std::uint32_t>(Sys().monotonicNs() / 1'000'000u);
  }
  void Sleep(std::uint32_t ms) override { Sys().sleepMs(ms); }
  // A test's clock moves only as the backend reads or sleeps on it.
  bool ClockIsReal() override { return Sys().monotonicNs == SystemSysApi().monotonicNs; }
};

}  // namespace

Platform& HardwarePlatform() {
  static LinuxPlatform platform;
  return platform;
}

}  // namespace qel::platform::linux_hw
