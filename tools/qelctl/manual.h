// qelctl's manual page and bash completion, made from the same command
// definitions that --help prints, so that neither can drift from it.
#pragma once

#include <CLI/CLI.hpp>

#include <string>

namespace qelctl {

// The whole manual page (roff): each command's section is its --help text.
std::string ManualPage(const CLI::App& app);
// A bash completion script: the commands, each one's options, and the keys
// of the devices `qelctl list` shows for a command's device argument.
std::string BashCompletion(const CLI::App& app);

// The hidden options --write-man FILE and --write-completion FILE, which the
// build uses to make both; they write and end the run.
void AddManualOptions(CLI::App& app);

}  // namespace qelctl
