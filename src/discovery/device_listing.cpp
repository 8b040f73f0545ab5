#include "discovery/device_listing.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "api/camera_model.h"
#include "api/camera_table.h"
#include "capture/com_scope.h"
#include "discovery/hid_discovery.h"
#include "platform/platform.h"
#include "qel/qel.h"

namespace qel {

using platform::kOk;

namespace {

constexpr std::u16string_view kPnpMarker = u"@device:pnp";

template <std::size_t N>
void CopyText(char (&destination)[N], const std::string& text) {
  std::snprintf(destination, N, "%s", text.c_str());
}

// The walk itself; the objects it obtains are released as its locals end.
std::int32_t FindDevice(std::int32_t position, char (&friendlyName)[kFriendlyNameSize],
                        char (*displayName)[kDisplayNameSize]) {
  platform::Platform& platform = platform::ActivePlatform();
  std::unique_ptr<platform::GraphBuilder> graph;
  if (platform.CreateFilterGraph(graph) != kOk || !graph) return kDiscoveryNoFilterGraph;
  std::unique_ptr<platform::CreateDevEnum> deviceEnum;
  if (platform.CreateSystemDeviceEnum(deviceEnum) != kOk || !deviceEnum) {
    return kDiscoveryNoDeviceEnumerator;
  }
  std::unique_ptr<platform::EnumMoniker> monikers;
  if (deviceEnum->CreateVideoInputEnumerator(monikers) != kOk || !monikers) {
    return kDiscoveryNoVideoInputs;
  }

  std::int32_t pnpPosition = 0;
  for (int seen = 0;; ++seen) {
    std::unique_ptr<platform::Moniker> moniker;
    if (monikers->Next(moniker) != kOk || !moniker) return kDiscoveryNoSuchDevice;
    std::u16string wideName;
    if (moniker->GetDisplayName(wideName) != kOk) return kDiscoveryNoDisplayName;
    if (displayName != nullptr) CopyText(*displayName, platform.WideToAnsi(wideName));
    if (wideName.find(kPnpMarker) == std::u16string::npos) continue;

    char name[kFriendlyNameSize] = {};
    std::unique_ptr<platform::PropertyBag> bag;
    std::u16string wideFriendly;
    if (moniker->BindToStorage(bag) == kOk && bag &&
        bag->Read(u"FriendlyName", wideFriendly) == kOk) {
      CopyText(name, platform.WideToAnsi(wideFriendly));
    }
    if (pnpPosition == position) {
      std::unique_ptr<platform::BaseFilter> filter;
      char filterName[33];
      std::snprintf(filterName, sizeof filterName, "Video Capture %d", seen);
      const std::u16string wideFilterName(filterName, filterName + std::strlen(filterName));
      if (moniker->BindToObject(filter) != kOk || !filter ||
          graph->AddFilter(*filter, wideFilterName) != kOk) {
        return kDiscoveryAddFilterFailed;
      }
      std::memcpy(friendlyName, name, sizeof name);
      return kDeviceFound;
    }
    ++pnpPosition;
  }
}

// Appends text to the listing unless the listing would then be longer than
// size - 2 characters (one byte more in reserve than the terminator needs).
bool Append(char* list, std::int32_t size, std::size_t& length, std::string_view text) {
  if (static_cast<std::int64_t>(length + text.size()) >= static_cast<std::int64_t>(size) - 1) {
    return false;
  }
  std::memcpy(list + length, text.data(), text.size());
  length += text.size();
  list[length] = '\0';
  return true;
}

std::int32_t ListDevices(char* list, std::int32_t size, bool withSerial) {
  if (list == nullptr) return -1;
  if (size > 0) list[0] = '\0';
  std::size_t length = 0;
  std::int32_t count = 0;
  for (std::int32_t position = 0;; ++position) {
    char name[kFriendlyNameSize] = {};
    char displayName[kDisplayNameSize] = {};
    if (EnumerateVideoDevice(position, name, withSerial ? &displayName : nullptr) != kDeviceFound) {
      break;
    }
    std::string entry(name);
    for (char& c : entry) {
      if (c == ',') c = '-';
    }
    char serial[9] = {};
    if (withSerial && ModelFromFriendlyName(entry) != kModelNone &&
        ReadControlSerial(displayName, serial)) {
      entry = (entry + "#" + serial).substr(0, kFriendlyNameSize - 1);
    }
    if (position > 0 && !Append(list, size, length, ",")) return -1;
    if (!Append(list, size, length, entry)) return -1;
    ++count;
  }
  ListBufferSize().store(size);
  return count;
}

}  // namespace

std::int32_t EnumerateVideoDevice(std::int32_t position, char (&friendlyName)[kFriendlyNameSize],
                                  char (*displayName)[kDisplayNameSize]) {
  ComForCall com;
  return FindDevice(position, friendlyName, displayName);
}

}  // namespace qel

extern "C" QEL_API int32_t QEL_CALL QelGetDevice(char* list, int32_t size) {
  return qel::ListDevices(list, size, false);
}

extern "C" QEL_API int32_t QEL_CALL QelGetDeviceWithSerialNo(char* list, int32_t size) {
  return qel::ListDevices(list, size, true);
}
