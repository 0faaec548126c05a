// zorpack help and zorpack version.
#include "command.h"
#include "pack_text.h"
#include "zorpack_command.h"
#include "zorpack_version.h"

namespace zor::pack {

namespace {

constexpr char kHelpHelp[] =
    "usage: zorpack help [COMMAND]\n"
    "\n"
    "Shows the usage, or the help of one command: ";

constexpr char kVersionHelp[] =
    "usage: zorpack version   (or zorpack --version)\n"
    "\n"
    "Shows the packer's version and the source revision it was built from.\n";

// "pack, inspect, ..., version": every command in the table.
std::string CommandNames() {
  std::string names;
  for (const Command* command : Commands()) {
    names += (names.empty() ? "" : ", ") + std::string(command->name);
  }
  return names;
}

std::string HelpHelp() {
  // The list wraps before verify, as the text always has.
  std::string names = CommandNames();
  size_t wrap = names.find(", verify");
  if (wrap != std::string::npos) names.replace(wrap, 2, ",\n");
  return kHelpHelp + names + ".\n";
}

std::string VersionHelp() {
  return kVersionHelp;
}

Result ShowHelp(const Request& request, CommandContext* context) {
  const std::vector<std::string>& names = request.operands;
  const Command* command = names.size() == 1 ? FindCommand(names[0]) : nullptr;
  if (names.size() > 1) return BadUsage("help takes one command name");
  if (!names.empty() && command == nullptr) {
    return BadUsage("help: unknown command " + Quoted(names[0]) + " (" + CommandNames() + ")");
  }
  return context->Report(command != nullptr ? command->help() : UsageText());
}

Result ShowVersion(const Request&, CommandContext* context) {
  return context->Report(std::string("zorpack ") + kPackerVersion + " (source revision " +
                         kSourceRevision + ")\n");
}

}  // namespace

const Command kHelpCommand = {"help",   "help [COMMAND]    (or -h, --help; COMMAND --help)",
                              nullptr,  HelpHelp,
                              ShowHelp, kAnyOperands,
                              0,        0,
                              "read"};

const Command kVersionCommand = {
    "version", "version           (or --version)", nullptr, VersionHelp, ShowVersion, 0, 0, 0,
    "read"};

}  // namespace zor::pack
