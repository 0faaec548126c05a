// An output file that appears under its final name only when it is complete:
// it is written under a temporary name in the same folder and renamed over
// the final name at the end. Until then, and on every failure, the final name
// keeps whatever it held before, and the temporary file is removed when the
// object goes (or the process is interrupted). Messages name the output,
// never the temporary file.
//
// The folder may be shared with others who can write there: it is opened
// once and every step works relative to it; the temporary name is short,
// random and created exclusively (never through a link or over anything
// that stands there); an existing output that is a link, not a regular
// file, or another user's file in a sticky folder is never replaced; and
// after the rename the file under the final name must be the one written.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "pack_platform.h"
#include "random_name.h"
#include "runtime/file.h"

namespace zor::pack {

// The temporary file's name for the random `bits` (TemporaryNameFor) in the
// folder of `finalPath`.
std::string TemporaryPathFor(const std::string& finalPath, uint64_t bits);

// For tests only: `hook`, unless null, runs with the temporary file's path
// after the last look at the output and its final permissions, just before
// the rename, so that a test can change the folder at that moment.
void SetBeforeRenameHookForTesting(void (*hook)(const std::string& temporaryPath));

// For tests only: `hook`, unless null, runs with the output's path just
// after the temporary file was renamed to it, before zorpack checks that
// the file there is still its own.
void SetAfterRenameHookForTesting(void (*hook)(const std::string& outputPath));

class PendingOutput {
 public:
  PendingOutput() = default;
  ~PendingOutput();
  PendingOutput(const PendingOutput&) = delete;
  PendingOutput& operator=(const PendingOutput&) = delete;

  // Checks that `finalPath` can be an output (a name, not a link, folder or
  // other special file, in a folder that exists and is reached through no
  // other user's link in a shared folder) and creates its temporary file,
  // open for reading and writing and private to this user.
  // An output that is one of `inputs` (by any spelling or length of its
  // path) is refused: it would be destroyed. Every caller names its
  // inputs (CommandOutput passes the command's InputSet).
  bool Create(const std::string& finalPath, std::string* error,
              const std::vector<FileHandle>& inputs);
  FileHandle Handle() const { return file_.Get(); }

  // Flushes the temporary file, gives it the access it is published with
  // (see SetFinalPermissions) and renames it to the final name, replacing
  // an older file there, if what stands there may still be replaced. On
  // false the final name holds what it held, unless `error` says that the
  // file now there is not the one written; call Discard next.
  bool Commit(std::string* error);

  // Removes the temporary file now, if there is one. When it cannot be
  // removed (an append-only folder), `error` gains its name and the reason,
  // so that nobody is left with a full copy they were not told of.
  void Discard(std::string* error);

 private:
  bool CheckReplaceable(ExistingOutput* existing, std::string* error) const;
  bool CreateTemporary(std::string* error);
  bool Rename(bool replace, std::string* error);
  std::string TemporaryPath() const;

  // Closed last: the interrupt handler works relative to it.
  UniqueFile folder_;
  UniqueFile file_;
  std::string finalPath_;
  std::string name_;
  std::string temporaryName_;
};

}  // namespace zor::pack
