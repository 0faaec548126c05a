// zorpack extract: the payload, only when it matches its digest.
#include "command.h"
#include "pack_platform.h"
#include "pack_text.h"
#include "packer.h"
#include "zorpack_command.h"

namespace zor::pack {

namespace {

constexpr char kExtractHelp[] =
    "usage: zorpack extract FILE OUTPUT\n"
    "\n"
    "Writes the payload of FILE to OUTPUT, but only when it matches the digest\n"
    "in its trailer; otherwise nothing is written and the exit status is 1.\n"
    "\n"
    "OUTPUT - writes the payload to standard output as it is read, and no\n"
    "report: a payload that does not match has gone out by the time exit status\n"
    "1 says so, so check the status before using it. A link as OUTPUT (such as\n"
    "/dev/stdout) is refused: use -.\n";

std::string ExtractHelp() {
  return kExtractHelp;
}

Result Extract(const Request& request, CommandContext* context) {
  const std::vector<std::string>& files = request.operands;
  bool toStream = files[1] == kStandardStreamName;
  // Looked at before the file is opened: it must not take the place of a
  // closed standard output.
  if (toStream && !IsWritableStream(context->out)) {
    return Failed(kExitFailure,
                  "standard output is closed (or open for reading only); nothing was written");
  }
  // A payload from the field could set a window title or clear the screen.
  if (toStream && IsTerminal(context->out)) {
    return Failed(kExitFailure,
                  "standard output is a terminal, where the payload's bytes could act as "
                  "commands; send it to a file or a pipe");
  }
  std::string error;
  const Input* input = context->inputs.Open(kFileRole, files[0], &error);
  PayloadLocation found;
  if (input == nullptr || !LocatePayload(*input, &found, &error) ||
      !context->output.Open(files[1], true, &error)) {
    return Failed(kExitFailure, error);
  }
  switch (ExtractIntoOutput(*input, found, &context->output, &error)) {
    case ExtractOutcome::kWritten:
      break;
    case ExtractOutcome::kDigestMismatch:
      return Failed(kExitDigestMismatch, error);
    case ExtractOutcome::kFailed:
      return Failed(kExitFailure, error);
  }
  // Standard output carries the payload alone.
  std::string report = "payload offset: " + std::to_string(found.offset) + "\n" +
                       "payload size: " + std::to_string(found.size) + "\n" +
                       "payload sha256: " + DigestText(found.digest) + "\n";
  if (!context->output.Commit(report, &error)) return Failed(kExitFailure, error);
  return Succeeded();
}

}  // namespace

const Command kExtractCommand = {"extract",
                                 "extract FILE OUTPUT",
                                 "write the payload to OUTPUT, only when it matches its digest.\n",
                                 ExtractHelp,
                                 Extract,
                                 2,
                                 0,
                                 0,
                                 "read"};

}  // namespace zor::pack
