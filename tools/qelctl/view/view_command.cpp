// qelctl view: the live viewer in the browser, served until Ctrl-C.
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "browser.h"
#include "camera_session.h"
#include "command_support.h"
#include "commands.h"
#include "interrupt.h"
#include "qel/qelsim.h"
#include "view_server.h"

namespace qelctl {
namespace {

struct ViewOptions {
  std::string device;
  std::string size;
  std::string rate;
  std::string format;
  std::string listen;
  int port = 0;
  int quality = 80;
  bool noBrowser = false;
};

int RunView(const ViewOptions& options) {
  view::ServerOptions server;
  server.listen = options.listen.empty() ? "127.0.0.1" : options.listen;
  server.port = static_cast<std::uint16_t>(options.port);
  server.quality = options.quality;
  // The rig's routes exist only where the rig is the platform.
  server.rig = qelsim_enabled() == 1;

  view::OpenRequest open;
  if (!options.device.empty()) {
    open.device = ResolveDevice(options.device).position;
    open.format = options.format.empty() ? "YUY2" : options.format;
    const CaptureSize given = ParseCaptureSize(options.size, options.rate);
    open.width = given.width;
    open.height = given.height;
    open.fps = given.fps;
  }

  InterruptWatch interrupts;
  view::ViewServer viewer(server);
  viewer.Start();
  if (viewer.BeyondLoopback()) {
    std::fprintf(stderr,
                 "qelctl: warning: listening on %s: anyone who can reach it and learns the "
                 "address below can watch and change the camera\n",
                 options.listen.c_str());
  }
  std::printf("qelctl view: %s\n(Ctrl-C stops the viewer)\n", viewer.Url().c_str());
  std::fflush(stdout);
  if (!options.device.empty()) viewer.OpenInBackground(open);
  std::string why;
  if (!options.noBrowser && !view::OpenBrowser(viewer.Url(), why)) {
    std::fprintf(stderr, "qelctl: no browser opened (%s): open the address above\n", why.c_str());
  }
  while (interrupts.Count() == 0) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  viewer.Stop();
  return kExitInterrupted;
}

}  // namespace

void AddViewCommand(CLI::App& app, Action& action) {
  auto options = std::make_shared<ViewOptions>();
  CLI::App* view = app.add_subcommand(
      "view", "watch a camera live in the browser and change its settings while it streams");
  view->add_option("device", options->device,
                   "the device to open at once: its key or serial text (default: choose in the "
                   "page)");
  view->add_option("--size", options->size, "frame size WIDTHxHEIGHT of the first open");
  view->add_option("--rate", options->rate, "frames per second of the first open");
  view->add_option("--format", options->format, "capture format of the first open (YUY2, MJPG)");
  view->add_option("--listen", options->listen,
                   "listen on this IP address instead of 127.0.0.1 (reachable from other "
                   "machines: a warning is printed)");
  view->add_option("--port", options->port, "the port (default: a free one)")
      ->check(CLI::Range(0, 65535));
  view->add_option("--quality", options->quality, "JPEG quality of the live picture, 1..100")
      ->check(CLI::Range(1, 100));
  view->add_flag("--no-browser", options->noBrowser, "only print the address");
  view->callback([options, &action] { action = [options] { return RunView(*options); }; });
}

}  // namespace qelctl
