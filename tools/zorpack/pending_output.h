// An output file that appears under its final name only when it is complete:
// it is written under a temporary name in the same folder and renamed over
// the final name at the end. Until then, and on every failure, the final name
// keeps whatever it held before, and the temporary file is removed when the
// object goes.
#pragma once

#include <windows.h>

#include <string>

#include "runtime/unique_handle.h"

namespace zor::pack {

class PendingOutput {
 public:
  PendingOutput() = default;
  ~PendingOutput();
  PendingOutput(const PendingOutput&) = delete;
  PendingOutput& operator=(const PendingOutput&) = delete;

  // Creates the temporary file for `finalPath`, open for reading and writing.
  bool Create(const std::wstring& finalPath, std::wstring* error);
  HANDLE Handle() const { return file_.Get(); }
  const std::wstring& TemporaryPath() const { return temporaryPath_; }

  // Flushes and closes the temporary file and renames it to the final name,
  // replacing an older file there.
  bool Commit(std::wstring* error);

 private:
  UniqueHandle file_;
  std::wstring finalPath_;
  std::wstring temporaryPath_;
};

// True when `path` names the same file as the open `file` (hard links and
// other spellings of one path included). False when `path` does not exist.
bool IsSameFile(HANDLE file, const std::wstring& path);

// "'path': <the system's text for `errorCode`>", for one-line messages.
std::wstring DescribeFailure(const std::wstring& path, DWORD errorCode);

}  // namespace zor::pack
