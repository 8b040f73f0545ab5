#include "camera_session.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <optional>
#include <thread>

#include "command_support.h"
#include "frame_rate.h"
#include "json_writer.h"
#include "qel/qel.h"
#include "qel/qelsim.h"

namespace qelctl {
namespace {

bool g_virtualTime = false;
bool g_hardware = false;

bool IsKey(const std::string& text) {
  return !text.empty() && text.size() < 10 &&
         text.find_first_not_of("0123456789") == std::string::npos;
}

// Every device of the listing, one line each, for messages.
std::string DeviceLines(const std::vector<qel::Device>& devices) {
  std::string lines;
  for (const qel::Device& device : devices) {
    lines += "\n  key " + std::to_string(device.position) + ": " + device.listed();
  }
  return lines;
}

// The wrapper's failure as the tool's: what was being done, then the reason.
template <typename Call>
auto AsCommand(const std::string& doing, Call call) -> decltype(call()) {
  try {
    return call();
  } catch (const qel::Error& e) {
    throw CommandError(kExitFailed, doing + " failed: " + e.what());
  }
}

std::string CountOfDevices(std::size_t n) {
  if (n == 0) return "none is listed" + NoDeviceHint();
  return n == 1 ? "1 is listed" : std::to_string(n) + " are listed";
}

// Shows that a camera is being opened, which takes seconds: a spinner on a
// terminal, one line otherwise; on standard error, so that standard output
// keeps only results.
class OpeningProgress {
 public:
  explicit OpeningProgress(const std::string& what) : text_("opening " + what) {
    if (!StderrIsTerminal()) {
      std::fprintf(stderr, "%s ...\n", text_.c_str());
      std::fflush(stderr);
      return;
    }
    spinner_ = std::thread([this] {
      static const char kFrames[] = "|/-\\";
      std::unique_lock lock(mutex_);
      for (int i = 0; !done_; ++i) {
        std::fprintf(stderr, "\r%s %c", text_.c_str(), kFrames[i % 4]);
        std::fflush(stderr);
        changed_.wait_for(lock, std::chrono::milliseconds(120));
      }
      std::fprintf(stderr, "\r%*s\r", static_cast<int>(text_.size() + 2), "");
      std::fflush(stderr);
    });
  }
  ~OpeningProgress() {
    if (!spinner_.joinable()) return;
    {
      std::lock_guard lock(mutex_);
      done_ = true;
    }
    changed_.notify_all();
    spinner_.join();
  }
  OpeningProgress(const OpeningProgress&) = delete;
  OpeningProgress& operator=(const OpeningProgress&) = delete;

