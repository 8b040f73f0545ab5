// version, list and formats: what needs no open camera.
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "camera_session.h"
#include "commands.h"
#include "frame_rate.h"
#include "json_writer.h"
#include "qel/qel.h"

namespace qelctl {
namespace {

int ShowVersion() {
  const std::string text = LibraryVersion();
  if (JsonOutput()) {
    Json()
        .BeginObject()
        .String("tool", QEL_VERSION_STRING)
        .String("library", LibraryVersionNumber())
        .String("library_text", text)
        .EndObject()
        .Print();
    return kExitSuccess;
  }
  std::printf("%s\n", text.c_str());
  return kExitSuccess;
}

// Why the listing just made gave a camera no serial (no permission to open
// its command interface, say), or nothing.
std::string MissingSerialNotice() { return QelLastErrorCode() == QEL_OK ? "" : LibraryReason(); }

int ShowDevices(bool withSerial) {
  // The names alone open no camera's command interface; JSON always has both.
  std::vector<qel::Device> devices;
  if (withSerial || JsonOutput()) {
    devices = ListDevices();
  } else {
    for (const std::string& name : ListDeviceNames()) {
      devices.push_back(qel::Device{static_cast<std::int32_t>(devices.size()), name, ""});
    }
  }
  if (const std::string notice = withSerial ? MissingSerialNotice() : ""; !notice.empty()) {
    std::fprintf(stderr, "note: %s\n", notice.c_str());
  }
  if (JsonOutput()) {
    Json json;
    json.BeginObject().BeginArray("devices");
    for (const qel::Device& device : devices) {
      json.BeginObject().Integer("key", device.position).String("name", device.name);
      if (!device.serialText.empty()) {
        json.String("serial", device.serialText);
      } else {
        json.Null("serial");
      }
      json.EndObject();
    }
    json.EndArray().EndObject().Print();
    return kExitSuccess;
  }
  std::printf("%zu video device(s)%s\n", devices.size(),
              devices.empty() ? NoDeviceHint().c_str() : "");
  for (const qel::Device& device : devices) {
    std::printf("  key %d: %s\n", device.position, device.listed().c_str());
  }
  return kExitSuccess;
}

int ShowFormats(const std::string& device) {
  const DeviceChoice choice = ResolveDevice(device);
  const std::vector<FormatEntry> formats = ReadFormats(choice.position);
  if (JsonOutput()) {
    Json json;
    json.BeginObject().Integer("key", choice.position).BeginArray("formats");
    for (const FormatEntry& f : formats) {
      json.BeginObject()
          .Integer("index", f.index)
          .Integer("width", f.width)
          .Integer("height", f.height)
          .Number("fps", f.fps)
          .String("rate", NominalRateOf(f.fps).text)
          .String("format", f.name)
          .EndObject();
    }
    json.EndArray().EndObject().Print();
    return kExitSuccess;
  }
  if (formats.empty()) {
    std::printf("device %d lists no capture format\n", choice.position);
    return kExitSuccess;
  }
  // The rate as a person writes it; --json keeps the listed value too.
  std::printf("index  width  height      fps  format\n");
  for (const FormatEntry& f : formats) {
    std::printf("%5d  %5d  %6d  %7s  %s\n", f.index, f.width, f.height,
                NominalRateOf(f.fps).text.c_str(), f.name.c_str());
  }
  return kExitSuccess;
}

}  // namespace

std::string LibraryVersion() {
  char text[64];
  if (!QelDLLVersion(text, sizeof text)) throw CallFailed("QelDLLVersion");
  return text;
}

void AddDeviceCommands(CLI::App& app, Action& action) {
  app.add_subcommand("version", "show the library's version and build stamp")->callback([&action] {
    action = ShowVersion;
  });

  auto* list = app.add_subcommand("list", "list the video devices; the position is the key");
  auto withSerial = std::make_shared<bool>(false);
  list->add_flag("-s,--serial", *withSerial, "append the serial text of each camera");
  list->callback(
      [&action, withSerial] { action = [withSerial] { return ShowDevices(*withSerial); }; });

  auto* formats = app.add_subcommand("formats", "list the capture formats a device offers");
  auto device = std::make_shared<std::string>();
  formats->add_option("device", *device, "the device: its key or its serial text")->required();
  formats->callback([&action, device] { action = [device] { return ShowFormats(*device); }; });
}

}  // namespace qelctl
