// The virtual camera rig as the library's platform.
#pragma once

#include "platform/platform.h"

namespace qel::sim {

class VirtualPlatform : public platform::Platform {
 public:
  platform::HResult CoInitializeEx() override;
  void CoUninitialize() override;
  platform::HResult IncrementMtaUsage(platform::MtaUsageCookie& cookie) override;
  platform::HResult DecrementMtaUsage(platform::MtaUsageCookie cookie) override;
  platform::HResult CreateFilterGraph(std::unique_ptr<platform::GraphBuilder>& graph) override;
  platform::HResult CreateSystemDeviceEnum(
      std::unique_ptr<platform::CreateDevEnum>& devEnum) override;
  platform::HResult CreateCaptureGraphBuilder(
      std::unique_ptr<platform::CaptureGraphBuilder>& builder) override;
  platform::HResult CreateSampleGrabber(std::unique_ptr<platform::BaseFilter>& grabber) override;
  std::string WideToAnsi(std::u16string_view wide) override;

  std::unique_ptr<platform::HidInterfaceSet> GetHidInterfaceSet() override;
  std::uint32_t GetParentDevInst(std::uint32_t devInst, std::uint32_t& parent) override;
  std::uint32_t GetDeviceId(std::uint32_t devInst, char* buffer, std::uint32_t size) override;
  std::unique_ptr<platform::HidDevice> OpenHidDevice(const char* path,
                                                     platform::HidOpenMode mode) override;

  std::uint32_t GetTickCount() override;
  void Sleep(std::uint32_t ms) override;
  bool ClockIsReal() override;
};

// The one instance.
VirtualPlatform& TheVirtualPlatform();

}  // namespace qel::sim
