// Where one command's output goes: OUTPUT, a file that appears under its
// name only when complete (PendingOutput), or standard output for "-".
// Bound to the command's inputs from the start, so that an OUTPUT that is
// one of them is always refused; put in place only by Commit, which first
// runs the inputs' end-of-read check and writes the report; an output that
// is never committed leaves OUTPUT as it was (the command's runner discards
// it and names a temporary file that could not be removed).
#pragma once

#include <string>

#include "command_input.h"
#include "pending_output.h"
#include "runtime/file.h"

namespace zor::pack {

class CommandOutput {
 public:
  CommandOutput(const InputSet& inputs, FileHandle standardOutput);
  CommandOutput(const CommandOutput&) = delete;
  CommandOutput& operator=(const CommandOutput&) = delete;

  // Makes `path` the output: "-" is standard output (when the command allows
  // it, `streamAllowed`), anything else a file created as PendingOutput
  // creates it. False, with `error`, when it cannot be (a link, another
  // user's file, one of the inputs, a closed standard output).
  bool Open(const std::string& path, bool streamAllowed, std::string* error);

  bool IsStream() const { return stream_; }
  // What the command writes its output to.
  FileHandle Handle() const { return stream_ ? standardOutput_ : pending_.Handle(); }
  const std::string& Path() const { return path_; }

  // Checks that every input is as it was when opened, writes `report` to
  // standard output (nothing when it is empty, or when the output itself
  // is standard output) and only then puts the file in place. Once called,
  // the output is done with: on false `error` says why, OUTPUT is as it was
  // (unless `error` says the file now there is not the one written) and a
  // temporary file that could not be removed is named.
  bool Commit(const std::string& report, std::string* error);
  // Commit, writing `data` (a document made in memory) to the output after
  // the end-of-read check and before the report.
  bool CommitWith(const std::string& data, const std::string& report, std::string* error);

  // Removes the file being written, if any; `error` gains the name of a
  // temporary file that could not be removed.
  void Discard(std::string* error);

 private:
  const InputSet& inputs_;
  FileHandle standardOutput_;
  std::string path_;
  bool stream_ = false;
  PendingOutput pending_;
};

// Writes `report` to standard output; false, with `error` saying why, when
// not all of it went out (a full disk, a closed descriptor): a lost report
// must not pass for a good one.
bool WriteReport(FileHandle standardOutput, const std::string& report, std::string* error);

}  // namespace zor::pack
