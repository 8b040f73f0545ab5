#include "platform/virtual/virtual_platform.h"

#include "platform/virtual/capture_filter.h"
#include "platform/virtual/clock.h"
#include "platform/virtual/com.h"
#include "platform/virtual/device_enum.h"
#include "platform/virtual/filter_graph.h"
#include "platform/virtual/hid_devices.h"
#include "platform/virtual/rig.h"
#include "platform/virtual/rig_codes.h"
#include "platform/virtual/text.h"

namespace qel::sim {

using platform::HResult;

namespace {

// CoCreateInstance: needs COM, and may be made to fail.
template <typename T, typename Make>
HResult Create(const char* operation, std::unique_ptr<T>& out, Make make) {
  if (!ComAvailable()) return kCoNotInitialized;
  if (Rig::Instance().Fault(operation, -1)) return platform::kFail;
  out = make();
  return platform::kOk;
}

}  // namespace

HResult VirtualPlatform::CoInitializeEx() { return ComInitialize(); }

void VirtualPlatform::CoUninitialize() { ComUninitialize(); }

HResult VirtualPlatform::IncrementMtaUsage(platform::MtaUsageCookie& cookie) {
  return IncrementMta(cookie);
}

HResult VirtualPlatform::DecrementMtaUsage(platform::MtaUsageCookie cookie) {
  return DecrementMta(cookie);
}

HResult VirtualPlatform::CreateFilterGraph(std::unique_ptr<platform::GraphBuilder>& graph) {
  return Create("CreateFilterGraph", graph, MakeFilterGraph);
}

HResult VirtualPlatform::CreateSystemDeviceEnum(std::unique_ptr<platform::CreateDevEnum>& devEnum) {
  return Create("CreateSystemDeviceEnum", devEnum, MakeSystemDeviceEnum);
}

HResult VirtualPlatform::CreateCaptureGraphBuilder(
    std::unique_ptr<platform::CaptureGraphBuilder>& builder) {
  return Create("CreateCaptureGraphBuilder", builder, MakeCaptureGraphBuilder);
}

HResult VirtualPlatform::CreateSampleGrabber(std::unique_ptr<platform::BaseFilter>& grabber) {
  return Create("CreateSampleGrabber", grabber, MakeSampleGrabber);
}

std::string VirtualPlatform::WideToAnsi(std::u16string_view wide) { return sim::WideToAnsi(wide); }

std::unique_ptr<platform::HidInterfaceSet> VirtualPlatform::GetHidInterfaceSet() {
  return MakeHidInterfaceSet();
}

std::uint32_t VirtualPlatform::GetParentDevInst(std::uint32_t devInst, std::uint32_t& parent) {
  return sim::GetParentDevInst(devInst, parent);
}

std::uint32_t VirtualPlatform::GetDeviceId(std::uint32_t devInst, char* buffer,
                                           std::uint32_t size) {
  return sim::GetDeviceId(devInst, buffer, size);
}

std::unique_ptr<platform::HidDevice> VirtualPlatform::OpenHidDevice(const char* path,
                                                                    platform::HidOpenMode mode) {
  return sim::OpenHidDevice(path, mode);
}

std::uint32_t VirtualPlatform::GetTickCount() { return ReadTickCount(); }

void VirtualPlatform::Sleep(std::uint32_t ms) { AdvanceClock(ms); }

bool VirtualPlatform::ClockIsReal() { return !ClockIsVirtual(); }

VirtualPlatform& TheVirtualPlatform() {
  static VirtualPlatform* platform = new VirtualPlatform;
  return *platform;
}

}  // namespace qel::sim
