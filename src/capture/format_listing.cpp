// QelGetFormat and QelGetFormatList: the capture formats a device offers,
// before or after the device is opened; QelGetFormat lists the first ten as
// "n,width,height,fps,name," runs, QelGetFormatList every one as records.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "capture/media_format.h"
#include "core/com_scope.h"
#include "core/device_walk.h"
#include "core/exports.h"
#include "core/last_error.h"
#include "platform/platform.h"
#include "qel/qel.h"

namespace qel {
namespace {

using platform::kOk;

// QelGetFormat's limits: it reaches only the devices among the first ten
// the platform enumerates, and lists ten formats.
constexpr int kDevicesExamined = 10;
constexpr std::size_t kTextEntries = 10;

struct FormatEntry {
  std::int32_t width = 0;
  std::int32_t height = 0;
  double frameRate = 0.0;
  std::int64_t frameInterval = 0;  // 100 ns units
  char name[80] = {};
};

// Finds the device and reads its listable capabilities; false when the
// device or its stream configuration cannot be reached. turnLimit bounds the
// devices enumerated on the way (PnpDeviceWalk). Every object is released as
// the locals end.
bool ReadFormats(std::int32_t deviceIndex, int turnLimit, std::size_t maxEntries,
                 std::vector<FormatEntry>& entries) {
  platform::Platform& platform = platform::ActivePlatform();
  std::unique_ptr<platform::GraphBuilder> graph;
  if (platform.CreateFilterGraph(graph) != kOk || !graph) {
    return Fail(ErrorCode::kPlatform, "the filter graph could not be created");
  }

  // The bound filter stays in the graph.
  std::unique_ptr<platform::BaseFilter> filter;
  PnpDeviceWalk walk(turnLimit);
  if (walk.Begin() != PnpDeviceWalk::Start::kReady) {
    return Fail(ErrorCode::kNoDevice, "no video devices could be enumerated");
  }
  PnpDeviceWalk::Device device;
  for (;;) {
    const PnpDeviceWalk::Step step = walk.Next(device);
    if (step == PnpDeviceWalk::Step::kNoDisplayName) {
      return Fail(ErrorCode::kPlatform, "a device's display name could not be read");
    }
    if (step == PnpDeviceWalk::Step::kEnd) break;
    if (device.position != deviceIndex) continue;
    if (device.moniker->BindToObject(filter) != kOk || !filter ||
        graph->AddFilter(*filter, CaptureFilterName(device.turn)) != kOk) {
      return Fail(ErrorCode::kPlatform, "device %d could not be bound to a filter",
                  static_cast<int>(deviceIndex));
    }
  }
  if (!filter) {
    return Fail(ErrorCode::kNoDevice, "no device %d is listed", static_cast<int>(deviceIndex));
  }

  std::unique_ptr<platform::CaptureGraphBuilder> builder;
  std::unique_ptr<platform::StreamConfig> config;
  if (platform.CreateCaptureGraphBuilder(builder) != kOk || !builder ||
      builder->SetFiltergraph(*graph) != kOk ||
      builder->FindCaptureStreamConfig(*filter, config) != kOk || !config) {
    return Fail(ErrorCode::kPlatform, "device %d offers no stream configuration",
                static_cast<int>(deviceIndex));
  }
  int count = 0;
  int capsSize = 0;
  if (config->GetNumberOfCapabilities(count, capsSize) != kOk) {
    return Fail(ErrorCode::kPlatform, "device %d did not tell its number of formats",
                static_cast<int>(deviceIndex));
  }
  if (capsSize != platform::kVideoStreamConfigCapsSize || count <= 0) return true;

  std::vector<std::uint8_t> caps(platform::kVideoStreamConfigCapsSize);
  for (int index = 0; index < count && entries.size() < maxEntries; ++index) {
    std::unique_ptr<platform::MediaType> type;
    platform::VideoInfoHeader video;
    if (config->GetStreamCaps(index, type, caps.data()) != kOk || !type ||
        !type->GetVideoInfo(video)) {
      continue;
    }
    FormatEntry entry;
    entry.width = video.bmiHeader.biWidth;
    entry.height = video.bmiHeader.biHeight;
    entry.frameInterval = video.AvgTimePerFrame;
    entry.frameRate = 10'000'000.0 / static_cast<double>(video.AvgTimePerFrame);
    SubtypeToName(type->subtype, entry.name);
    entries.push_back(entry);
  }
  return true;
}

}  // namespace
}  // namespace qel

