// What every zorpack command is made of, and what it is given. A command is
// one file (command_*.cpp) holding its help text, its options and its run
// function, and one entry in the table in zorpack_command.cpp, from which
// the usage, help's list of commands and the option parser are built.
//
// A command never opens a file, writes standard output or decides an exit
// status by itself: it opens its inputs through the context's InputSet (each
// once, checked against standard output, checked again at the end), writes
// through the context's CommandOutput (bound to those inputs, put in place
// only by Commit) and the context's Report (which runs the same end-of-read
// check first), and returns a Result, which the runner turns into the
// message and the exit status in one place.
#pragma once

#include <stddef.h>

#include <string>
#include <vector>

#include "command_input.h"
#include "command_output.h"
#include "runtime/file.h"
#include "sbom.h"

namespace zor::pack {

// How a command ended: an exit status (zorpack_command.h) and, unless it
// succeeded, the message for standard error (without "zorpack: ").
struct Result {
  int status = 0;
  std::string message;
};

Result Succeeded();
Result Failed(int status, const std::string& message);
// kExitFailure, with a pointer to the usage.
Result BadUsage(const std::string& message);

// One command line, its options parsed.
struct Request {
  std::vector<std::string> operands;  // files, or help's command name
  bool json = false;
  // verify's and sbom's --launcher, and sbom's other options.
  SbomRequest sbom;
};

// What one run of a command works with; made by the runner, which outlives
// the command's run and discards an output that was not committed.
struct CommandContext {
  FileHandle out;  // standard output
  InputSet inputs;
  CommandOutput output;

  CommandContext(FileHandle standardOutput, const char* activity)
      : out(standardOutput), inputs(standardOutput, activity), output(inputs, standardOutput) {}

  // Runs the end-of-read check, then writes `report` to standard output and
  // gives `outcome`; a report that cannot be written is a failure.
  Result Report(const std::string& report, const Result& outcome);
  Result Report(const std::string& report) { return Report(report, Succeeded()); }
};

// The options that a command takes besides -h and --help (bits).
constexpr unsigned kTakesJson = 1;
constexpr unsigned kTakesLauncher = 2;  // and needs it
constexpr unsigned kTakesSbomOptions = 4;
constexpr unsigned kTakesPublicKey = 8;  // and needs it
constexpr unsigned kTakesStrict = 16;
// The command checks its operands itself.
constexpr size_t kAnyOperands = static_cast<size_t>(-1);

struct Command {
  const char* name;
  // Its line in the usage, after "zorpack ".
  const char* synopsis;
  // Its paragraph in the usage's list of commands, or null for none; lines
  // after the first indented to line up under the first (11 spaces).
  const char* summary;
  // Its full help (zorpack help NAME, NAME --help).
  std::string (*help)();
  Result (*run)(const Request& request, CommandContext* context);
  size_t fileCount;
  unsigned options;
  size_t optionalFileCount;  // more files it may take
  // How the end-of-read check's message says the inputs were used: a file
  // "changed while it was being <activity>".
  const char* activity;
};

// An option followed by its value, which goes to a field of SbomRequest;
// with a role, the value names a file that the command opens as one of its
// inputs. An sbom option is one entry in kValueOptions (command_sbom.cpp)
// and its field in SbomRequest: the parser and the help take it from there.
struct ValueOption {
  const char* name;
  unsigned takenWith;  // the command's option bit
  std::string SbomRequest::*field;
  const char* value;        // how the help names the value ("NAME")
  const char* description;  // for the help; "\n" breaks a line
  const char* role;         // a file input's role in messages, or null
};

// Every value option of every command.
const std::vector<ValueOption>& ValueOptions();
// The help's lines for the options with `bit`, each with its description.
std::string OptionsHelp(unsigned bit);

// The commands, each defined in its own file, in the usage's order
// (the table is zorpack_command.cpp's).
extern const Command kPackCommand;
extern const Command kInspectCommand;
extern const Command kExtractCommand;
extern const Command kVerifyCommand;
extern const Command kSbomCommand;
extern const Command kVerifySbomCommand;
extern const Command kHelpCommand;
extern const Command kVersionCommand;

// The table, for help.
const std::vector<const Command*>& Commands();
const Command* FindCommand(const std::string& name);
// The usage: every command's synopsis and summary, from the table.
std::string UsageText();

}  // namespace zor::pack
