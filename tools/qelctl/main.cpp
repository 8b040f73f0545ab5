// qelctl: command-line access to the cameras through the qel library.
#include <CLI/CLI.hpp>

#include "commands.h"

int main(int argc, char** argv) {
  CLI::App app{"qelctl - list, open and control QEL cameras"};
  app.require_subcommand(1);
  int exitCode = 0;
  qelctl::AddDeviceCommands(app, exitCode);
  CLI11_PARSE(app, argc, argv);
  return exitCode;
}
