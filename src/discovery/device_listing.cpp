#include "discovery/device_listing.h"

#include <cstring>
#include <string>
#include <string_view>

#include "core/ansi_text.h"
#include "core/camera_model.h"
#include "core/camera_table.h"
#include "core/com_scope.h"
#include "core/device_walk.h"
#include "core/exports.h"
#include "core/last_error.h"
#include "core/listing_size.h"
#include "discovery/hid_discovery.h"
#include "platform/platform.h"
#include "qel/qel.h"

namespace qel {

using platform::kOk;

namespace {

// The walk itself; the objects it obtains are released as its locals end.
std::int32_t FindDevice(std::int32_t position, char (&friendlyName)[kFriendlyNameSize],
                        char (*displayName)[kDisplayNameSize]) {
  platform::Platform& platform = platform::ActivePlatform();
  std::unique_ptr<platform::GraphBuilder> graph;
  if (platform.CreateFilterGraph(graph) != kOk || !graph) return kDiscoveryNoFilterGraph;
  PnpDeviceWalk walk;
  switch (walk.Begin()) {
    case PnpDeviceWalk::Start::kReady:
      break;
    case PnpDeviceWalk::Start::kNoDeviceEnumerator:
      return kDiscoveryNoDeviceEnumerator;
    case PnpDeviceWalk::Start::kNoVideoInputs:
      return kDiscoveryNoVideoInputs;
  }

  PnpDeviceWalk::Device device;
  for (;;) {
    const PnpDeviceWalk::Step step = walk.Next(device);
    if (displayName != nullptr && step != PnpDeviceWalk::Step::kNoDisplayName) {
      CopyAnsiText(walk.LastDisplayName(), *displayName, sizeof *displayName);
    }
    if (step == PnpDeviceWalk::Step::kNoDisplayName) return kDiscoveryNoDisplayName;
    if (step == PnpDeviceWalk::Step::kEnd) return kDiscoveryNoSuchDevice;

    // Every device passed on the way has its name read, as the walk goes.
    char name[kFriendlyNameSize] = {};
    std::unique_ptr<platform::PropertyBag> bag;
    std::u16string wideFriendly;
    if (device.moniker->BindToStorage(bag) == kOk && bag &&
        bag->Read(u"FriendlyName", wideFriendly) == kOk) {
      CopyAnsiText(wideFriendly, name, sizeof name);
    }
    if (device.position != position) continue;
    std::unique_ptr<platform::BaseFilter> filter;
    if (device.moniker->BindToObject(filter) != kOk || !filter ||
        graph->AddFilter(*filter, CaptureFilterName(device.turn)) != kOk) {
      return kDiscoveryAddFilterFailed;
    }
    std::memcpy(friendlyName, name, sizeof name);
    return kDeviceFound;
  }
}

// Appends text to the listing unless the listing would then be longer than
// size - 2 characters (one byte more in reserve than the terminator needs).
bool Append(std::string& listing, std::int32_t size, std::string_view text) {
  if (static_cast<std::int64_t>(listing.size() + text.size()) >=
      static_cast<std::int64_t>(size) - 1) {
    return false;
  }
  listing.append(text);
  return true;
}

}  // namespace

std::int32_t ListDevices(std::string& listing, std::int32_t size, bool withSerial,
                         std::int32_t* entriesListed, std::string* serialFailure) {
  listing.clear();
  std::int32_t count = 0;
  std::int32_t unused = 0;
  std::int32_t& listed = entriesListed != nullptr ? *entriesListed : unused;
  listed = 0;
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
    if (withSerial && IsFamilyCamera(ModelFromFriendlyName(entry))) {
      std::string why;
      if (ReadControlSerial(displayName, serial, &why)) {
        entry = (entry + "#" + serial).substr(0, kFriendlyNameSize - 1);
      } else if (serialFailure != nullptr && serialFailure->empty() && !why.empty()) {
        *serialFailure =
            "no serial for \"" + entry + "\" at position " + std::to_string(position) + ": " + why;
      }
    }
    if (position > 0 && !Append(listing, size, ",")) return -1;
    if (!Append(listing, size, entry)) return -1;
    listed = ++count;
  }
  ListBufferSize().store(size);
  return count;
}

std::int32_t EnumerateVideoDevice(std::int32_t position, char (&friendlyName)[kFriendlyNameSize],
                                  char (*displayName)[kDisplayNameSize]) {
  ComForCall com;
  return FindDevice(position, friendlyName, displayName);
}

}  // namespace qel

namespace {

// The caller's buffer gets what the listing holds, which is never longer
// than size - 2 characters.
std::int32_t ListInto(char* list, std::int32_t size, bool withSerial) {
  if (list == nullptr) return (qel::Fail(qel::ErrorCode::kBadArgument, "list is NULL"), -1);
  std::string listing;
  std::int32_t listed = 0;
  std::string serialFailure;
  const std::int32_t count = qel::ListDevices(listing, size, withSerial, &listed, &serialFailure);
  if (size > 0) std::memcpy(list, listing.c_str(), listing.size() + 1);
  if (count >= 0) {
    // The listing succeeds; a camera it could not give a serial is told of
    // as the last error (the export keeps it), every other recovered step
    // is forgotten.
    if (serialFailure.empty()) {
      qel::ClearFailure();
    } else {
      qel::Refail(qel::ErrorCode::kPlatform, "%s", serialFailure.c_str());
    }
  } else {
    // The listing's own steps tolerate failures (a serial that cannot be
    // read leaves it out), so this reason replaces any of theirs.
    qel::Refail(qel::ErrorCode::kBufferTooSmall,
                "the list does not fit %d bytes; %d device names fitted", static_cast<int>(size),
                static_cast<int>(listed));
  }
  return count;
}

}  // namespace

int32_t qel::exports::QelGetDevice(char* list, int32_t size) { return ListInto(list, size, false); }

int32_t qel::exports::QelGetDeviceWithSerialNo(char* list, int32_t size) {
  return ListInto(list, size, true);
}
