#include "command_output.h"

#include "pack_platform.h"
#include "pack_text.h"
#include "packer.h"

namespace zor::pack {

CommandOutput::CommandOutput(const InputSet& inputs, FileHandle standardOutput)
    : inputs_(inputs), standardOutput_(standardOutput) {}

bool CommandOutput::Open(const std::string& path, bool streamAllowed, std::string* error) {
  path_ = path;
  if (!streamAllowed || path != kStandardStreamName) {
    return pending_.Create(path, error, inputs_.Handles());
  }
  // The inputs were already checked against standard output (InputSet).
  if (!IsWritableStream(standardOutput_)) {
    *error = "standard output is closed (or open for reading only); nothing was written";
    return false;
  }
  stream_ = true;
  return true;
}

bool WriteReport(FileHandle standardOutput, const std::string& report, std::string* error) {
  if (report.empty() || WriteText(standardOutput, report)) return true;
  std::string reason = LastFailureText();
  *error = "cannot write to standard output" + (reason.empty() ? "" : ": " + reason);
  return false;
}

bool CommandOutput::Commit(const std::string& report, std::string* error) {
  return CommitWith("", report, error);
}

bool CommandOutput::CommitWith(const std::string& data, const std::string& report,
                               std::string* error) {
  // Data that went to standard output as it was read (extract FILE -) is
  // out already.
  bool streamed = stream_ && data.empty();
  if (!inputs_.CheckAllUnchanged(error, streamed ? kStreamedOutputUnusable : kNothingWritten)) {
    Discard(error);
    return false;
  }
  if (stream_) return WriteReport(standardOutput_, data, error);
  if (!data.empty() && !WriteAll(Handle(), data.data(), static_cast<uint32_t>(data.size()))) {
    *error = "cannot write " + DescribeFailure(path_);
    Discard(error);
    return false;
  }
  if (!WriteReport(standardOutput_, report, error)) {
    *error += "; the output was left as it was";
    Discard(error);
    return false;
  }
  if (pending_.Commit(error)) return true;
  Discard(error);
  return false;
}

void CommandOutput::Discard(std::string* error) {
  pending_.Discard(error);
}

}  // namespace zor::pack
