// grab: stream frames from a camera, show the rate, save one.
#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "camera_session.h"
#include "commands.h"
#include "image_writer.h"
#include "qel/qel.h"
#include "qel/qelsim.h"

namespace qelctl {
namespace {

struct GrabOptions {
  SessionOptions session;
  int frames = 30;
  std::string save;
  double timeout = 5.0;
};

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

// What is saved, and under which name, for a capture format.
enum class SaveKind { kPng, kAsDelivered };

SaveKind SaveKindOf(const std::string& format) {
  if (format == "YUY2") {
    if (!CanWritePng()) throw UsageError("this qelctl was built without PNG support");
    return SaveKind::kPng;
  }
  if (format == "MJPG") return SaveKind::kAsDelivered;
  throw UsageError("--save writes YUY2 frames as PNG and MJPG frames as JPEG; " + format +
                   " frames cannot be saved");
}

// The path with the extension the saved file really gets.
std::string SavePath(const std::string& path, SaveKind kind) {
  const std::string extension = kind == SaveKind::kPng ? ".png" : ".jpg";
  const std::size_t slash = path.find_last_of("/\\");
  const std::size_t dot = path.find_last_of('.');
  const bool hasExtension = dot != std::string::npos && (slash == std::string::npos || dot > slash);
  const std::string stem = hasExtension ? path.substr(0, dot) : path;
  std::string current = hasExtension ? path.substr(dot) : "";
  std::transform(current.begin(), current.end(), current.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  if (current == extension || (kind == SaveKind::kAsDelivered && current == ".jpeg")) return path;
  return stem + extension;
}

void SaveFrame(const CameraSession& camera, const std::vector<std::uint8_t>& frame,
               std::size_t length, const std::string& requested, SaveKind kind) {
  const std::string path = SavePath(requested, kind);
  std::string error;
  if (kind == SaveKind::kPng) {
    std::vector<std::uint8_t> rgb;
    if (!Yuy2ToRgb(frame.data(), length, camera.width(), camera.height(), rgb, error) ||
        !WritePng(path, rgb.data(), camera.width(), camera.height(), error)) {
      throw CommandError(kExitFailed, "cannot save the frame: " + error);
    }
    std::printf("saved the last frame as %s (%dx%d PNG, converted from YUY2)\n", path.c_str(),
                camera.width(), camera.height());
  } else {
    if (!WriteBytes(path, frame.data(), length, error)) {
      throw CommandError(kExitFailed, "cannot save the frame: " + error);
    }
    std::printf("saved the last frame as %s (%zu bytes of MJPG as delivered)\n", path.c_str(),
                length);
  }
}

int Grab(const GrabOptions& options) {
  if (options.frames < 1) throw UsageError("--frames must be at least 1");
  SaveKind saveKind = SaveKind::kPng;
  if (!options.save.empty()) {
    saveKind = SaveKindOf(options.session.format.empty() ? "YUY2" : options.session.format);
  }

  CameraSession camera(options.session);
  const std::int32_t key = camera.key();
  // QelReceiveImage takes no size and tells no length: the buffer keeps room
  // for a frame twice as long as the last one reported, so that a longer
  // frame arriving between the two calls still fits, and a frame counts only
  // when the reported length is the same before and after the copy.
  std::vector<std::uint8_t> buffer(static_cast<std::size_t>(camera.width()) *
                                       static_cast<std::size_t>(camera.height()) * 4 +
                                   4096);
  std::vector<std::uint8_t> last;
  std::size_t lastLength = 0;

  // A frame that arrived while the camera was opening is dropped: its
  // arrival time is unknown, and the rate counts from the first fresh frame.
  if (QelGetBufferSize(key) > 0) QelReceiveImage(key, buffer.data());

  FrameClock clock(camera.fps());
  const bool live = StdoutIsTerminal();
  int received = 0;
  double first = 0.0;
  double latest = 0.0;
  double waitingSince = clock.Seconds();
  while (received < options.frames) {
    const std::int32_t before = QelGetBufferSize(key);
    if (before > 0 && static_cast<std::size_t>(before) * 2 > buffer.size()) {
      buffer.resize(static_cast<std::size_t>(before) * 2);
    }
    if (before > 0 && QelReceiveImage(key, buffer.data()) && QelGetBufferSize(key) == before) {
      latest = clock.Seconds();
      if (received == 0) first = latest;
      ++received;
      lastLength = static_cast<std::size_t>(before);
      if (!options.save.empty()) last.assign(buffer.begin(), buffer.begin() + before);
      if (live) {
        std::printf("\rframe %d/%d  %d bytes", received, options.frames, before);
        if (received > 1) std::printf("  %.1f frames/s", (received - 1) / (latest - first));
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
  if (live) std::printf("\r%60s\r", "");
  std::printf("received %d frame(s) of %zu bytes", received, lastLength);
  if (received > 1 && latest > first) {
    std::printf(" in %.3f s: %.1f frames/s (asked for %g)", latest - first,
                (received - 1) / (latest - first), camera.fps());
  }
  std::printf("%s\n", VirtualTime() ? " on the virtual clock" : "");
  if (!options.save.empty()) SaveFrame(camera, last, lastLength, options.save, saveKind);
  return kExitSuccess;
}

}  // namespace

void AddCaptureCommands(CLI::App& app, Action& action) {
  auto options = std::make_shared<GrabOptions>();
  auto* grab = app.add_subcommand("grab", "open a camera, receive frames and show the frame rate");
  AddSessionOptions(*grab, options->session);
  grab->add_option("-n,--frames", options->frames, "number of frames to receive (default 30)");
  grab->add_option("--save", options->save,
                   "save the last frame: YUY2 as PNG, MJPG as JPEG as delivered (the file "
                   "name gets the matching extension)");
  grab->add_option("--timeout", options->timeout,
                   "seconds to wait for a frame before giving up (default 5)");
  grab->callback([&action, options] { action = [options] { return Grab(*options); }; });
}

}  // namespace qelctl
