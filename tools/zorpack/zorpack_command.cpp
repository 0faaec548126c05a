#include "zorpack_command.h"

#include <algorithm>

#include "command.h"
#include "pack_platform.h"
#include "pack_text.h"

namespace zor::pack {

namespace {

constexpr char kErrorPrefix[] = "zorpack: ";
constexpr char kUsageLead[] = "usage: zorpack ";
constexpr char kUsageNext[] = "       zorpack ";
// The usage's list of commands: "  name     summary".
constexpr char kSummaryLead[] = "  ";
constexpr size_t kSummaryNameWidth = 9;

constexpr char kUsageTail[] =
    "\n"
    "OUTPUT appears only when complete; an existing OUTPUT is replaced only when\n"
    "it is a regular file (not a link, nor another user's file in a sticky\n"
    "folder); your own keeps its access less group or other write permission\n"
    "that a new file would not get. extract and sbom write to standard output\n"
    "when OUTPUT is -. -- ends the options.\n"
    "Exit status: 0 success; 1 the payload does not match its digest (inspect,\n"
    "extract), the product differs (verify, sbom) or the SBOM is not signed by\n"
    "the key or describes another product (verify-sbom); 2 bad usage, or a\n"
    "file that cannot be read, written or used.\n";
#ifdef _WIN32
// Under Wine this build sees Unix links as their targets and modes as
// attributes; the native packer does not.
constexpr char kPlatformNote[] =
    "\nOn Linux use the native zorpack: under Wine, zorpack.exe sees a link as\n"
    "its target and file modes as Windows attributes.\n";
#else
constexpr char kPlatformNote[] = "";
#endif

constexpr char kHelpOption[] = "--help";
constexpr char kShortHelpOption[] = "-h";
constexpr char kVersionOption[] = "--version";
constexpr char kJsonOption[] = "--json";
constexpr char kStrictOption[] = "--strict";
// Ends the options: what follows are files, even "-h" or "--json".
constexpr char kEndOfOptions[] = "--";

bool IsHelpOption(const std::string& argument) {
  return argument == kHelpOption || argument == kShortHelpOption;
}

const ValueOption* FindValueOption(const Command& command, const std::string& argument) {
  for (const ValueOption& option : ValueOptions()) {
    if ((command.options & option.takenWith) != 0 && argument == option.name) return &option;
  }
  return nullptr;
}

// The one option parser. Before "--", an argument that starts with '-' must
// be an option of the command ("-" alone is an operand: standard output or
// input); after it, every argument is an operand.
bool ParseRequest(const Command& command, const std::vector<std::string>& arguments,
                  Request* request, std::string* problem) {
  bool optionsEnded = false;
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (optionsEnded || argument.size() < 2 || argument[0] != '-') {
      request->operands.push_back(argument);
    } else if (argument == kEndOfOptions) {
      optionsEnded = true;
    } else if ((command.options & kTakesJson) != 0 && argument == kJsonOption) {
      request->json = true;
    } else if ((command.options & kTakesStrict) != 0 && argument == kStrictOption) {
      request->sbom.strict = true;
    } else if (const ValueOption* option = FindValueOption(command, argument)) {
      std::string& value = request->sbom.*option->field;
      if (!value.empty() || i + 1 == arguments.size() || arguments[i + 1].empty()) {
        *problem = std::string(command.name) + " takes " + option->name +
                   " once, followed by a value that is not empty";
        return false;
      }
      value = arguments[++i];
    } else {
      *problem = std::string(command.name) + " has no option " + Quoted(argument);
      return false;
    }
  }
  if ((command.options & kTakesLauncher) != 0 && request->sbom.launcher.empty()) {
    *problem =
        std::string(command.name) + " needs --launcher LAUNCHER, the released launcher image";
    return false;
  }
  if ((command.options & kTakesPublicKey) != 0 && request->sbom.publicKey.empty()) {
    *problem = std::string(command.name) + " needs --key PUBLIC, the signer's PEM public key";
    return false;
  }
  if (command.fileCount == kAnyOperands) return true;
  for (const std::string& file : request->operands) {
    // An empty OUTPUT would otherwise name a temporary file in the working
    // folder.
    if (file.empty()) {
      *problem = "an empty name is not a file";
      return false;
    }
  }
  size_t count = request->operands.size();
  size_t most = command.fileCount + command.optionalFileCount;
  if (count >= command.fileCount && count <= most) return true;
  *problem = std::string(command.name) + " takes " + std::to_string(command.fileCount) +
             (most != command.fileCount ? " or " + std::to_string(most) : "") +
             (most == 1 ? " file" : " files") + ", not " + std::to_string(count);
  return false;
}

// The one place where a command's end becomes the process's: its message
// (if any) to `err`, its status the exit status.
int Finish(const Result& result, FileHandle err) {
  if (!result.message.empty()) WriteText(err, kErrorPrefix + result.message + "\n");
  return result.status;
}

int Run(const Command& command, const Request& request, FileHandle out, FileHandle err) {
  CommandContext context(out, command.activity);
  Result result = command.run(request, &context);
  // A failure while an input changed (a read that found other bytes than a
  // check had, a file cut short) is said as that change.
  std::string changed;
  if (result.status != kExitSuccess &&
      !context.inputs.CheckAllUnchanged(
          &changed, context.output.IsStream() ? kStreamedOutputUnusable : kNothingWritten)) {
    result = Failed(kExitFailure, changed);
  }
  // Whatever was not committed goes, and a temporary file that stays is
  // named.
  if (result.status != kExitSuccess) context.output.Discard(&result.message);
  return Finish(result, err);
}

}  // namespace

