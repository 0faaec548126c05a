#include "pending_output.h"

#include "pack_platform.h"
#include "pack_text.h"

namespace zor::pack {

namespace {

constexpr char kTemporarySuffix[] = ".zorpack-tmp";

}  // namespace

PendingOutput::~PendingOutput() {
  if (!file_.IsValid()) return;
  file_.Reset();
  RemoveFile(temporaryPath_);
}

bool PendingOutput::Create(const std::string& finalPath, std::string* error) {
  if (KindOfPath(finalPath) == PathKind::kFolder) {
    *error = "the output " + Quoted(finalPath) + " is a folder, not a file";
    return false;
  }
  std::string folder = FolderOf(finalPath);
  if (!folder.empty() && KindOfPath(folder) != PathKind::kFolder) {
    *error = "the folder of the output " + Quoted(finalPath) + " does not exist";
    return false;
  }
  finalPath_ = finalPath;
  // The process id keeps two packers writing the same output apart.
  temporaryPath_ = finalPath + "." + std::to_string(CurrentProcessId()) + kTemporarySuffix;
  file_.Reset(CreateReplacing(NativePath(temporaryPath_).c_str(), FileAccess::kReadWrite));
  if (file_.IsValid()) return true;
  *error = "cannot write the output " + DescribeFailure(finalPath_);
  return false;
}

bool PendingOutput::Commit(std::string* error) {
  if (!FlushFile(file_.Get())) {
    *error = "cannot write the output " + DescribeFailure(finalPath_);
    return false;
  }
  file_.Reset();
  if (ReplaceFile(temporaryPath_, finalPath_)) return true;
  *error = "cannot replace " + DescribeFailure(finalPath_);
  RemoveFile(temporaryPath_);
  return false;
}

}  // namespace zor::pack
