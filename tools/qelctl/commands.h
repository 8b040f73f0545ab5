// The subcommands of qelctl, each registered on the application by one
// function.
#pragma once

#include <CLI/CLI.hpp>

namespace qelctl {

// Each subcommand's callback leaves the process's exit code in exitCode.

// version, list.
void AddDeviceCommands(CLI::App& app, int& exitCode);

}  // namespace qelctl
