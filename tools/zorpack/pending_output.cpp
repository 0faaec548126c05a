#include "pending_output.h"

#include "pack_platform.h"
#include "pack_text.h"

namespace zor::pack {

namespace {

void (*beforeRenameHook)(const std::string& temporaryPath) = nullptr;
void (*afterRenameHook)(const std::string& outputPath) = nullptr;

// A device or FIFO is never replaced: as root, "extracting" to /dev/null
// would put a file in the system's place.
std::string NotRegular(const std::string& path) {
  return "the output " + Quoted(path) +
         " exists and is not a regular file; it is never replaced (zorpack inspect checks a file "
         "without writing anything)";
}

}  // namespace

namespace {

// `name` in the folder of `finalPath`, as the user spelt that folder.
std::string BesideOutput(const std::string& finalPath, const std::string& name) {
  size_t nameStart = finalPath.size();
  while (nameStart > 0 && !IsPathSeparator(finalPath[nameStart - 1])) --nameStart;
  return finalPath.substr(0, nameStart) + name;
}

}  // namespace

std::string TemporaryPathFor(const std::string& finalPath, uint64_t bits) {
  return BesideOutput(finalPath, TemporaryNameFor(bits));
}

void SetBeforeRenameHookForTesting(void (*hook)(const std::string& temporaryPath)) {
  beforeRenameHook = hook;
}

void SetAfterRenameHookForTesting(void (*hook)(const std::string& outputPath)) {
  afterRenameHook = hook;
}

PendingOutput::~PendingOutput() {
  std::string ignored;
  Discard(&ignored);
}

std::string PendingOutput::TemporaryPath() const {
  return BesideOutput(finalPath_, temporaryName_);
}

void PendingOutput::Discard(std::string* error) {
  if (!file_.IsValid()) return;
  if (!RemoveFromFolder(folder_.Get(), file_.Get(), temporaryName_)) {
    *error += "; its temporary file " + Quoted(TemporaryPath()) +
              " is left behind: it could not be removed (" + LastFailureText() + ")";
  }
  StopRemovingOnInterrupt();
  file_.Reset();
}

bool PendingOutput::Create(const std::string& finalPath, std::string* error,
                           const std::vector<FileHandle>& inputs) {
  finalPath_ = finalPath;
  if (finalPath.empty()) {
    *error = "the output '' is not a file name";
    return false;
  }
  // Windows takes "NUL" and its kin as devices in every folder.
  if (IsDevicePath(finalPath)) {
    *error = NotRegular(finalPath);
    return false;
  }
  std::string refusal;
  if (!OpenOutputFolder(finalPath, &folder_, &name_, &refusal)) {
    std::string folder = "the folder of the output " + Quoted(finalPath);
    *error = !refusal.empty() ? folder + " is refused: " + refusal
             : LastFailureWasMissingName()
                 ? folder + " does not exist"
                 : "cannot open the folder of the output " + DescribeFailure(finalPath);
    return false;
  }
  if (name_.empty()) {
    *error = "the output " + Quoted(finalPath) + " is not a file name";
    return false;
  }
  ExistingOutput existing;
  if (!CheckReplaceable(&existing, error)) return false;
  for (FileHandle input : inputs) {
    if (existing.kind == OutputKind::kRegular && IsNamedFile(folder_.Get(), name_, input)) {
      *error = "the output " + Quoted(finalPath) + " is one of the inputs";
      return false;
    }
  }
  return CreateTemporary(error);
}

bool PendingOutput::CheckReplaceable(ExistingOutput* existing, std::string* error) const {
  if (!QueryOutput(folder_.Get(), name_, existing)) {
    *error = "cannot look at the output " + DescribeFailure(finalPath_);
    return false;
  }
  std::string output = "the output " + Quoted(finalPath_);
  if (existing->kind == OutputKind::kLink) {
    // Replacing /dev/stdout, or writing through a link another user
    // planted, would put the product where neither expects it.
    *error = output + " is a link (to " + Quoted(existing->linkTarget) +
             "); a link is never replaced or written through (give its target, or - for "
             "standard output)";
  } else if (existing->kind == OutputKind::kFolder) {
    *error = output + " is a folder, not a file";
  } else if (existing->kind == OutputKind::kOther) {
    *error = NotRegular(finalPath_);
  } else if (existing->othersInStickyFolder) {
    *error = output + " belongs to another user (user ID " + std::to_string(existing->owner) +
             ") in a sticky folder; it is never replaced (remove it or choose another name)";
  } else {
    return true;
  }
  return false;
}

bool PendingOutput::CreateTemporary(std::string* error) {
  FileHandle created = NoFile();
  RandomNameResult result = CreateUnderRandomName(
      [this](const std::string& name) { return CreateRemovedOnInterrupt(folder_.Get(), name); },
      &created, &temporaryName_);
  file_.Reset(created);
  if (result == RandomNameResult::kCreated) return true;
  *error = result == RandomNameResult::kFailed
               ? "cannot write the output " + DescribeFailure(finalPath_)
               : "cannot write the output " + Quoted(finalPath_) +
                     ": no temporary name beside it was free (" +
                     std::to_string(kTemporaryNameAttempts) + " taken in a row)";
  return false;
}

bool PendingOutput::Commit(std::string* error) {
  if (!FlushFile(file_.Get())) {
    *error = "cannot write the output " + DescribeFailure(finalPath_);
    return false;
  }
  // What stands at the final name now, not only at the start, decides.
  ExistingOutput existing;
  if (!CheckReplaceable(&existing, error)) return false;
  if (!SetFinalPermissions(folder_.Get(), file_.Get(), existing)) {
    *error = "cannot set the permissions of the output " + DescribeFailure(finalPath_);
    return false;
  }
  if (beforeRenameHook != nullptr) beforeRenameHook(TemporaryPath());
  // Only what was looked at may be replaced: a file that someone puts at
  // the name from now on stays, and this output fails.
  if (!Rename(existing.kind == OutputKind::kRegular, error)) return false;
  file_.Reset();
  return true;
}

bool PendingOutput::Rename(bool replace, std::string* error) {
  // In a folder others can write to, the temporary file may have been
  // replaced while it was written: the product would be theirs.
  if (!IsNamedFile(folder_.Get(), temporaryName_, file_.Get())) {
    *error = "the output " + Quoted(finalPath_) +
             " was not written: its temporary file was replaced by someone else meanwhile";
    return false;
  }
  if (!RenameInFolder(folder_.Get(), file_.Get(), temporaryName_, name_, replace)) {
    *error = !replace && LastFailureWasNameTaken()
                 ? "the output " + Quoted(finalPath_) +
                       " was made by someone else while zorpack wrote it; it was left as it is"
                 : "cannot replace " + DescribeFailure(finalPath_);
    return false;
  }
  // Nothing is removed now: the temporary name is gone, and the final one
  // must not be taken back.
  StopRemovingOnInterrupt();
  if (afterRenameHook != nullptr) afterRenameHook(finalPath_);
  if (!IsNamedFile(folder_.Get(), name_, file_.Get())) {
    file_.Reset();
    *error = "the file now at the output " + Quoted(finalPath_) +
             " is not the one zorpack wrote (it was replaced meanwhile); do not use it";
    return false;
  }
  return true;
}

}  // namespace zor::pack
