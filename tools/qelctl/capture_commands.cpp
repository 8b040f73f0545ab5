// grab: stream frames from a camera, show the rate, save one.
#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "camera_session.h"
#include "commands.h"
#include "frame_rate.h"
#include "image_writer.h"
#include "interrupt.h"
#include "json_writer.h"
#include "qel/qel.h"
#include "qel/qelsim.h"
#include "settings.h"

namespace qelctl {
namespace {

struct GrabOptions {
  SessionOptions session;
  int frames = 30;
  std::string save;
  double timeout = 5.0;
  std::vector<std::string> settings;  // NAME=VALUE, made before the first frame
};

// Fewer frames than this tell no frame rate: one or two intervals measure the
// polling and the moment of the open rather than the camera.
constexpr int kFewestFramesForRate = 10;

// The clock frames follow. In real time the tool polls every millisecond;
// on the rig's virtual clock frames arrive only as the clock advances, so
// each poll advances it by one frame interval.
class FrameClock {
 public:
  explicit FrameClock(double fps) : fps_(fps > 0.0 ? fps : 30.0) {}

  void WaitForNextPoll() {
    if (!VirtualTime()) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
      return;
    }
    // Whole milliseconds that keep the sum on the exact frame times.
    ++intervals_;
    const auto target = static_cast<std::uint64_t>(std::llround(intervals_ * 1000.0 / fps_));
    qelsim_advance_ms(static_cast<std::uint32_t>(target - virtualMs_));
    virtualMs_ = target;
  }

  double Seconds() const {
    if (VirtualTime()) return static_cast<double>(intervals_) / fps_;
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  }

