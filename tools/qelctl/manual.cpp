#include "manual.h"

#include <fstream>
#include <sstream>
#include <vector>

#include "qel/qel_version.h"

namespace qelctl {
namespace {

// Text as roff shows it literally.
std::string Roff(const std::string& text) {
  std::string out;
  bool lineStart = true;
  for (char c : text) {
    if (lineStart && (c == '.' || c == '\'')) out += "\\&";
    if (c == '\\') {
      out += "\\e";
    } else if (c == '-') {
      out += "\\-";
    } else {
      out += c;
    }
    lineStart = c == '\n';
  }
  return out;
}

std::vector<const CLI::App*> Commands(const CLI::App& app) {
  return app.get_subcommands([](const CLI::App*) { return true; });
}

// The command's options (not its positionals), as they are typed.
std::string OptionWords(const CLI::App& app) {
  std::string words;
  for (const CLI::Option* option : app.get_options()) {
    if (option->get_positional() || option->get_group().empty()) continue;
    for (const std::string& name : option->get_lnames()) words += " --" + name;
    for (const std::string& name : option->get_snames()) words += " -" + name;
  }
  return words.empty() ? words : words.substr(1);
}

void AddCommandSections(std::ostringstream& page, const CLI::App& app, const std::string& path) {
  for (const CLI::App* command : Commands(app)) {
    const std::string name = path.empty() ? command->get_name() : path + " " + command->get_name();
    page << ".SS " << Roff(name) << "\n.nf\n" << Roff(command->help()) << ".fi\n";
    AddCommandSections(page, *command, name);
  }
}

bool WriteFile(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
  return static_cast<bool>(out);
}

}  // namespace

std::string ManualPage(const CLI::App& app) {
  std::string summary = app.get_description();
  if (const std::size_t dash = summary.find(" - "); dash != std::string::npos) {
    summary = summary.substr(dash + 3);
  }
  std::ostringstream page;
  page << ".TH QELCTL 1 \"\" \"qelctl " QEL_VERSION_STRING "\" \"User Commands\"\n"
       << ".SH NAME\nqelctl \\- " << Roff(summary) << "\n"
       << ".SH SYNOPSIS\n.B qelctl\n[\\fIOPTIONS\\fR] \\fICOMMAND\\fR [\\fIARGUMENTS\\fR]\n"
       << ".SH DESCRIPTION\n.nf\n"
       << Roff(app.help()) << ".fi\n"
       << ".SH COMMANDS\n";
  AddCommandSections(page, app, "");
  page << ".SH ENVIRONMENT\n"
       << ".TP\n.B QEL_PLATFORM=rig\nuse the virtual cameras, as \\-\\-rig does\n"
       << ".TP\n.B QEL_LOG=error|info|debug\nthe library logs failed calls, opens and closes, "
          "and at debug every command exchanged with a camera, to standard error\n"
       << ".SH EXIT STATUS\n0 on success, 1 when the library or a camera failed, 2 for a "
          "usage error.\n";
  return page.str();
}

std::string BashCompletion(const CLI::App& app) {
  std::ostringstream script;
  std::string commands;
  for (const CLI::App* command : Commands(app)) commands += " " + command->get_name();
  script << "# bash completion for qelctl " QEL_VERSION_STRING " (made by qelctl itself)\n"
         << "_qelctl() {\n"
         << "  local cur=${COMP_WORDS[COMP_CWORD]} command= sub= i\n"
         << "  for ((i = 1; i < COMP_CWORD; i++)); do\n"
         << "    case ${COMP_WORDS[i]} in -*) ;; *) if [[ -z $command ]]; then "
            "command=${COMP_WORDS[i]}; elif [[ -z $sub ]]; then sub=${COMP_WORDS[i]}; fi ;; esac\n"
         << "  done\n"
         << "  local global=\"" << OptionWords(app) << "\" options= subs=\n"
         << "  case $command in\n"
         << "    '') COMPREPLY=($(compgen -W \"" << commands.substr(commands.empty() ? 0 : 1)
         << " $global\" -- \"$cur\")); return ;;\n";
  for (const CLI::App* command : Commands(app)) {
    std::string subcommands;
    for (const CLI::App* sub : Commands(*command)) {
      subcommands += (subcommands.empty() ? "" : " ") + sub->get_name();
    }
    script << "    " << command->get_name() << ") options=\"" << OptionWords(*command)
           << "\" subs=\"" << subcommands << "\" ;;\n";
  }
  script << "  esac\n"
         << "  if [[ $cur == -* ]]; then\n"
         << "    COMPREPLY=($(compgen -W \"$options $global\" -- \"$cur\")); return\n"
         << "  fi\n"
         << "  if [[ -n $subs && -z $sub ]]; then\n"
         << "    COMPREPLY=($(compgen -W \"$subs\" -- \"$cur\")); return\n"
         << "  fi\n"
         << "  # A device argument: the keys the listing shows (of the rig with --rig).\n"
         << "  local rig=\n"
         << "  [[ \" ${COMP_WORDS[*]} \" == *' --rig '* ]] && rig=--rig\n"
         << "  COMPREPLY=($(compgen -W \"$(qelctl $rig list 2>/dev/null | "
            "sed -n 's/^  key \\([0-9]*\\):.*/\\1/p')\" -- \"$cur\"))\n"
         << "}\n"
         << "complete -F _qelctl qelctl\n";
  return script.str();
}

void AddManualOptions(CLI::App& app) {
  app.add_option_function<std::string>(
         "--write-man",
         [&app](const std::string& path) {
           if (!WriteFile(path, ManualPage(app))) throw CLI::FileError(path);
           throw CLI::Success();
         },
         "write the manual page to FILE")
      ->group("");
  app.add_option_function<std::string>(
         "--write-completion",
         [&app](const std::string& path) {
           if (!WriteFile(path, BashCompletion(app))) throw CLI::FileError(path);
           throw CLI::Success();
         },
         "write the bash completion script to FILE")
      ->group("");
}

}  // namespace qelctl
