// qelctl: command-line access to the cameras through the qel library.
#include <CLI/CLI.hpp>

#include <cstdio>

#include <string>

#include "camera_session.h"
#include "command_support.h"
#include "commands.h"
#include "json_writer.h"
#include "manual.h"
#include "qel/qel.h"

int main(int argc, char** argv) {
  CLI::App app{"qelctl - list, open and control QEL cameras", "qelctl"};
  app.require_subcommand(1);
  // Global options may also follow the subcommand.
  app.fallthrough();

  qelctl::PlatformOptions platform;
  qelctl::AddPlatformOptions(app, platform);
  bool json = false;
  app.add_flag("--json", json,
               "print the result of version, list, formats, get, set, settings, info, register "
               "and grab as one JSON document");
  app.set_version_flag(
      "--version",
      [] {
        std::string text = "qelctl " QEL_VERSION_STRING "\n";
        try {
          return text + qelctl::LibraryVersion();
        } catch (const qelctl::CommandError& e) {
          return text + e.what();
        }
      },
      "show the tool's version, and the library's version and build stamp");
  qelctl::Action action;
  qelctl::AddDeviceCommands(app, action);
  qelctl::AddCaptureCommands(app, action);
  qelctl::AddControlCommands(app, action);
  qelctl::AddSettingListCommand(app, action);
  qelctl::AddInfoCommands(app, action);
  qelctl::AddDefectCommands(app, action);
  qelctl::AddFirmwareCommands(app, action);
#if defined(QELCTL_VIEW)
  qelctl::AddViewCommand(app, action);
#endif
  // Last: the manual and the completion describe every command above.
  qelctl::AddManualOptions(app);

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    // --help and --version end here with 0; every other parse error is a
    // usage error.
    return app.exit(e) == 0 ? qelctl::kExitSuccess : qelctl::kExitUsage;
  }

  try {
    // defects, rewrite and view print tables, progress and addresses only: --json is refused
    // rather than ignored, so that a script never parses text as JSON.
    for (const char* textOnly : {"defects", "rewrite", "view"}) {
      if (json && app.got_subcommand(textOnly)) {
        throw qelctl::UsageError(std::string("--json is not supported by ") + textOnly);
      }
    }
    qelctl::SetJsonOutput(json);
    qelctl::SetFailureReasonSource(qelctl::LibraryReason);
    qelctl::SetUpPlatform(platform);
    return action ? action() : qelctl::kExitSuccess;
  } catch (const qelctl::CommandError& e) {
    std::fflush(stdout);
    std::fprintf(stderr, "qelctl: %s\n", e.what());
    return e.exitCode();
  }
}
