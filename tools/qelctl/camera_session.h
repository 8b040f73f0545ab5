// Opening a camera for one command: the options that choose the device, its
// size, rate and format, the lookups that fill in what was not given, and the
// session that closes the camera again.
#pragma once

#include <CLI/CLI.hpp>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "qel/qel.h"
#include "qel/qel.hpp"

namespace qelctl {

// ---- the platform ---------------------------------------------------------

struct PlatformOptions {
  bool virtualTime = false;  // run the rig's clock virtually
  bool rig = false;          // use the rig even where a hardware backend exists
};

// Adds --virtual-time and --rig.
void AddPlatformOptions(CLI::App& app, PlatformOptions& options);
// Routes the library to the rig when it is to be used, gives an empty rig its
// default population, and starts the virtual clock when asked for.
void SetUpPlatform(const PlatformOptions& options);
// Whether the rig's clock runs virtually in this process.
bool VirtualTime();
// After an empty listing: where the attached cameras are the platform, that
// --rig tries the virtual ones; "" on the rig.
std::string NoDeviceHint();
// The library's reason for the calling thread's last failed call; "" for none.
std::string LibraryReason();
// The library's version as MAJOR.MINOR.PATCH ("1.4.0").
std::string LibraryVersionNumber();

// ---- devices and their formats --------------------------------------------

// Every video device at its key position (the library's listing, through
// qel.hpp); a failed listing is a failed command.
std::vector<qel::Device> ListDevices();
// Only the names: no camera's command interface is opened.
std::vector<std::string> ListDeviceNames();

// The video-device name's camera model: 0 "QEL", 1 "QEL2", 2 "QEL5", -1 other.
int ModelOfName(const std::string& name);

struct FormatEntry {
  int index = 0;
  int width = 0;
  int height = 0;
  double fps = 0.0;
  std::string name;
};

// The capture formats the device at list position device offers.
std::vector<FormatEntry> ReadFormats(std::int32_t device);

// Every setting of the open camera under key, as the library lists them,
// with the values read just now.
std::vector<QelSetting> ReadSettingList(std::int32_t key);

// --size and --rate as given (WIDTHxHEIGHT, frames per second); 0 for what
// is not given. Throws a usage error for a malformed one.
struct CaptureSize {
  int width = 0;
  int height = 0;
  double fps = 0.0;
};
CaptureSize ParseCaptureSize(const std::string& size, const std::string& rate);

// The first entry of the device's list in format with the size and rate
// given (0: any), its rate as a person means it; nothing when none matches.
std::optional<CaptureSize> FirstListedCapture(std::int32_t device, const std::string& format,
                                              const CaptureSize& given);

// A device named on the command line: its key (list position) or its serial
// text, which must be listed.
struct DeviceChoice {
  std::int32_t position = -1;
  std::string serialText;  // empty when chosen by key
};
DeviceChoice ResolveDevice(const std::string& text);

// ---- the open camera ------------------------------------------------------

struct SessionOptions {
  std::string device;
  std::string size;    // "WxH"; empty: from the format list
  std::string rate;    // frames per second; empty: from the format list
  std::string format;  // empty: "YUY2"
};

// Adds the DEVICE positional and --size, --rate, --format to a subcommand.
void AddSessionOptions(CLI::App& command, SessionOptions& options);

// One open camera; closed when the session ends.
class CameraSession {
 public:
  // Opens the camera as the options say and prints one line saying so.
  explicit CameraSession(const SessionOptions& options);
  ~CameraSession();
  CameraSession(const CameraSession&) = delete;
  CameraSession& operator=(const CameraSession&) = delete;

  std::int32_t key() const { return key_; }
  // The listing entry: the friendly name, or the serial text for the family.
  const std::string& label() const { return label_; }
  int model() const { return model_; }
  bool captureOnly() const { return model_ < 0; }
  int width() const { return width_; }
  int height() const { return height_; }
  double fps() const { return fps_; }
  const std::string& format() const { return format_; }

 private:
  std::int32_t key_ = -1;
  std::string label_;
  int model_ = -1;
  int width_ = 0;
  int height_ = 0;
  double fps_ = 0.0;
  std::string format_;
};

}  // namespace qelctl