QelBool qel::exports::QelGetFormat(int32_t deviceIndex, char* text, int32_t textSize) {
  if (static_cast<std::uint32_t>(deviceIndex) > 9 || text == nullptr || textSize < 1) {
    return qel::Fail(qel::ErrorCode::kBadArgument, "device %d, text %s, textSize %d",
                     static_cast<int>(deviceIndex), text == nullptr ? "NULL" : "given",
                     static_cast<int>(textSize));
  }
  std::vector<qel::FormatEntry> entries;
  {
    qel::ComForCall com;
    if (!qel::ReadFormats(deviceIndex, qel::kDevicesExamined, qel::kTextEntries, entries)) return 0;
  }
  // The text stays at most textSize - 2 characters long.
  text[0] = '\0';
  std::size_t length = 0;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    char rendering[256];
    const int written =
        std::snprintf(rendering, sizeof rendering, "%d,%d,%d,%f,%s,", static_cast<int>(i),
                      entries[i].width, entries[i].height, entries[i].frameRate, entries[i].name);
    const std::size_t renderingLength =
        written < 0 ? 0 : std::min<std::size_t>(static_cast<std::size_t>(written), 255);
    if (static_cast<std::int64_t>(length + renderingLength) >=
        static_cast<std::int64_t>(textSize) - 1) {
      return qel::Fail(qel::ErrorCode::kBufferTooSmall, "the list does not fit %d bytes",
                       static_cast<int>(textSize));
    }
    std::memcpy(text + length, rendering, renderingLength);
    length += renderingLength;
    text[length] = '\0';
  }
  return 1;
}

namespace qel {
namespace {

// Every format of device for the two format-list exports, which differ only
// in the record they fill; false (reason recorded) when refused.
bool ListEveryFormat(std::int32_t device, bool haveArray, std::int32_t capacity,
                     std::vector<FormatEntry>& entries) {
  if (device < 0) {
    return Fail(ErrorCode::kNoDevice, "no device %d is listed", static_cast<int>(device));
  }
  if (capacity < 0 || (!haveArray && capacity > 0)) {
    return Fail(ErrorCode::kBadArgument, "formats %s with capacity %d",
                haveArray ? "given" : "NULL", static_cast<int>(capacity));
  }
  ComForCall com;
  // Every position QelGetDevice lists, found by the same walk as there.
  return ReadFormats(device, PnpDeviceWalk::kNoTurnLimit, SIZE_MAX, entries);
}

template <typename Record, typename Fill>
std::int32_t FillFormatList(std::int32_t device, Record* formats, std::int32_t capacity,
                            Fill fill) {
  std::vector<FormatEntry> entries;
  if (!ListEveryFormat(device, formats != nullptr, capacity, entries)) return -1;
  const std::size_t filled = std::min(entries.size(), static_cast<std::size_t>(capacity));
  for (std::size_t i = 0; i < filled; ++i) {
    formats[i] = Record{};
    fill(entries[i], formats[i]);
  }
  return static_cast<std::int32_t>(std::min<std::size_t>(entries.size(), INT32_MAX));
}

}  // namespace
}  // namespace qel

int32_t qel::exports::QelGetFormatList(int32_t device, QelFormat* formats, int32_t capacity) {
  return qel::FillFormatList(device, formats, capacity,
                             [](const qel::FormatEntry& entry, QelFormat& out) {
                               out.width = entry.width;
                               out.height = entry.height;
                               out.frameRate = entry.frameRate;
                               // The record of 1.x keeps at most 7 characters of the name.
                               qel::CopyFormatName(out.format, sizeof out.format, entry.name);
                             });
}

int32_t qel::exports::QelGetFormatListEx(int32_t device, QelFormatEx* formats, int32_t capacity) {
  return qel::FillFormatList(device, formats, capacity,
                             [](const qel::FormatEntry& entry, QelFormatEx& out) {
                               out.width = entry.width;
                               out.height = entry.height;
                               out.frameRate = entry.frameRate;
                               out.frameInterval = entry.frameInterval;
                               qel::CopyFormatName(out.format, sizeof out.format, entry.name);
                             });
}