 private:
  double fps_;
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
  std::int64_t intervals_ = 0;
  std::uint64_t virtualMs_ = 0;
};

// How a frame is saved: the extension of the file names it.
enum class SaveAs { kPng, kJpeg, kRaw };

struct SavePlan {
  std::string path;        // the file, or the directory to write into
  bool directory = false;  // the name is made from the capture
  SaveAs as = SaveAs::kPng;
};

bool CanConvert(const std::string& format) { return format == "YUY2" || format == "MJPG"; }

// Decides before the camera opens how --save is to be done, and refuses
// what cannot be.
SavePlan PlanSave(const std::string& path, const std::string& format) {
  SavePlan plan;
  plan.path = path;
  std::error_code error;
  const bool slash = !path.empty() && (path.back() == '/' || path.back() == '\\');
  if (std::filesystem::is_directory(path, error) || slash) {
    if (!std::filesystem::is_directory(path, error)) {
      throw UsageError("--save " + path + ": no such directory");
    }
    plan.directory = true;
    plan.as = format == "YUY2" ? SaveAs::kPng : format == "MJPG" ? SaveAs::kJpeg : SaveAs::kRaw;
    return plan;
  }
  const std::string extension = Lower(std::filesystem::path(path).extension().string());
  if (extension == ".png") {
    plan.as = SaveAs::kPng;
  } else if (extension == ".jpg" || extension == ".jpeg") {
    plan.as = SaveAs::kJpeg;
  } else if (extension == ".raw" || extension == ".yuv") {
    plan.as = SaveAs::kRaw;
  } else {
    throw UsageError(
        "--save writes .png, .jpg (.jpeg) or .raw (.yuv) files, or into a directory; "
        "not \"" +
        path + "\"");
  }
  if (plan.as != SaveAs::kRaw && !CanConvert(format)) {
    throw UsageError("--save writes " + format +
                     " frames only as raw bytes (.raw); PNG and JPEG are for YUY2 and MJPG");
  }
  return plan;
}

// Saves the frame as planned; returns the path written and says what it holds.
std::string SaveFrame(const CameraSession& camera, const std::vector<std::uint8_t>& frame,
                      const SavePlan& plan) {
  const std::string& format = camera.format();
  std::string path = plan.path;
  if (plan.directory) {
    const char* extension = plan.as == SaveAs::kPng    ? ".png"
                            : plan.as == SaveAs::kJpeg ? ".jpg"
                                                       : ".raw";
    const std::string name = "key" + std::to_string(camera.key()) + "-" +
                             std::to_string(camera.width()) + "x" +
                             std::to_string(camera.height()) + "-" + format + extension;
    path = (std::filesystem::path(plan.path) / name).string();
  }
  std::string error;
  std::string what;
  std::vector<std::uint8_t> rgb;
  int width = camera.width();
  int height = camera.height();
  bool ok = false;
  if (plan.as == SaveAs::kRaw || (plan.as == SaveAs::kJpeg && format == "MJPG")) {
    ok = WriteBytes(path, frame.data(), frame.size(), error);
    what = std::to_string(frame.size()) + " bytes of " + format + " as delivered";
  } else {
    ok = FrameToRgb(frame.data(), frame.size(), format, width, height, rgb, error);
    if (ok) {
      ok = plan.as == SaveAs::kPng ? WritePng(path, rgb.data(), width, height, error)
                                   : WriteJpeg(path, rgb.data(), width, height, 90, error);
    }
    what = std::to_string(width) + "x" + std::to_string(height) +
           (plan.as == SaveAs::kPng ? " PNG, " : " JPEG, ") +
           (format == "YUY2" ? "converted from YUY2" : "decoded from MJPG");
  }
  if (!ok) throw CommandError(kExitFailed, "cannot save the frame: " + error);
  std::FILE* out = JsonOutput() ? stderr : stdout;
  std::fprintf(out, "saved the last frame as %s (%s)\n", path.c_str(), what.c_str());
  return path;
}

int Grab(const GrabOptions& options) {
  if (options.frames < 1) throw UsageError("--frames must be at least 1");
  if (!(options.timeout > 0.0) || !std::isfinite(options.timeout)) {
    throw UsageError("--timeout must be a number of seconds above 0");
  }
  CheckSettings(options.settings);
  std::optional<SavePlan> plan;
  if (!options.save.empty()) {
    plan =
        PlanSave(options.save,
                 options.session.format.empty() ? "YUY2" : CanonicalFormat(options.session.format));
  }

  // Ctrl-C ends the grab cleanly: the summary, the saved frame, the close.
  InterruptWatch interrupts;
  CameraSession camera(options.session);
  const std::int32_t key = camera.key();
  if (!options.settings.empty()) {
    const std::string now = ApplySettings(camera, options.settings);
    std::fprintf(JsonOutput() ? stderr : stdout, "set %s\n", now.c_str());
  }
  // QelReceiveImage takes no size and tells no length: the buffer keeps room
  // for a frame twice as long as the last one reported, so that a longer
  // frame arriving between the two calls still fits, and a frame counts only
  // when the reported length is the same before and after the copy.
  std::vector<std::uint8_t> buffer(static_cast<std::size_t>(camera.width()) *
                                       static_cast<std::size_t>(camera.height()) * 4 +
                                   4096);
  std::vector<std::uint8_t> last;
  std::size_t lastLength = 0;

  // A frame that arrived while the camera was opening (or before the
  // settings were made) is dropped: its arrival time is unknown, and the rate
  // counts from the first fresh frame.
  if (QelGetBufferSize(key) > 0) QelReceiveImage(key, buffer.data());

  FrameClock clock(camera.fps());
  const bool live = StdoutIsTerminal() && !JsonOutput();
  int received = 0;
  double first = 0.0;
  double latest = 0.0;
  double waitingSince = clock.Seconds();
  while (received < options.frames && interrupts.Count() == 0) {
    const std::int32_t before = QelGetBufferSize(key);
    if (before > 0 && static_cast<std::size_t>(before) * 2 > buffer.size()) {
      buffer.resize(static_cast<std::size_t>(before) * 2);
    }
    if (before > 0 && QelReceiveImage(key, buffer.data()) && QelGetBufferSize(key) == before) {
      latest = clock.Seconds();
      if (received == 0) first = latest;
      ++received;
      lastLength = static_cast<std::size_t>(before);
      if (plan) last.assign(buffer.begin(), buffer.begin() + before);
      if (live) {
        std::printf("\rframe %d/%d  %d bytes", received, options.frames, before);
        if (received >= kFewestFramesForRate && latest > first) {
          std::printf("  %.1f frames/s", (received - 1) / (latest - first));
        }
        std::fflush(stdout);
      }
      waitingSince = latest;
    } else if (clock.Seconds() - waitingSince > options.timeout) {
      if (live) std::printf("\n");
      char seconds[32];
      std::snprintf(seconds, sizeof seconds, "%g", options.timeout);
      throw CommandError(kExitFailed,
                         std::string("QelReceiveImage delivered no frame for ") + seconds + " s");
    }
    clock.WaitForNextPoll();
  }
  const bool interrupted = interrupts.Count() > 0;
  if (live) std::printf("\r%60s\r", "");
  const bool timed = received > 1 && latest > first;
  const bool rated = timed && received >= kFewestFramesForRate;
  if (!JsonOutput()) {
    if (interrupted) std::printf("interrupted: ");
    std::printf("received %d frame(s) of %zu bytes", received, lastLength);
    if (timed) std::printf(" in %.3f s", latest - first);
    if (rated) {
      std::printf(": %.1f frames/s (asked for %s)", (received - 1) / (latest - first),
                  NominalRateOf(camera.fps()).text.c_str());
    } else if (timed) {
      std::printf(" (too few to tell the frame rate)");
    }
    std::printf("%s\n", VirtualTime() ? " on the virtual clock" : "");
    std::fflush(stdout);
  }
  std::string saved;
  if (plan && !last.empty()) saved = SaveFrame(camera, last, *plan);
  if (JsonOutput()) {
    Json json;
    json.BeginObject()
        .Integer("key", key)
        .String("device", camera.label())
        .Integer("width", camera.width())
        .Integer("height", camera.height())
        .String("format", camera.format())
        .Number("requested_fps", camera.fps())
        .Integer("frames", received)
        .Integer("frame_bytes", static_cast<std::int64_t>(lastLength));
    if (timed) {
      json.Number("seconds", latest - first);
    } else {
      json.Null("seconds");
    }
    if (rated) {
      json.Number("fps", (received - 1) / (latest - first));
    } else {
      json.Null("fps");
    }
    json.Bool("virtual_clock", VirtualTime()).Bool("interrupted", interrupted);
    if (saved.empty()) {
      json.Null("saved");
    } else {
      json.String("saved", saved);
    }
    json.EndObject().Print();
  }
  return interrupted ? kExitInterrupted : kExitSuccess;
}

}  // namespace

void AddCaptureCommands(CLI::App& app, Action& action) {
  auto options = std::make_shared<GrabOptions>();
  auto* grab = app.add_subcommand("grab", "open a camera, receive frames and show the frame rate");
  AddSessionOptions(*grab, options->session);
  grab->add_option("-n,--frames", options->frames, "number of frames to receive (default 30)");
  grab->add_option("--save", options->save,
                   "save the last frame in the format the extension names: .png (YUY2 "
                   "converted, MJPG decoded), .jpg (MJPG as delivered, YUY2 encoded), .raw or "
                   ".yuv (the bytes as delivered); or into a directory");
  grab->add_option("--timeout", options->timeout,
                   "seconds to wait for a frame before giving up (default 5)");
  grab->add_option("--set", options->settings,
                   "NAME=VALUE: change a setting once the camera is open, before the first "
                   "frame; repeatable, such as --set led=32 --set colorbar=on (see set)")
      ->allow_extra_args(false);
  grab->callback([&action, options] { action = [options] { return Grab(*options); }; });
}

}  // namespace qelctl