 private:
  std::string text_;
  std::thread spinner_;
  std::mutex mutex_;
  std::condition_variable changed_;
  bool done_ = false;
};

std::string FormatRate(double fps) { return NominalRateOf(fps).text; }

// Fills in the size, rate and format that were not given from the first
// matching entry of the device's format list.
void ChooseCapture(const SessionOptions& options, std::int32_t position, int& width, int& height,
                   double& fps, std::string& format) {
  format = options.format.empty() ? "YUY2" : CanonicalFormat(options.format);
  const CaptureSize given = ParseCaptureSize(options.size, options.rate);
  width = given.width;
  height = given.height;
  fps = given.fps;
  const bool haveSize = given.width != 0;
  const bool haveRate = given.fps != 0.0;
  if (haveSize && haveRate) return;
  if (const std::optional<CaptureSize> listed = FirstListedCapture(position, format, given)) {
    width = listed->width;
    height = listed->height;
    fps = listed->fps;
    return;
  }
  std::string wanted = format;
  if (haveSize) wanted += " at " + options.size;
  if (haveRate) wanted += " at " + FormatRate(fps) + " fps";
  throw UsageError("device " + std::to_string(position) + " lists no " + wanted +
                   " capture; see 'qelctl formats " + std::to_string(position) +
                   "', or give --size and --rate in full");
}

}  // namespace

std::vector<QelSetting> ReadSettingList(std::int32_t key) {
  const std::int32_t count = QelGetSettingList(key, nullptr, 0);
  if (count < 0) throw CallFailed("QelGetSettingList");
  std::vector<QelSetting> list(static_cast<std::size_t>(count));
  const std::int32_t again = QelGetSettingList(key, list.data(), count);
  if (again < 0) throw CallFailed("QelGetSettingList");
  list.resize(static_cast<std::size_t>(std::min(again, count)));
  return list;
}

CaptureSize ParseCaptureSize(const std::string& size, const std::string& rate) {
  CaptureSize given;
  if (!size.empty()) {
    const std::size_t x = size.find_first_of("xX");
    if (x == std::string::npos) throw UsageError("--size must be WIDTHxHEIGHT, such as 1280x720");
    given.width = static_cast<int>(ParseInteger(size.substr(0, x), 1, 65535, "the width"));
    given.height = static_cast<int>(ParseInteger(size.substr(x + 1), 1, 65535, "the height"));
  }
  if (!rate.empty()) {
    given.fps = ParseNumber(rate, "--rate");
    if (given.fps <= 0.0) throw UsageError("--rate must be above 0");
  }
  return given;
}

std::optional<CaptureSize> FirstListedCapture(std::int32_t device, const std::string& format,
                                              const CaptureSize& given) {
  for (const FormatEntry& entry : ReadFormats(device)) {
    if (!SameText(entry.name, format)) continue;
    if (given.width != 0 && (entry.width != given.width || entry.height != given.height)) continue;
    if (given.fps != 0.0 && std::fabs(entry.fps - given.fps) > 0.01) continue;
    // The listed rate is 10^7 / interval: 30.000030 stands for 30, 239.998080
    // for 240.
    return CaptureSize{entry.width, entry.height,
                       given.fps != 0.0 ? given.fps : NominalRateOf(entry.fps).fps()};
  }
  return std::nullopt;
}

void AddPlatformOptions(CLI::App& app, PlatformOptions& options) {
  app.add_flag("--virtual-time", options.virtualTime,
               "run the virtual rig's clock virtually: opening costs no real 3 s and frames "
               "arrive as the tool advances the clock (default: real time)");
  app.add_flag("--rig", options.rig,
               "use the virtual camera rig instead of the attached cameras (as QEL_PLATFORM=rig "
               "does)");
}

void SetUpPlatform(const PlatformOptions& options) {
  if (options.rig) qelsim_enable(1);
  // Without --rig the library talks to the attached cameras, unless it has no
  // hardware backend or QEL_PLATFORM=rig chose the rig.
  if (qelsim_enabled() != 1) {
    if (options.virtualTime) throw UsageError("--virtual-time needs --rig");
    g_hardware = true;
    return;
  }
  if (options.virtualTime) {
    qelsim_set_virtual_time(1);
    g_virtualTime = true;
  }
}

bool VirtualTime() { return g_virtualTime; }

std::string LibraryReason() {
  char reason[512] = {};
  QelLastError(reason, sizeof reason);
  return reason;
}

std::string LibraryVersionNumber() {
  std::int32_t major = 0, minor = 0, patch = 0;
  QelLibraryVersion(&major, &minor, &patch);
  return std::to_string(major) + "." + std::to_string(minor) + "." + std::to_string(patch);
}

std::string NoDeviceHint() {
  return g_hardware ? " (no camera attached? --rig tries the virtual cameras)" : "";
}

std::vector<qel::Device> ListDevices() {
  return AsCommand("listing the devices", [] { return qel::ListDevices(); });
}

std::vector<std::string> ListDeviceNames() {
  return AsCommand("listing the devices", [] { return qel::ListDeviceNames(); });
}

int ModelOfName(const std::string& name) {
  if (name == "QEL") return 0;
  if (name == "QEL2") return 1;
  if (name == "QEL5") return 2;
  return -1;
}

std::vector<FormatEntry> ReadFormats(std::int32_t device) {
  const std::vector<QelFormatEx> formats =
      AsCommand("QelGetFormatListEx (device " + std::to_string(device) + ")",
                [device] { return qel::Formats(device); });
  std::vector<FormatEntry> entries;
  for (const QelFormatEx& f : formats) {
    entries.push_back(FormatEntry{static_cast<int>(entries.size()), f.width, f.height, f.frameRate,
                                  std::string(f.format, strnlen(f.format, sizeof f.format))});
  }
  return entries;
}

DeviceChoice ResolveDevice(const std::string& text) {
  DeviceChoice choice;
  const std::vector<qel::Device> devices = ListDevices();
  if (IsKey(text)) {
    choice.position = static_cast<std::int32_t>(std::atoi(text.c_str()));
    if (static_cast<std::size_t>(choice.position) >= devices.size()) {
      throw CommandError(kExitFailed, "no device " + text + "; " + CountOfDevices(devices.size()) +
                                          DeviceLines(devices));
    }
    return choice;
  }
  // A serial text of the family opens by serial; a name (the listing shows
  // names for devices outside the family) opens by position.
  std::vector<std::int32_t> named;
  for (const qel::Device& device : devices) {
    if (!device.serialText.empty() && SameText(device.serialText, text)) {
      choice.position = device.position;
      choice.serialText = device.serialText;
      return choice;
    }
    if (SameText(device.name, text)) named.push_back(device.position);
  }
  if (named.size() == 1) {
    choice.position = named.front();
    return choice;
  }
  if (named.size() > 1) {
    std::string keys;
    for (std::int32_t key : named) keys += (keys.empty() ? "" : ", ") + std::to_string(key);
    throw UsageError(std::to_string(named.size()) + " devices are named \"" + text + "\" (keys " +
                     keys + "); name one by its key or serial text");
  }
  throw CommandError(kExitFailed, "no device is listed as \"" + text + "\"; " +
                                      CountOfDevices(devices.size()) + DeviceLines(devices));
}

void AddSessionOptions(CLI::App& command, SessionOptions& options) {
  command
      .add_option("device", options.device,
                  "the device: its key (list position) or its serial text, e.g. QEL5#0000ABCD")
      ->required();
  command.add_option("--size", options.size,
                     "frame size WIDTHxHEIGHT (default: the first listed for the format)");
  command.add_option("--rate", options.rate,
                     "frames per second (default: the first listed for the size and format)");
  command.add_option("--format", options.format,
                     "capture format: YUY2 (default), MJPG, H264, IYUV, RGB24, RGB32, I420 or "
                     "RGB555; opening by serial text always uses YUY2");
}

CameraSession::CameraSession(const SessionOptions& options) {
  const DeviceChoice choice = ResolveDevice(options.device);
  if (!choice.serialText.empty() && !options.format.empty() && !SameText(options.format, "YUY2")) {
    throw UsageError("a camera opened by its serial text streams YUY2; open it by key for " +
                     options.format);
  }
  ChooseCapture(options, choice.position, width_, height_, fps_, format_);
  const std::string capture = std::to_string(width_) + "x" + std::to_string(height_) + " at " +
                              FormatRate(fps_) + " fps, " + format_;

  std::int32_t result = -1;
  std::optional<OpeningProgress> progress;
  progress.emplace((choice.serialText.empty() ? "device " + std::to_string(choice.position)
                                              : choice.serialText) +
                   " (" + capture + ")");
  // The open returns with the first frame instead of after a fixed wait.
  if (choice.serialText.empty()) {
    result = QelOpenEx(choice.position, width_, height_, fps_, format_.c_str(), QEL_OPEN_FAST);
    if (result < 0) {
      throw CallFailed("QelOpenEx", "device " + std::to_string(choice.position) + ", " + capture);
    }
    key_ = choice.position;
  } else {
    std::int32_t key = -1;
    result =
        QelOpenSerialNoEx(choice.serialText.c_str(), &key, width_, height_, fps_, QEL_OPEN_FAST);
    if (result < 0) throw CallFailed("QelOpenSerialNoEx", choice.serialText + ", " + capture);
    key_ = key;
  }

  progress.reset();

  try {
    const std::vector<qel::Device> devices = ListDevices();
    const auto at = static_cast<std::size_t>(key_);
    if (at < devices.size()) model_ = ModelOfName(devices[at].name);
    label_ = at < devices.size() ? devices[at].listed() : "?";
  } catch (...) {
    QelClose(key_);  // the destructor does not run for a constructor that throws
    throw;
  }
  if (result == 1) model_ = -1;
  // With --json the line goes to standard error, beside the progress.
  std::FILE* out = JsonOutput() ? stderr : stdout;
  std::fprintf(out, "opened key %d (%s)%s: %s\n", key_, label_.c_str(),
               captureOnly() ? " for frames only" : "", capture.c_str());
  std::fflush(out);
}

CameraSession::~CameraSession() { QelClose(key_); }

}  // namespace qelctl