const std::vector<const Command*>& Commands() {
  static const std::vector<const Command*> commands = {
      &kPackCommand, &kInspectCommand,    &kExtractCommand, &kVerifyCommand,
      &kSbomCommand, &kVerifySbomCommand, &kHelpCommand,    &kVersionCommand};
  return commands;
}

const Command* FindCommand(const std::string& name) {
  for (const Command* command : Commands()) {
    if (name == command->name) return command;
  }
  return nullptr;
}

std::string UsageText() {
  std::string usage;
  for (const Command* command : Commands()) {
    usage += (usage.empty() ? kUsageLead : kUsageNext) + std::string(command->synopsis) + "\n";
  }
  usage += "\n";
  for (const Command* command : Commands()) {
    if (command->summary == nullptr) continue;
    std::string name = command->name;
    name.resize(std::max(kSummaryNameWidth, name.size() + 1), ' ');
    usage += kSummaryLead + name + command->summary;
  }
  return usage + kUsageTail + kPlatformNote;
}

Result Succeeded() {
  return {};
}

Result Failed(int status, const std::string& message) {
  return {status, message};
}

Result BadUsage(const std::string& message) {
  return {kExitFailure, message + " (zorpack help shows the usage)"};
}

Result CommandContext::Report(const std::string& report, const Result& outcome) {
  std::string error;
  if (!inputs.CheckAllUnchanged(&error) || !WriteReport(out, report, &error)) {
    return Failed(kExitFailure, error);
  }
  return outcome;
}

int RunZorpack(const std::vector<std::string>& arguments, FileHandle out, FileHandle err) {
  if (arguments.empty()) {
    WriteText(err, UsageText());
    return kExitFailure;
  }
  // -h, --help and --version are the help and version commands by other
  // names, so they take what those commands take.
  const Command* command = FindCommand(IsHelpOption(arguments[0])       ? kHelpCommand.name
                                       : arguments[0] == kVersionOption ? kVersionCommand.name
                                                                        : arguments[0]);
  if (command == nullptr) return Finish(BadUsage("unknown command " + Quoted(arguments[0])), err);
  Request request;
  std::vector<std::string> rest(arguments.begin() + 1, arguments.end());
  // -h or --help among the options shows the command's help, whatever else
  // is there.
  if (std::any_of(rest.begin(), std::find(rest.begin(), rest.end(), kEndOfOptions), IsHelpOption)) {
    request.operands = {command->name};
    return Run(kHelpCommand, request, out, err);
  }
  std::string problem;
  if (!ParseRequest(*command, rest, &request, &problem)) return Finish(BadUsage(problem), err);
  return Run(*command, request, out, err);
}

}  // namespace zor::pack
