// The subcommands of qelctl, registered on the application by one function
// per family. A subcommand's callback leaves its work in the action, which
// main runs after parsing.
#pragma once

#include <CLI/CLI.hpp>

#include <string>

#include "command_support.h"

namespace qelctl {

// The library's version and build stamp.
std::string LibraryVersion();

// version, list, formats.
void AddDeviceCommands(CLI::App& app, Action& action);
// grab.
void AddCaptureCommands(CLI::App& app, Action& action);
// get, set.
void AddControlCommands(CLI::App& app, Action& action);
// settings: the list of a camera's settings.
void AddSettingListCommand(CLI::App& app, Action& action);
// info, register.
void AddInfoCommands(CLI::App& app, Action& action);
// defects show, defects set.
void AddDefectCommands(CLI::App& app, Action& action);
// rewrite.
void AddFirmwareCommands(CLI::App& app, Action& action);
// view (where the build has the viewer).
void AddViewCommand(CLI::App& app, Action& action);

}  // namespace qelctl
