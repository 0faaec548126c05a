// An output file that appears under its final name only when it is complete:
// it is written under a temporary name in the same folder and renamed over
// the final name at the end. Until then, and on every failure, the final name
// keeps whatever it held before, and the temporary file is removed when the
// object goes. Messages name the output, never the temporary file.
#pragma once

#include <string>

#include "runtime/file.h"

namespace zor::pack {

class PendingOutput {
 public:
  PendingOutput() = default;
  ~PendingOutput();
  PendingOutput(const PendingOutput&) = delete;
  PendingOutput& operator=(const PendingOutput&) = delete;

  // Checks that `finalPath` can be an output (not a folder, in a folder
  // that exists) and creates its temporary file, open for reading and
  // writing.
  bool Create(const std::string& finalPath, std::string* error);
  FileHandle Handle() const { return file_.Get(); }

  // Flushes and closes the temporary file and renames it to the final name,
  // replacing an older file there.
  bool Commit(std::string* error);

 private:
  UniqueFile file_;
  std::string finalPath_;
  std::string temporaryPath_;
};

}  // namespace zor::pack
