// rewrite: write a firmware image to a camera and follow the progress.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <thread>

#include "camera_session.h"
#include "commands.h"
#include "interrupt.h"
#include "qel/qel.h"

namespace qelctl {
namespace {

// The camera keeps its serial number and defect tables in the 64 KiB memory
// block from this address; an image that reaches it has that block erased
// before it is written.
constexpr std::uintmax_t kDataBlockAddress = 0x070000;

struct RewriteOptions {
  SessionOptions session;
  std::string image;
  bool force = false;
};

const char* StateName(std::int32_t state) {
  switch (state) {
    case 3:
      return "starting";
    case 1:
      return "writing";
    case 2:
      return "verifying";
    case 0:
      return "done";
    default:
      return "failed";
  }
}

std::string ProgressLine(std::int32_t state, float percent, double seconds) {
  // The library's percentage can pass 100 when the image is not a whole
  // number of blocks, and stays 0 for an empty image.
  double shown = state == 0 ? 100.0 : std::clamp(static_cast<double>(percent), 0.0, 100.0);
  constexpr int kWidth = 40;
  const int filled = static_cast<int>(shown / 100.0 * kWidth + 0.5);
  std::string bar = "[" + std::string(static_cast<std::size_t>(filled), '#') +
                    std::string(static_cast<std::size_t>(kWidth - filled), '-') + "]";
  char text[128];
  std::snprintf(text, sizeof text, "%s %5.1f%%  %-9s %6.1f s", bar.c_str(), shown, StateName(state),
                seconds);
  return text;
}

// What Ctrl-C means during a rewrite: the first warns and the rewrite goes
// on; another within kWindow stops; one after that starts over.
class InterruptRule {
 public:
  static constexpr std::chrono::seconds kWindow{5};

  // Takes the interrupts counted so far; true when the rewrite is to stop.
  bool Stop(int count, bool live) {
    for (; handled_ < count; ++handled_) {
      const auto now = std::chrono::steady_clock::now();
      if (warned_ && now - warnedAt_ <= kWindow) return true;
      warned_ = true;
      warnedAt_ = now;
      std::fprintf(stderr,
                   "%sqelctl: interrupting now would leave the camera without working firmware; "
                   "the rewrite goes on (Ctrl-C again within %lld s to stop all the same)\n",
                   live ? "\n" : "", static_cast<long long>(kWindow.count()));
      std::fflush(stderr);
    }
    return false;
  }

 private:
  int handled_ = 0;
  bool warned_ = false;
  std::chrono::steady_clock::time_point warnedAt_;
};

int Rewrite(const RewriteOptions& options) {
  std::error_code error;
  const std::uintmax_t size = std::filesystem::file_size(options.image, error);
  if (error) throw UsageError(options.image + ": " + error.message());
  if (size == 0 && !options.force) {
    throw UsageError(options.image +
                     " is empty; writing it would erase the camera's firmware and write nothing "
                     "(--force to do it all the same)");
  }
  if (size >= kDataBlockAddress && !options.force) {
    throw UsageError(
        options.image + " has " + std::to_string(size) + " bytes; an image of " +
        std::to_string(kDataBlockAddress) +
        " bytes or more erases the camera's serial number and defect tables (--force to "
        "write it all the same)");
  }

  CameraSession camera(options.session);
  const std::int32_t key = camera.key();
  // From here a Ctrl-C would leave the camera half written: the first one
  // only warns, a second one soon after stops.
  InterruptWatch interrupts;
  InterruptRule rule;
  if (!QelSoftRewrite(key, options.image.c_str())) throw CallFailed("QelSoftRewrite");
  std::printf("writing %s (%ju bytes) to key %d\n", options.image.c_str(), size, key);
  std::fflush(stdout);

  const bool live = StdoutIsTerminal();
  const auto start = std::chrono::steady_clock::now();
  std::int32_t state = 3;
  std::int32_t lastState = -2;
  int lastDecile = -1;
  float percent = 0.0f;
  for (;;) {
    std::int32_t librarySeconds = 0;
    state = QelSoftRewriteState(key, &librarySeconds, &percent);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const std::string line = ProgressLine(state, percent, seconds);
    const bool final = state == 0 || state == -1;
    if (live) {
      std::printf("\r%s", line.c_str());
      if (final) std::printf("\n");
      std::fflush(stdout);
    } else {
      // Without a terminal: a line at each new state and each tenth.
      const int decile = static_cast<int>(std::clamp(percent, 0.0f, 100.0f) / 10.0f);
      if (state != lastState || decile != lastDecile || final) std::printf("%s\n", line.c_str());
      lastState = state;
      lastDecile = decile;
    }
    if (final) break;
    if (rule.Stop(interrupts.Count(), live)) {
      std::fprintf(stderr,
                   "qelctl: stopped at %.1f%% on a second Ctrl-C; the camera's firmware is "
                   "incomplete and the camera may not work until it is rewritten\n",
                   static_cast<double>(percent));
      std::fflush(stderr);
      // Ends at once: the rewrite runs on in the library, and a close could
      // wait for its current exchange.
      std::_Exit(kExitInterrupted);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  if (state != 0) {
    char at[32];
    std::snprintf(at, sizeof at, "%.1f%%", static_cast<double>(percent));
    throw CommandError(kExitFailed, std::string("the firmware rewrite failed at ") + at +
                                        " (QelSoftRewriteState gave -1)");
  }
  std::printf("firmware image written and verified\n");
  return kExitSuccess;
}

}  // namespace

void AddFirmwareCommands(CLI::App& app, Action& action) {
  auto options = std::make_shared<RewriteOptions>();
  auto* rewrite = app.add_subcommand(
      "rewrite", "write a firmware image file to a camera and verify it, with a progress bar");
  AddSessionOptions(*rewrite, options->session);
  rewrite->add_option("image", options->image, "the firmware image file")
      ->required()
      ->check(CLI::ExistingFile);
  rewrite->add_flag("--force", options->force,
                    "write an empty image, or one that reaches the camera's serial number and "
                    "defect tables");
  rewrite->callback([&action, options] { action = [options] { return Rewrite(*options); }; });
}

}  // namespace qelctl
