#include "discovery/hid_discovery.h"

#include <cctype>
#include <cstring>
#include <functional>
#include <new>

#include "capture/capture.h"
#include "core/last_error.h"
#include "hid/command_report.h"
#include "hid/hid_channel.h"
#include "platform/platform.h"

namespace qel {

using platform::HidDevice;
using platform::HidOpenMode;

namespace {

constexpr std::uint32_t kInstanceIdSize = 200;
constexpr std::uint32_t kSerialStringBytes = 128;
constexpr std::uint32_t kDetailRecordHeaderSize = 5;  // the detail record's size field value
constexpr std::size_t kSerialTextLength = 8;

enum class WalkResult { kFound, kExhausted, kFatal };

struct Candidate {
  std::unique_ptr<HidDevice> device;
  platform::HidCaps caps;
  std::string openFailure;  // why a paired interface could not be opened, if the platform says
};

// The walk shared by both operations. displayName is asked for anew at each
// paired candidate; returning none ends the walk with failure (the capture
// that names the device has stopped). accept, when given, runs on an open and
// described candidate and may reject it.
WalkResult WalkHidInterfaces(HidOpenMode mode, const std::function<bool(std::string&)>& displayName,
                             const std::function<bool(HidDevice&)>& accept, Candidate& found) {
  platform::Platform& platform = platform::ActivePlatform();
  std::unique_ptr<platform::HidInterfaceSet> set = platform.GetHidInterfaceSet();
  if (!set) return WalkResult::kFatal;

  for (std::uint32_t member = 0;; ++member) {
    std::uint32_t devInst = 0;
    if (!set->EnumDeviceInfo(member, devInst)) return WalkResult::kExhausted;

    std::uint32_t parent = 0;
    char parentId[kInstanceIdSize] = {};
    if (platform.GetParentDevInst(devInst, parent) != platform::kCrSuccess ||
        platform.GetDeviceId(parent, parentId, kInstanceIdSize) != platform::kCrSuccess) {
      continue;
    }
    parentId[kInstanceIdSize - 1] = '\0';
    const std::optional<std::string> prefix = InstancePrefix(parentId);
    if (!prefix) continue;

    std::string name;
    if (!displayName(name)) return WalkResult::kFatal;
    if (name.find(*prefix) == std::string::npos) continue;

    if (!set->EnumDeviceInterface(member)) return WalkResult::kFatal;
    const std::uint32_t recordSize = set->DeviceInterfaceDetailSize(member);
    std::unique_ptr<char[]> path(new (std::nothrow) char[recordSize + 1]);
    if (!path) return WalkResult::kFatal;
    std::memset(path.get(), 0, recordSize + 1);
    if (recordSize < kDetailRecordHeaderSize ||
        !set->GetDeviceInterfacePath(member, recordSize, path.get(), recordSize + 1)) {
      continue;
    }

    std::unique_ptr<HidDevice> device = platform.OpenHidDevice(path.get(), mode);
    path.reset();
    if (!device) {
      // The paired interface cannot be opened; a reason the platform gives
      // (no permission) explains a camera that lists without its serial.
      std::string why = platform.TakeHidOpenFailure();
      if (!why.empty()) {
        Fail(ErrorCode::kPlatform, "%s", why.c_str());
        if (found.openFailure.empty()) found.openFailure = std::move(why);
      }
      continue;
    }
    platform::HidCaps caps;
    if (!device->GetCaps(caps)) continue;  // the handle closes with device
    // Another collection of the same device (a snapshot button's consumer
    // control, say) pairs too, but its reports cannot carry a command.
    if (caps.inputReportByteLength < kReportLength || caps.outputReportByteLength < kReportLength) {
      continue;
    }
    if (accept && !accept(*device)) continue;
    found.device = std::move(device);
    found.caps = caps;
    return WalkResult::kFound;
  }
}

}  // namespace

std::optional<std::string> InstancePrefix(std::string_view parentInstanceId) {
  std::string lowered(parentInstanceId);
  for (char& c : lowered) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  const std::size_t backslash = lowered.rfind('\\');
  if (backslash == std::string::npos) return std::nullopt;
  std::string tail = lowered.substr(backslash + 1);
  const std::size_t first = tail.find('&');
  if (first == std::string::npos) return std::nullopt;
  const std::size_t second = tail.find('&', first + 1);
  if (second == std::string::npos) return std::nullopt;
  return tail.substr(0, second);
}

std::shared_ptr<HidChannel> OpenControlInterface(std::int32_t captureIndex) {
  const auto displayName = [captureIndex](std::string& name) {
    std::optional<std::string> path = RunningDevicePath(captureIndex);
    if (!path) return false;
    name = std::move(*path);
    return true;
  };
  Candidate found;
  if (WalkHidInterfaces(HidOpenMode::kCommandChannel, displayName, nullptr, found) !=
      WalkResult::kFound) {
    return nullptr;
  }
  return std::make_shared<HidChannel>(std::move(found.device), found.caps);
}

bool ReadControlSerial(const char* displayName, char (&serial)[9], std::string* openFailure) {
  if (displayName == nullptr) return false;
  const std::string name(displayName);
  char16_t text[kSerialStringBytes / sizeof(char16_t)] = {};
  const auto getName = [&name](std::string& out) {
    out = name;
    return true;
  };
  const auto readSerial = [&text](HidDevice& device) {
    std::memset(text, 0, sizeof text);
    return device.GetSerialNumberString(text, kSerialStringBytes);
  };
  Candidate found;
  if (WalkHidInterfaces(HidOpenMode::kSerialQuery, getName, readSerial, found) !=
      WalkResult::kFound) {
    if (openFailure != nullptr) *openFailure = std::move(found.openFailure);
    return false;
  }
  // The first 8 UTF-16 code units, each narrowed to its low byte.
  std::size_t length = 0;
  while (length < kSerialTextLength && text[length] != u'\0') {
    serial[length] = static_cast<char>(text[length] & 0xFF);
    ++length;
  }
  serial[length] = '\0';
  return true;
}

}  // namespace qel
